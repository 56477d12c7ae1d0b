#include "converter/driver/input_files.h"

#include <cstdio>

#include "converter/driver/file_names.h"
#include "converter/coff/coff_file.h"
#include "converter/driver/run_context.h"

namespace romcvt {

namespace {

// The longest input file name, ".out" included, that the converter takes.
constexpr size_t kNameLimit = 255;
// How much of a refused over-long name the message shows.
constexpr int kShownLength = 32;

// Forgets the command file when its parse ends, also when a fatal message
// unwinds through the parser.
class CommandFileScope {
  public:
    CommandFileScope(RunContext& run, const std::string& name, std::FILE* file) : run_(run) {
        run_.diag.enter_command_file(name);
        run_.lexer.reset_for_file(file);
    }
    ~CommandFileScope() {
        run_.lexer.detach_file();
        run_.diag.leave_command_file();
    }
    CommandFileScope(const CommandFileScope&) = delete;
    CommandFileScope& operator=(const CommandFileScope&) = delete;

  private:
    RunContext& run_;
};

}  // namespace

void open_input_file(RunContext& run, std::string name) {
    set_extension(name, ".out", false);
    if (name.size() > kNameLimit) {
        // An error, not a warning: a command file skipped silently would
        // change the conversion without failing the run.
        run.diag.report(kError, "input file name longer than %d characters: %.*s... ignored",
                        static_cast<int>(kNameLimit), kShownLength, name.c_str());
        return;
    }
    FileHandle file(std::fopen(name.c_str(), "rb"));
    if (!file) run.diag.report(kFatal, "cannot open input file %s", name.c_str());

    unsigned char mark[2];
    if (std::fread(mark, 1, 2, file.get()) < 2) {
        run.diag.report(kFatal, "cannot read input file %s", name.c_str());
    }
    uint16_t word = static_cast<uint16_t>(mark[0] | mark[1] << 8);
    bool coff = is_coff_identification(word) || is_coff_identification(swap_bytes(word));
    bool text = (mark[0] & 0x80) == 0 && (mark[1] & 0x80) == 0;

    if (coff && run.settings.input_name) {
        run.diag.report(kWarning, "multiple COFF files: %s ignored", name.c_str());
        return;
    }
    if (!coff && !text) {
        run.diag.report(kWarning, "illegal input file type: %s ignored", name.c_str());
        return;
    }
    if (!coff && run.diag.in_command_file()) {
        run.diag.report(kWarning, "nested command file: %s ignored", name.c_str());
        return;
    }
    // Both kinds are read from their start again. The stream already open is
    // used for that: binary and text streams are the same here, and the
    // lexer ends lines at CR itself. Only an unseekable file (a pipe) fails.
    if (std::fseek(file.get(), 0, SEEK_SET) != 0) {
        run.diag.report(kFatal, "cannot read input file %s", name.c_str());
    }
    if (coff) {
        run.settings.input_name = name;
        run.settings.input_stream = std::move(file);
        return;
    }
    CommandFileScope scope(run, name, file.get());
    parse_command_file(run);
}

}  // namespace romcvt
