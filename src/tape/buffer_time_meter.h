// Turns the pulse bytes sent to the device into tape time and keeps the
// one-line "Buffer time=m:ss" display up to date.
#pragma once

#include <cstdint>

inline constexpr uint32_t kTapeClockHz = 985248;

struct BufferTimeMeter {
    uint32_t total_cycles = 0;
    uint32_t last_second_shown = 0xFFFFFFFFu;  // no time reaches it: the first block prints
    uint8_t decoder_state = 0;  // 0: next byte starts a pulse; 1..3: next byte of a long count
    uint32_t pending_count = 0;
};

// Decodes the block (a zero byte introduces a 24-bit little-endian cycle
// count, which may straddle blocks) and prints the time line when the whole
// second shown changes.
void feed(BufferTimeMeter* meter, const uint8_t* block, uint32_t length);

// The decoding alone, for displays of their own: adds the block's cycles to
// total_cycles and prints nothing.
void count_cycles(BufferTimeMeter* meter, const uint8_t* block, uint32_t length);
