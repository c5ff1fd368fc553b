// The line between the simulated device and the player: a pseudo-terminal
// whose master is the device's end and whose slave the player opens by name.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "sim_clock.h"

struct PtyPair {
    int master = -1;
    // Held open for the simulator's whole life: while any slave descriptor is
    // open the master never reads EIO, so nothing written before the player
    // arrives is lost.
    int slave = -1;
    std::string slave_path;
};

// Creates the pair with a raw slave (no echo, no translation). False with a
// one-line reason in `error`.
bool open_pty_pair(PtyPair* pty, std::string* error);

// Closes the master: to the player the device has been unplugged.
void hang_up_pty(PtyPair* pty);

void close_pty_pair(PtyPair* pty);

// Writes every byte before `deadline`; false if the line would not take them.
bool pty_write(const PtyPair& pty, const void* bytes, size_t count,
               SimClock::time_point deadline);

enum class ReadEnd {
    kComplete,  // every byte asked for came
    kQuiet,     // some came, then the line stayed quiet for `quiet_ms`
    kTimedOut,  // the deadline passed
    kAborted,   // `abort_fd` turned readable while nothing was waiting
    kFailed,    // the line is gone
};

struct PtyReadResult {
    size_t count = 0;
    ReadEnd end = ReadEnd::kFailed;
};

// Reads up to `count` bytes. Bytes already on the line are always taken
// before `abort_fd` (or -1) is looked at, so a player that answers and then
// exits is still heard.
PtyReadResult pty_read(const PtyPair& pty, uint8_t* buffer, size_t count,
                       SimClock::time_point deadline, int quiet_ms, int abort_fd);

// Waits until the player has read everything sent to it, `deadline`, or
// `abort_fd` (or -1) turning readable. Closing the master drops unread
// input, so a last notice must be taken first.
bool pty_wait_drained(const PtyPair& pty, SimClock::time_point deadline, int abort_fd);
