// The port names a user can pick from: COM1 to COM8, then the serial
// devices present on this machine. Platform code in port_list_posix.cpp.
#pragma once

#include <string>
#include <vector>

namespace flashup {

std::vector<std::string> listPortNames();

}  // namespace flashup
