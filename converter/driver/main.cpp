#include <iostream>
#include <string>
#include <vector>

#include "converter/driver/driver.h"

int main(int argc, char** argv) {
    std::vector<std::string> arguments(argv + 1, argv + argc);
    return romcvt::run_conversion(arguments, std::cout, std::cerr, std::cin);
}
