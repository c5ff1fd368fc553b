// When the simulated device asks for the next block.
//
// fast: at once. line: no faster than a 115200-baud 8N1 line carries the
// bytes. tape: as a real device that plays the pulses in real time (divided
// by a speed factor) and asks for a block once all but the last one it holds
// have played, so it never holds more than one block ahead.
#pragma once

#include <cstddef>
#include <cstdint>

#include "sim_clock.h"

enum class PaceMode { kFast, kLine, kTape };

inline constexpr double kLineBitsPerSecond = 115200.0;
inline constexpr double kLineBitsPerByte = 10.0;  // start bit, 8 data bits, stop bit
inline constexpr double kTapeClockHz = 985248.0;

// Reads pulse bytes into clock cycles: b != 0 is 8 * b cycles; 0 starts a
// 24-bit little-endian count, which may continue in the next block.
struct PulseDecoder {
    int state = 0;  // 0: next byte starts a pulse; 1..3: next byte of a long count
    uint32_t pending = 0;
};

// Adds the cycles of the pulses that `bytes` complete.
uint64_t decode_pulses(PulseDecoder* decoder, const uint8_t* bytes, size_t count);

struct Pacer {
    PaceMode mode = PaceMode::kFast;
    double speed = 1.0;
    bool started = false;
    SimClock::time_point start{};
    uint64_t line_bytes = 0;
    PulseDecoder decoder;
    uint64_t cycles = 0;              // every complete pulse received
    uint64_t cycles_before_last = 0;  // the same, without the last block
};

Pacer make_pacer(PaceMode mode, double speed);

// A request went out at `now`: the line clock starts with the first one.
void pacer_request_sent(Pacer* pacer, SimClock::time_point now);

// The player's answer arrived at `now`; `pulses` is true for data blocks
// (the header carries no tape time). The tape clock starts with the first
// data block.
void pacer_answer_received(Pacer* pacer, const uint8_t* bytes, size_t count, bool pulses,
                           SimClock::time_point now);

// The earliest moment for the next request.
SimClock::time_point pacer_next_request_at(const Pacer& pacer);

// The moment the tape received so far has played out; the past when not
// pacing by tape (the clock's epoch stands for "no wait").
SimClock::time_point pacer_played_out_at(const Pacer& pacer);
