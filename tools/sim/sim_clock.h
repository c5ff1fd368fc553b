// The simulator's one clock: monotonic, so pacing and time-outs never jump
// with the wall clock.
#pragma once

#include <chrono>

using SimClock = std::chrono::steady_clock;

SimClock::time_point deadline_after_ms(int ms);

// Milliseconds left until `deadline`, 0 once it has passed; for poll().
int ms_until(SimClock::time_point deadline);

// Sleeps until `deadline`. A `watch_fd` of -1 is not watched; otherwise the
// wait ends early, giving false, as soon as that descriptor turns readable.
bool wait_until(SimClock::time_point deadline, int watch_fd);
