// TAP images as bytes, for tests of every kind.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// Signature, version 1, three zero bytes, the length field, then the pulses.
inline std::string make_tap(std::string_view pulses, uint32_t length_field) {
    std::string tap = "C64-TAPE-RAW";
    tap += '\x01';
    tap.append(3, '\0');
    for (int shift = 0; shift < 32; shift += 8) {
        tap += static_cast<char>((length_field >> shift) & 0xFFu);
    }
    tap.append(pulses);
    return tap;
}

// The same with the length field equal to the pulse count.
inline std::string make_tap(std::string_view pulses) {
    return make_tap(pulses, static_cast<uint32_t>(pulses.size()));
}
