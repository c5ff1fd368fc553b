#include "link/playback.h"

#include <cstdio>
#include <cstring>

#include "link/protocol.h"
#include "tape/buffer_time_meter.h"

namespace {

bool write_complete(SerialLink* link, const void* bytes, uint32_t count) {
    IoResult written = serial_link_write(link, bytes, count);
    return written.ok && written.count == count;
}

// Waits until one read ends with the prompt; everything before it is dropped.
bool wait_for_prompt(SerialLink* link, uint8_t* buffer) {
    for (;;) {
        IoResult read = serial_link_read(link, buffer, kPromptReadSize);
        if (!read.ok) {
            fprintf(stderr, "Error reading prompt from %s (%ld)\n", link->port_name,
                    static_cast<long>(read.count));
            return false;
        }
        if (read.count >= kPromptLength &&
            memcmp(buffer + read.count - kPromptLength, kPromptText, kPromptLength) == 0) {
            return true;
        }
    }
}

bool start_play(SerialLink* link, uint8_t* buffer) {
    if (!write_complete(link, kPlayCommand, kPlayCommandLength)) {
        fprintf(stderr, "Error writing playback command to %s\n", link->port_name);
        return false;
    }
    IoResult echo = serial_link_read(link, buffer, kPlayEchoLength);
    if (!echo.ok || echo.count != kPlayEchoLength ||
        memcmp(buffer, kPlayEcho, kPlayEchoLength) != 0) {
        fprintf(stderr, "Error reading playback command echo from %s (%ld)\n", link->port_name,
                static_cast<long>(echo.count));
        return false;
    }
    return true;
}

// A TAP read failure is also told to the device, whether or not it hears it.
void report_tape_read_failure(SerialLink* link, const TapeImage* tape) {
    fprintf(stderr, "Error reading from %s\n", tape->tape_path);
    serial_link_write(link, kTapeErrorNotice, 1);
}

bool serve_header(SerialLink* link, TapeImage* tape, uint32_t start_offset, uint8_t* buffer) {
    switch (read_header(tape, start_offset, buffer)) {
        case HeaderOutcome::kOk:
            break;
        case HeaderOutcome::kReadFailure:
            report_tape_read_failure(link, tape);
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

bool serve_data(SerialLink* link, TapeImage* tape, BufferTimeMeter* meter, uint32_t* bytes_sent,
                uint8_t* buffer) {
    uint32_t count = 0;
    if (!read_chunk(tape, buffer, &count)) {
        report_tape_read_failure(link, tape);
        return false;
    }
    *bytes_sent += count;
    if (!write_complete(link, buffer, count)) {
        fprintf(stderr, "Error writing data to %s\n", link->port_name);
        return false;
    }
    feed(meter, buffer, count);
    consume(tape, count);
    return true;
}

// The request loop. Returns the exit status.
int serve_requests(SerialLink* link, TapeImage* tape, uint32_t start_offset, uint8_t* buffer) {
    BufferTimeMeter meter;
    uint32_t bytes_sent = 0;
    for (;;) {
        IoResult read = serial_link_read(link, buffer, 1);
        if (!read.ok) {
            fprintf(stderr, "Error reading from %s\n", link->port_name);
            return 1;
        }
        if (read.count == 0) continue;  // quiet line: keep waiting

        switch (buffer[0]) {
            case kHeaderRequest:
                if (!serve_header(link, tape, start_offset, buffer)) return 1;
                break;
            case kDataRequest:
                if (!serve_data(link, tape, &meter, &bytes_sent, buffer)) return 1;
                break;
            case kSuccessNotice:
                printf("Success condition received from %s, %lu bytes sent\n", link->port_name,
                       static_cast<unsigned long>(bytes_sent));
                return 0;
            case kFailureNotice:
                fprintf(stderr, "Failure condition received from %s\n", link->port_name);
                return 1;
            default:
                break;  // anything else is not for us
        }
    }
}

}  // namespace

int run_playback(SerialLink* link, TapeImage* tape, uint32_t start_offset) {
    // One exchange buffer for every read and every block written.
    static uint8_t buffer[kPromptReadSize];

    int status = 1;
    if (wait_for_prompt(link, buffer) && start_play(link, buffer)) {
        fflush(stdout);
        status = serve_requests(link, tape, start_offset, buffer);
    }
    close_serial_link(link);
    close_tape_image(tape);
    return status;
}
