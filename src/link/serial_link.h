// The open, configured serial port through which the device is reached.
#pragma once

#include <cstdint>

#include "platform/platform.h"

struct SerialLink {
    PlatformPort port;
    const char* port_name = nullptr;  // as typed; shown in every message
};

// Opens and configures the port. On failure prints "Unable to open ..." and
// returns false.
bool open_serial_link(const char* port_name, SerialLink* link);

// Each is exactly one platform call; short counts are the caller's business.
IoResult serial_link_read(SerialLink* link, void* buffer, uint32_t count);
IoResult serial_link_write(SerialLink* link, const void* buffer, uint32_t count);

void close_serial_link(SerialLink* link);
