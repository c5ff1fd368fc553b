#include "link/serial_link.h"

#include <cstdio>

#include "link/line_settings.h"

bool open_serial_link(const char* port_name, SerialLink* link) {
    link->port_name = port_name;
    link->port = platform_open_port(port_name);
    if (!platform_handle_valid(link->port.handle)) {
        fprintf(stderr, "Unable to open %s\n", port_name);
        return false;
    }
    // A port that refuses a setting is used as it is: nothing to report.
    platform_apply_line_settings(&link->port, kLineSettings);
    platform_apply_timeouts(&link->port, kPortTimeouts);
    return true;
}

IoResult serial_link_read(SerialLink* link, void* buffer, uint32_t count) {
    return platform_read_port(&link->port, buffer, count);
}

IoResult serial_link_write(SerialLink* link, const void* buffer, uint32_t count) {
    return platform_write_port(&link->port, buffer, count);
}

void close_serial_link(SerialLink* link) { platform_close_port(&link->port); }
