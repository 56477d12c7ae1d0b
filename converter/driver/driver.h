// The converter's main sequence.
#pragma once

#include <istream>
#include <ostream>
#include <string>
#include <vector>

namespace romcvt {

struct RunContext;

// Runs one conversion with the arguments after the program name; returns
// the exit status (0, 255, or -1 for a corrupted section header).
int run_conversion(const std::vector<std::string>& arguments, std::ostream& console,
                   std::ostream& error_stream, std::istream& prompt_input);

// Called by the COFF reader once the headers are in.
void conversion_start(RunContext& run);

// Banner text of the map file and the console.
inline constexpr const char* kProductName = "KDP7100 COFF/Hex Converter";
inline constexpr const char* kVersionText = "Version 3.10";

}  // namespace romcvt
