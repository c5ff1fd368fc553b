#include "play_progress.h"

#include <cstdio>

#include "console.h"
#include "platform/platform.h"
#include "player_tally.h"

PlayProgress::PlayProgress(const TapeCatalog& catalog, uint32_t start_offset,
                           uint32_t start_cycles, const std::string& port_name,
                           bool terminal)
    : catalog_(catalog),
      start_offset_(start_offset),
      start_cycles_(start_cycles),
      port_name_(port_name),
      terminal_(terminal),
      file_(file_at_offset(catalog, start_offset)) {
    // The read that waits for the prompt is long: the advice comes on a timer.
    warn_after(kPromptPatienceMs,
               "Waiting for the device's prompt on " + port_name +
                   ": is the device connected and switched on, in command mode (not already "
                   "playing), and is this its port (see tavrel ports)?\n");
}

PlayProgress::~PlayProgress() { cancel_delayed_warning(); }

PlaybackSink PlayProgress::sink() {
    PlaybackSink sink;
    sink.context = this;
    sink.serving_started = on_serving_started;
    sink.block_sent = on_block_sent;
    sink.before_message = on_before_message;
    sink.stop_requested = on_stop_requested;
    return sink;
}

StatusSnapshot PlayProgress::snapshot() const {
    StatusSnapshot status;
    status.position_cycles = start_cycles_ + meter_.total_cycles;
    status.total_cycles = catalog_.total_cycles;
    status.file = file_label(catalog_, file_);
    if (file_ != kNoFile) status.file = std::to_string(file_ + 1) + " " + status.file;
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - serving_since_).count();
    // A rate over the first moments says nothing yet.
    status.bytes_per_second = seconds >= 0.5 ? static_cast<double>(data_bytes_) / seconds : -1;
    return status;
}

void PlayProgress::on_serving_started(void* self) {
    auto* progress = static_cast<PlayProgress*>(self);
    cancel_delayed_warning();
    progress->meter_ = BufferTimeMeter{};
    progress->serving_since_ = std::chrono::steady_clock::now();
    if (!progress->terminal_) {
        printf("Playing to %s from %s\n", progress->port_name_.c_str(),
               progress->file_ == kNoFile ? "the tape's start"
                                          : ("file " + std::to_string(progress->file_ + 1) + ", " +
                                             file_label(progress->catalog_, progress->file_))
                                                .c_str());
        fflush(stdout);
    }
}

void PlayProgress::on_block_sent(void* self, const uint8_t* block, uint32_t length) {
    auto* progress = static_cast<PlayProgress*>(self);
    count_cycles(&progress->meter_, block, length);
    progress->data_bytes_ += length;
    progress->shown_since_change_ = false;
    progress->follow_files();
    // The clock is looked at every few blocks only: at the line's pace that
    // is still every few tens of milliseconds, and a fast device is not
    // slowed by a clock read per request.
    if (++progress->blocks_since_clock_ < kBlocksPerClockRead) return;
    progress->blocks_since_clock_ = 0;
    const auto now = std::chrono::steady_clock::now();
    const auto interval = progress->terminal_ ? kRedrawInterval : kPlainLineInterval;
    if (now - progress->last_shown_ >= interval) progress->show(now);
}

void PlayProgress::on_before_message(void* self) { static_cast<PlayProgress*>(self)->finish_line(); }

bool PlayProgress::on_stop_requested(void*) { return platform_interrupt_caught(); }

// A new file starts where its pilot does; the pipe gets a line for it.
void PlayProgress::follow_files() {
    const uint64_t position = start_offset_ + data_bytes_;
    while (static_cast<size_t>(file_ + 1) < catalog_.entries.size() &&
           catalog_.entries[static_cast<size_t>(file_ + 1)].pilot_offset < position) {
        ++file_;
        if (!terminal_) {
            const CatalogEntry& entry = catalog_.entries[static_cast<size_t>(file_)];
            printf("File %d: %s (%s), from %s\n", file_ + 1, file_label(catalog_, file_).c_str(),
                   loader_family_name(entry.family), format_tape_time(entry.start_cycles).c_str());
            fflush(stdout);
        }
    }
}

void PlayProgress::show(std::chrono::steady_clock::time_point now) {
    last_shown_ = now;
    if (terminal_) {
        printf("\r%s", terminal_status_line(snapshot(), terminal_columns()).c_str());
        line_on_screen_ = true;
    } else {
        printf("%s\n", plain_status_line(snapshot()).c_str());
        shown_since_change_ = true;
    }
    fflush(stdout);
}

void PlayProgress::finish_line() {
    if (terminal_) {
        if (!line_on_screen_) return;
        printf("\r%s\n", terminal_status_line(snapshot(), terminal_columns()).c_str());
        line_on_screen_ = false;
    } else {
        if (shown_since_change_) return;
        printf("%s\n", plain_status_line(snapshot()).c_str());
        shown_since_change_ = true;
    }
    fflush(stdout);
}
