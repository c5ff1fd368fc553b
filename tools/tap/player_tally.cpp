#include "player_tally.h"

#include <cstdio>

#include "tap_file.h"

PlayerTally tally_as_player(const uint8_t* file, size_t end) {
    PlayerTally tally;
    size_t i = kTapHeaderBytes;
    while (i < end) {
        const uint8_t b = file[i];
        if (b != 0) {
            tally.total_cycles += 8u * b;
            ++tally.one_byte_pulses;
            ++i;
            continue;
        }
        if (end - i < 4) break;
        tally.total_cycles += static_cast<uint32_t>(file[i + 1]) |
                              static_cast<uint32_t>(file[i + 2]) << 8 |
                              static_cast<uint32_t>(file[i + 3]) << 16;
        ++tally.long_counts;
        i += 4;
    }
    return tally;
}

std::string format_tape_time(uint32_t total_cycles) {
    const uint32_t seconds = total_cycles / kTapeCyclesPerSecond;
    char text[32];
    snprintf(text, sizeof text, "%lu:%02lu", static_cast<unsigned long>(seconds / 60),
             static_cast<unsigned long>(seconds % 60));
    return text;
}
