// Text descriptions of COFF images, for test folders that keep a readable recipe instead
// of a binary file. The format is described in README.md beside this file.
#pragma once

#include <istream>
#include <stdexcept>
#include <string>

#include "tools/coff_builder/coff_builder.h"

namespace coff_builder {

// The message reads "SOURCE:LINE: what is wrong".
class DescriptionError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// Bytes written in place of the optional header by "optional-header-junk N".
constexpr uint8_t kJunkByte = 0xEE;

// Throws DescriptionError on the first line it cannot accept.
CoffImage parse_description(std::istream& in, const std::string& source_name);

}  // namespace coff_builder
