// Converter benchmark: throughput and peak memory of romcvt with the
// loader's options on 1, 4 and 16 MiB of section data, against objcopy
// writing the same data as Intel hex in the same run; then every record
// format on the 16 MiB input, with Intel, Motorola S3 and Extended
// Tektronix against objcopy writing that format from the raw data.
//
//   convert_bench ROMCVT MAKE_COFF [OBJCOPY]
//
// Inputs are made by make_coff in a process of their own, so that this
// process stays small: a spawned child's peak resident set counts what its
// parent held when it was started.
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

struct Measurement {
    double seconds;
    long peak_rss_kib;
    int status;
};

// Runs a program (no shell) and reports its wall time and peak resident
// set. posix_spawn shares no pages with this process, whose large test
// images would otherwise count toward the child's peak.
Measurement run_program(const std::vector<std::string>& argv, const fs::path& directory) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addchdir_np(&actions, directory.c_str());
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    std::vector<char*> args;
    for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    auto start = std::chrono::steady_clock::now();
    pid_t child = 0;
    int spawn_error = posix_spawn(&child, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawn_error != 0) return {0, 0, -1};
    int status = 0;
    rusage usage{};
    wait4(child, &status, 0, &usage);
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return {seconds, usage.ru_maxrss, WIFEXITED(status) ? WEXITSTATUS(status) : -1};
}

// Best of several runs: the least disturbed one.
Measurement best_of(int runs, const std::vector<std::string>& argv, const fs::path& directory) {
    Measurement best{1e9, 0, 0};
    for (int i = 0; i < runs; ++i) {
        Measurement m = run_program(argv, directory);
        if (m.status != 0) return m;
        best.seconds = std::min(best.seconds, m.seconds);
        best.peak_rss_kib = std::max(best.peak_rss_kib, m.peak_rss_kib);
    }
    return best;
}

struct FormatRun {
    const char* option;
    const char* name;
    const char* objcopy_format;  // null: no objcopy counterpart
    std::vector<std::string> objcopy_extra;
};

const FormatRun kFormatRuns[] = {
    {"-i", "Intel", "ihex", {}},
    {"-m1", "Motorola-S1", nullptr, {}},
    {"-m2", "Motorola-S2", nullptr, {}},
    {"-m3", "Motorola-S3", "srec", {"--srec-forceS3"}},
    {"-x", "Extended Tektronix", "tekhex", {}},
    {"-t", "ZQ-Tagged", nullptr, {}},
    {"--d", "DEBUG", nullptr, {}},
    {"--b", "Generic", nullptr, {}},
    {"-a", "ASCII-Hex", nullptr, {}},
};

// Every format on the same input; returns false when a run fails.
bool time_formats(const std::string& romcvt, const std::string& objcopy, const fs::path& work,
                  uint32_t mebibytes, int runs) {
    const double megabytes = mebibytes * 1024.0 * 1024.0 / 1e6;
    std::printf("\nevery format on %u MiB, best of %d runs\n", mebibytes, runs);
    std::printf("%-20s %10s %10s %14s %12s %10s\n", "format", "seconds", "MB/s", "peak RSS KiB",
                "objcopy MB/s", "ratio");
    for (const FormatRun& format : kFormatRuns) {
        Measurement m = best_of(
            runs, {romcvt, "-q", format.option, "in.out", "-o", "F0.tmp", "-o", "F1.tmp"}, work);
        if (m.status != 0) {
            std::fprintf(stderr, "romcvt %s failed with status %d\n", format.option, m.status);
            return false;
        }
        double rate = megabytes / m.seconds;
        std::printf("%-20s %10.3f %10.1f %14ld", format.name, m.seconds, rate, m.peak_rss_kib);
        if (format.objcopy_format) {
            std::vector<std::string> argv{objcopy, "-I", "binary", "-O", format.objcopy_format};
            argv.insert(argv.end(), format.objcopy_extra.begin(), format.objcopy_extra.end());
            argv.push_back("raw.bin");
            argv.push_back("raw.out");
            Measurement peer = best_of(runs, argv, work);
            double peer_rate = peer.status == 0 ? megabytes / peer.seconds : 0;
            std::printf(" %12.1f %10.2f", peer_rate, peer_rate > 0 ? rate / peer_rate : 0.0);
        }
        std::printf("\n");
        std::fflush(stdout);
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: convert_bench ROMCVT MAKE_COFF [OBJCOPY]\n");
        return 2;
    }
    std::string romcvt = fs::absolute(argv[1]).string();
    std::string make_coff = fs::absolute(argv[2]).string();
    std::string objcopy = argc > 3 ? argv[3] : "/usr/bin/objcopy";
    fs::path work = fs::temp_directory_path() / ("romcvt-bench-" + std::to_string(getpid()));
    fs::create_directories(work);

    const int kRuns = 3;
    const double kMiB = 1024.0 * 1024.0;
    const double kMB = 1e6;
    std::fflush(stdout);
    std::printf("romcvt -a IN -o LSB.tmp -o MSB.tmp, best of %d runs\n", kRuns);
    std::printf("%8s %12s %12s %14s\n", "MiB", "seconds", "MB/s", "peak RSS KiB");
    double romcvt_rate_16 = 0;
    long worst_rss = 0;
    for (uint32_t mebibytes : {1u, 4u, 16u}) {
        std::string size = std::to_string(mebibytes);
        if (run_program({make_coff, "big", size, "in.out", "raw.bin"}, work).status != 0) {
            std::fprintf(stderr, "make_coff failed\n");
            return 1;
        }
        Measurement m =
            best_of(kRuns, {romcvt, "-q", "-a", "in.out", "-o", "LSB.tmp", "-o", "MSB.tmp"}, work);
        if (m.status != 0) {
            std::fprintf(stderr, "romcvt failed with status %d\n", m.status);
            return 1;
        }
        double rate = mebibytes * kMiB / kMB / m.seconds;
        std::printf("%8u %12.3f %12.1f %14ld\n", mebibytes, m.seconds, rate, m.peak_rss_kib);
        worst_rss = std::max(worst_rss, m.peak_rss_kib);
        if (mebibytes == 16) romcvt_rate_16 = rate;
    }

    Measurement peer =
        best_of(kRuns, {objcopy, "-I", "binary", "-O", "ihex", "raw.bin", "raw.hex"}, work);
    double peer_rate = peer.status == 0 ? 16 * kMiB / kMB / peer.seconds : 0;
    std::printf("\nobjcopy -I binary -O ihex, 16 MiB: %.3f s, %.1f MB/s\n", peer.seconds,
                peer_rate);
    std::printf("ratio romcvt/objcopy throughput: %.2f (goal: at least 2)\n",
                peer_rate > 0 ? romcvt_rate_16 / peer_rate : 0.0);
    std::printf("peak RSS at every size: %ld KiB (goal: under 10240 KiB, flat)\n", worst_rss);
    // The 16 MiB input of the last size is still in place.
    bool timed = time_formats(romcvt, objcopy, work, 16, kRuns);
    fs::remove_all(work);
    return timed ? 0 : 1;
}
