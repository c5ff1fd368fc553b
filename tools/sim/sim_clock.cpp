#include "sim_clock.h"

#include <cerrno>

#include <poll.h>

SimClock::time_point deadline_after_ms(int ms) {
    return SimClock::now() + std::chrono::milliseconds(ms);
}

int ms_until(SimClock::time_point deadline) {
    const auto left = deadline - SimClock::now();
    if (left <= SimClock::duration::zero()) return 0;
    // Round up, so that a wait never ends just before its deadline.
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
    return ms > 1000000 ? 1000000 : static_cast<int>(ms);
}

bool wait_until(SimClock::time_point deadline, int watch_fd) {
    for (;;) {
        const int left = ms_until(deadline);
        if (left == 0) return true;
        pollfd entry{watch_fd, POLLIN, 0};
        const int rc = poll(&entry, watch_fd < 0 ? 0 : 1, left);
        if (rc < 0 && errno != EINTR) return true;
        if (rc > 0) return false;
    }
}
