// TAP images built in memory for the fake file table.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "common/tap_bytes.h"

// `count` short pulses whose value tells their position (never a zero byte,
// so the meter never sees a long count in them).
inline std::string fake_pulses(size_t count) {
    std::string pulses;
    for (size_t i = 0; i < count; ++i) pulses += static_cast<char>(1 + i % 251);
    return pulses;
}

// The length field of a 20-byte header, read back.
inline uint32_t tap_length_field(const uint8_t* header) {
    return static_cast<uint32_t>(header[16]) | static_cast<uint32_t>(header[17]) << 8 |
           static_cast<uint32_t>(header[18]) << 16 | static_cast<uint32_t>(header[19]) << 24;
}
