// Whoever shows a playback's progress: the classic time line, or the
// toolbox's status line. The request loop tells it what happens and asks it
// whether to go on; it never changes what the device receives.
#pragma once

#include <cstdint>

// The exit status of a playback that was asked to stop (as a shell reports
// a program ended by Ctrl-C).
inline constexpr int kPlaybackStopped = 130;

struct PlaybackSink {
    void* context = nullptr;
    // The handshake is done and requests are about to be served: a fresh count.
    void (*serving_started)(void* context) = nullptr;
    // A data block has been written completely.
    void (*block_sent)(void* context, const uint8_t* block, uint32_t length) = nullptr;
    // The exchange is about to print a line of its own (a closing message,
    // or the tape's complaint about the start): the console must be ready.
    void (*before_message)(void* context) = nullptr;
    // Asked after every read of the port; true ends the run at once with
    // kPlaybackStopped and no message.
    bool (*stop_requested)(void* context) = nullptr;
};
