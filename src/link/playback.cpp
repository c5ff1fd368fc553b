#include "link/playback.h"

#include <cstdio>
#include <cstring>

#include "link/protocol.h"
#include "link/time_line_sink.h"
#include "tape/buffer_time_meter.h"

namespace {

// How a step of the exchange came out.
enum class Step { kDone, kFailed, kStopped };

int exit_status(Step step) {
    switch (step) {
        case Step::kDone: return 0;
        case Step::kStopped: return kPlaybackStopped;
        case Step::kFailed: break;
    }
    return 1;
}

// The sink's hooks, each optional.
struct Progress {
    const PlaybackSink& sink;

    void serving_started() const {
        if (sink.serving_started != nullptr) sink.serving_started(sink.context);
    }
    void block_sent(const uint8_t* block, uint32_t length) const {
        if (sink.block_sent != nullptr) sink.block_sent(sink.context, block, length);
    }
    void before_message() const {
        if (sink.before_message != nullptr) sink.before_message(sink.context);
    }
    bool stop_requested() const {
        return sink.stop_requested != nullptr && sink.stop_requested(sink.context);
    }
};

bool write_complete(SerialLink* link, const void* bytes, uint32_t count) {
    IoResult written = serial_link_write(link, bytes, count);
    return written.ok && written.count == count;
}

// Waits until one read ends with the prompt; everything before it is dropped.
Step wait_for_prompt(SerialLink* link, uint8_t* buffer, const Progress& progress) {
    for (;;) {
        IoResult read = serial_link_read(link, buffer, kPromptReadSize);
        if (progress.stop_requested()) return Step::kStopped;
        if (!read.ok) {
            progress.before_message();
            fprintf(stderr, "Error reading prompt from %s (%ld)\n", link->port_name,
                    static_cast<long>(read.count));
            return Step::kFailed;
        }
        if (read.count >= kPromptLength &&
            memcmp(buffer + read.count - kPromptLength, kPromptText, kPromptLength) == 0) {
            return Step::kDone;
        }
    }
}

Step start_play(SerialLink* link, uint8_t* buffer, const Progress& progress) {
    if (!write_complete(link, kPlayCommand, kPlayCommandLength)) {
        progress.before_message();
        fprintf(stderr, "Error writing playback command to %s\n", link->port_name);
        return Step::kFailed;
    }
    IoResult echo = serial_link_read(link, buffer, kPlayEchoLength);
    if (progress.stop_requested()) return Step::kStopped;
    if (!echo.ok || echo.count != kPlayEchoLength ||
        memcmp(buffer, kPlayEcho, kPlayEchoLength) != 0) {
        progress.before_message();
        fprintf(stderr, "Error reading playback command echo from %s (%ld)\n", link->port_name,
                static_cast<long>(echo.count));
        return Step::kFailed;
    }
    return Step::kDone;
}

// A TAP read failure is also told to the device, whether or not it hears it.
void report_tape_read_failure(SerialLink* link, const TapeImage* tape, const Progress& progress) {
    progress.before_message();
    fprintf(stderr, "Error reading from %s\n", tape->tape_path);
    serial_link_write(link, kTapeErrorNotice, 1);
}

bool serve_header(SerialLink* link, TapeImage* tape, uint32_t start_offset, uint8_t* buffer,
                  const Progress& progress) {
    // The tape image speaks for itself when the start is wrong.
    progress.before_message();
    switch (read_header(tape, start_offset, buffer)) {
        case HeaderOutcome::kOk:
            break;
        case HeaderOutcome::kReadFailure:
            report_tape_read_failure(link, tape, progress);
            return false;
        case HeaderOutcome::kInvalidStart:
        case HeaderOutcome::kSeekFailure:
            return false;  // already reported by the tape image
    }
    if (!write_complete(link, buffer, kTapHeaderSize)) {
        fprintf(stderr, "Error writing data to %s\n", link->port_name);
        return false;
    }
    consume(tape, kTapHeaderSize);
    return true;
}

bool serve_data(SerialLink* link, TapeImage* tape, uint32_t* bytes_sent, uint8_t* buffer,
                const Progress& progress) {
    uint32_t count = 0;
    if (!read_chunk(tape, buffer, &count)) {
        report_tape_read_failure(link, tape, progress);
        return false;
    }
    *bytes_sent += count;
    if (!write_complete(link, buffer, count)) {
        progress.before_message();
        fprintf(stderr, "Error writing data to %s\n", link->port_name);
        return false;
    }
    progress.block_sent(buffer, count);
    consume(tape, count);
    return true;
}

// The request loop: one byte read, answered completely, then the next.
Step serve_requests(SerialLink* link, TapeImage* tape, uint32_t start_offset, uint8_t* buffer,
                    const Progress& progress) {
    progress.serving_started();
    uint32_t bytes_sent = 0;
    for (;;) {
        IoResult read = serial_link_read(link, buffer, 1);
        if (progress.stop_requested()) return Step::kStopped;
        if (!read.ok) {
            progress.before_message();
            fprintf(stderr, "Error reading from %s\n", link->port_name);
            return Step::kFailed;
        }
        if (read.count == 0) continue;  // quiet line: keep waiting

        switch (buffer[0]) {
            case kHeaderRequest:
                if (!serve_header(link, tape, start_offset, buffer, progress)) return Step::kFailed;
                break;
            case kDataRequest:
                if (!serve_data(link, tape, &bytes_sent, buffer, progress)) return Step::kFailed;
                break;
            case kSuccessNotice:
                progress.before_message();
                printf("Success condition received from %s, %lu bytes sent\n", link->port_name,
                       static_cast<unsigned long>(bytes_sent));
                return Step::kDone;
            case kFailureNotice:
                progress.before_message();
                fprintf(stderr, "Failure condition received from %s\n", link->port_name);
                return Step::kFailed;
            default:
                break;  // anything else is not for us
        }
    }
}

}  // namespace

int run_playback_to(SerialLink* link, TapeImage* tape, uint32_t start_offset,
                    const PlaybackSink& sink) {
    // One exchange buffer for every read and every block written.
    static uint8_t buffer[kPromptReadSize];
    const Progress progress{sink};

    Step step = wait_for_prompt(link, buffer, progress);
    if (step == Step::kDone) step = start_play(link, buffer, progress);
    if (step == Step::kDone) {
        fflush(stdout);
        step = serve_requests(link, tape, start_offset, buffer, progress);
    }
    close_serial_link(link);
    close_tape_image(tape);
    return exit_status(step);
}

int run_playback(SerialLink* link, TapeImage* tape, uint32_t start_offset) {
    BufferTimeMeter meter;
    return run_playback_to(link, tape, start_offset, time_line_sink(&meter));
}
