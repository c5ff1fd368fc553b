// tavrel ports: every serial port, one line each, the likely device marked.
#include <cstdio>
#include <string>
#include <vector>

#include "serial_ports.h"
#include "toolbox_commands.h"

int run_ports() {
    std::string error;
    const std::vector<SerialPortInfo> ports = list_serial_ports(&error);
    if (!error.empty()) {
        std::fprintf(stderr, "Cannot list the serial ports: %s\n", error.c_str());
        return 1;
    }
    if (ports.empty()) {
        std::printf("no serial ports found\n");
        return 0;
    }
    bool any_likely = false;
    for (const std::string& line : port_lines(ports)) std::printf("%s\n", line.c_str());
    for (const SerialPortInfo& port : ports) any_likely = any_likely || port.likely_device;
    if (any_likely) std::printf("%s\n", kLikelyDeviceLegend);
    return 0;
}
