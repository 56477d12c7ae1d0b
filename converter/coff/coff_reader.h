// The COFF object reader: validates the file, reads its headers, string
// table and section table, calls the conversion start, then loads the
// sections.
#pragma once

#include <string>

namespace romcvt {

struct RunContext;
struct CoffSection;

// Returns false with run.coff.coff_error set on failure. A long section
// name without a string table ends the run with exit status -1 (thrown as
// FatalStop after the message on the error stream).
bool read_coff_file(RunContext& run);
bool read_coff_headers(RunContext& run);
bool read_string_table(RunContext& run);

// The display name: an inline name (eight characters at most) or the
// string-table text.
std::string section_name(const RunContext& run, const CoffSection& section);

}  // namespace romcvt
