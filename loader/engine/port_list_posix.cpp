#include "loader/engine/port_list.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <set>
#include <system_error>

namespace flashup {

namespace fs = std::filesystem;

namespace {

// Orders "ttyUSB2" before "ttyUSB10": runs of digits compare by value.
bool naturalLess(const std::string& a, const std::string& b) {
    size_t i = 0;
    size_t j = 0;
    while (i < a.size() && j < b.size()) {
        const bool digitA = std::isdigit(static_cast<unsigned char>(a[i])) != 0;
        const bool digitB = std::isdigit(static_cast<unsigned char>(b[j])) != 0;
        if (digitA && digitB) {
            size_t endA = i;
            size_t endB = j;
            while (endA < a.size() && std::isdigit(static_cast<unsigned char>(a[endA]))) ++endA;
            while (endB < b.size() && std::isdigit(static_cast<unsigned char>(b[endB]))) ++endB;
            // Skip leading zeros, then a longer run is a larger number.
            size_t startA = i;
            size_t startB = j;
            while (startA + 1 < endA && a[startA] == '0') ++startA;
            while (startB + 1 < endB && b[startB] == '0') ++startB;
            const size_t lengthA = endA - startA;
            const size_t lengthB = endB - startB;
            if (lengthA != lengthB) return lengthA < lengthB;
            const int order = a.compare(startA, lengthA, b, startB, lengthB);
            if (order != 0) return order < 0;
            i = endA;
            j = endB;
            continue;
        }
        if (a[i] != b[j]) return a[i] < b[j];
        ++i;
        ++j;
    }
    if ((a.size() - i) != (b.size() - j)) return (a.size() - i) < (b.size() - j);
    return a < b;  // equal by value ("COM01" and "COM1"): keep a strict order
}

struct NaturalOrder {
    bool operator()(const std::string& a, const std::string& b) const {
        return naturalLess(a, b);
    }
};

using SortedNames = std::set<std::string, NaturalOrder>;

bool startsWith(const std::string& text, const std::string& prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

// A terminal judged by its resolved path alone: opening a real serial device
// just to ask would raise its DTR and RTS lines.
bool isTerminalDevice(const fs::path& resolved) {
    std::error_code error;
    if (!fs::is_character_file(resolved, error)) return false;
    const std::string parent = resolved.parent_path().string();
    const std::string name = resolved.filename().string();
    if (parent == "/dev/pts") {
        // Skips /dev/pts/ptmx, the multiplexer, which is no line of its own.
        return !name.empty() && std::all_of(name.begin(), name.end(), [](unsigned char c) {
            return std::isdigit(c) != 0;
        });
    }
    // "/dev/tty" alone is the caller's own controlling terminal.
    return parent == "/dev" && startsWith(name, "tty") && name != "tty";
}

void addSerialDevices(SortedNames& names) {
    std::error_code error;
    for (fs::directory_iterator it("/dev/serial/by-id", error), end; !error && it != end;
         it.increment(error)) {
        std::error_code linkError;
        if (fs::exists(it->path(), linkError)) names.insert(it->path().string());
    }
    error.clear();
    for (fs::directory_iterator it("/dev", error), end; !error && it != end; it.increment(error)) {
        const std::string name = it->path().filename().string();
        if (startsWith(name, "ttyUSB") || startsWith(name, "ttyACM")) {
            names.insert(it->path().string());
        }
    }
}

// Links in the working directory that lead to a terminal: how a simulated
// instrument's pseudo-terminal shows up without the user typing its path.
void addWorkingDirectoryLinks(SortedNames& names) {
    std::error_code error;
    const fs::path here = fs::current_path(error);
    if (error) return;
    for (fs::directory_iterator it(here, error), end; !error && it != end; it.increment(error)) {
        std::error_code linkError;
        if (!it->is_symlink(linkError)) continue;
        const fs::path resolved = fs::canonical(it->path(), linkError);
        if (linkError) continue;  // dangling
        if (isTerminalDevice(resolved)) names.insert(fs::absolute(it->path()).string());
    }
}

}  // namespace

std::vector<std::string> listPortNames() {
    std::vector<std::string> names = {"COM1", "COM2", "COM3", "COM4",
                                      "COM5", "COM6", "COM7", "COM8"};
    SortedNames devices;
    addSerialDevices(devices);
    names.insert(names.end(), devices.begin(), devices.end());

    SortedNames links;
    addWorkingDirectoryLinks(links);
    for (const std::string& link : links) {
        if (std::find(names.begin(), names.end(), link) == names.end()) names.push_back(link);
    }
    return names;
}

}  // namespace flashup
