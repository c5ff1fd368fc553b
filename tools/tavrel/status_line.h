// What `tavrel play` shows while it plays: on a terminal one line redrawn
// in place, elsewhere plain lines.
#pragma once

#include <cstdint>
#include <string>

struct StatusSnapshot {
    uint32_t position_cycles = 0;  // tape time reached, from the tape's start
    uint32_t total_cycles = 0;     // the whole tape's time
    std::string file;              // the file now playing, as a person calls it
    double bytes_per_second = -1;  // of TAP data sent; negative: not known yet
};

// Whole percent of the tape's time reached, 0 to 100.
unsigned percent_reached(const StatusSnapshot& status);

// The terminal line, exactly `columns` - 1 characters (the last column is
// left free so that no terminal wraps): bar, percentage, time / total, file
// and rate. When the width is short the rate goes first, then the bar
// shrinks, then the file's name is cut.
std::string terminal_status_line(const StatusSnapshot& status, int columns);

// The plain line, for a pipe or a file: no bar and no control codes.
std::string plain_status_line(const StatusSnapshot& status);
