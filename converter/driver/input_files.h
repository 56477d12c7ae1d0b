// Input names: a COFF object file or a command file.
#pragma once

#include <string>

namespace romcvt {

struct RunContext;

// Opens name (".out" added when it has no extension), tells COFF files from
// command files, and parses a command file at once.
void open_input_file(RunContext& run, std::string name);

// Parses the current command file to its end (the grammar).
void parse_command_file(RunContext& run);

}  // namespace romcvt
