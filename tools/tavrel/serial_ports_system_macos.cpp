// The system's ports on macOS.
#include "serial_ports.h"

std::vector<SerialPortInfo> list_serial_ports(std::string* error) {
    return list_macos_ports(system_root(), error);
}
