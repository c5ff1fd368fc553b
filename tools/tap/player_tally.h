// Tape time counted exactly as tavrel-play's time line counts it: every
// byte after the header read the version-1 way whatever the file's version,
// cycles summed in 32 bits with wrap-around, a count cut short by the end
// of the file adding nothing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

inline constexpr uint32_t kTapeCyclesPerSecond = 985248;

struct PlayerTally {
    uint32_t total_cycles = 0;
    uint32_t one_byte_pulses = 0;
    uint32_t long_counts = 0;
};

// Reads file[kTapHeaderBytes, end) where end is at most `size`.
PlayerTally tally_as_player(const uint8_t* file, size_t end);

// "m:ss", as the player shows a total.
std::string format_tape_time(uint32_t total_cycles);

