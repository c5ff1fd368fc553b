// Walks the pulses of a TAP file's data, as its version reads them.
#pragma once

#include <cstddef>
#include <cstdint>

// A pulse too long for one byte and of no stated length: version 0's zero byte.
inline constexpr uint32_t kOverflowPulseCycles = 256 * 8;

struct PulseReader {
    const uint8_t* data = nullptr;  // the whole file
    size_t size = 0;
    size_t position = 0;  // offset of the next pulse byte
    uint8_t version = 1;
};

struct Pulse {
    size_t offset = 0;  // where the pulse's first byte lies in the file
    uint32_t cycles = 0;
    bool long_count = false;  // written as a zero byte (and, from version 1, a 24-bit count)
};

PulseReader make_pulse_reader(const uint8_t* file, size_t size, uint8_t version);

// False at the end of the data; a long count cut short by the end of the
// file is no pulse.
bool next_pulse(PulseReader* reader, Pulse* pulse);

enum class PulseClass : uint8_t { kShort, kMedium, kLong, kOther };

// Tolerant ranges around the ROM loader's nominal $30, $42 and $56.
PulseClass classify_pulse(uint32_t cycles);
