// The system's ports on Linux, from sysfs.
#include "serial_ports.h"

std::vector<SerialPortInfo> list_serial_ports(std::string* error) {
    return list_linux_ports(system_root(), error);
}
