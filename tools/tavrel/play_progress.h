// The progress sink of `tavrel play`: follows the blocks sent through the
// tape's files, draws the status line (terminal) or plain lines (pipe),
// says once when the device's prompt is long in coming, and passes a
// caught interrupt on to the request loop as a request to stop.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "link/playback_sink.h"
#include "start_choice.h"
#include "status_line.h"
#include "tape/buffer_time_meter.h"
#include "tape_catalog.h"

// Terminal: at most ten redraws a second; pipe: at most one line a second;
// no prompt after this long: one line of advice.
inline constexpr std::chrono::milliseconds kRedrawInterval{100};
inline constexpr std::chrono::milliseconds kPlainLineInterval{1000};
inline constexpr unsigned kPromptPatienceMs = 3000;

class PlayProgress {
public:
    PlayProgress(const TapeCatalog& catalog, uint32_t start_offset, uint32_t start_cycles,
                 const std::string& port_name, bool terminal);
    ~PlayProgress();
    PlayProgress(const PlayProgress&) = delete;
    PlayProgress& operator=(const PlayProgress&) = delete;

    PlaybackSink sink();

    // Leaves the console at the start of a fresh line, the last status shown.
    void finish_line();

    uint64_t data_bytes_sent() const { return data_bytes_; }
    int current_file() const { return file_; }
    StatusSnapshot snapshot() const;

private:
    static void on_serving_started(void* self);
    static void on_block_sent(void* self, const uint8_t* block, uint32_t length);
    static void on_before_message(void* self);
    static bool on_stop_requested(void* self);

    void follow_files();
    void show(std::chrono::steady_clock::time_point now);

    const TapeCatalog& catalog_;
    const uint32_t start_offset_;
    const uint32_t start_cycles_;
    const std::string port_name_;
    const bool terminal_;  // else a pipe or a file: plain lines

    static constexpr unsigned kBlocksPerClockRead = 8;

    BufferTimeMeter meter_;
    unsigned blocks_since_clock_ = kBlocksPerClockRead - 1;  // the first block shows at once
    uint64_t data_bytes_ = 0;
    int file_ = kNoFile;
    std::chrono::steady_clock::time_point serving_since_{};
    std::chrono::steady_clock::time_point last_shown_{};
    bool line_on_screen_ = false;     // terminal: a status line without its line end
    bool shown_since_change_ = true;  // pipe: the last line shows the latest count
};
