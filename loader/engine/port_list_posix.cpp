#include "loader/engine/port_list.h"

namespace flashup {

std::vector<std::string> listPortNames() {
    return {"COM1", "COM2", "COM3", "COM4", "COM5", "COM6", "COM7", "COM8"};
}

}  // namespace flashup
