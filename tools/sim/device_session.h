// One playback as a well-behaved Tavrel device plays it: greeting and
// prompt, the play command and its echo, the header, the data blocks, and
// the closing notice.
#pragma once

#include <cstdint>
#include <string>

#include "pacer.h"
#include "pty_pair.h"
#include "tape_expectation.h"

struct SessionSettings {
    int startup_delay_ms = 300;
    int timeout_ms = 10000;  // the longest wait for any one answer
    PaceMode pace = PaceMode::kFast;
    double speed = 1.0;
    bool send_failure = false;    // "f" even when everything matched
    uint32_t hang_up_after = 0;   // data blocks before unplugging; 0: never
    const TapeExpectation* expected = nullptr;
};

struct SessionOutcome {
    bool passed = false;
    std::string report;  // one line, without the program name
};

// Plays the device on `pty`. `abort_fd` (or -1) turns readable when the
// player has gone, which ends any wait at once.
SessionOutcome run_device_session(PtyPair* pty, const SessionSettings& settings, int abort_fd);
