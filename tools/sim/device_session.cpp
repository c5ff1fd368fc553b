#include "device_session.h"

#include <cstdio>
#include <cstring>
#include <utility>
#include <vector>

namespace {

constexpr char kGreeting[] = "Tavrel tape emulator\r\n> ";
constexpr char kPlayCommand[] = "p\r";
constexpr char kPlayEcho[] = "p\r\n";
constexpr uint8_t kHeaderRequest = 'h';
constexpr uint8_t kDataRequest = 'd';
constexpr uint8_t kSuccessNotice = 'e';
constexpr uint8_t kFailureNotice = 'f';
constexpr size_t kBlockSize = 64;
// The player writes a block in one go; a pause this long inside an answer
// means the answer is over.
constexpr int kQuietMs = 250;

struct Session {
    PtyPair* pty;
    const SessionSettings* settings;
    int abort_fd;
    Pacer pacer;
};

SimClock::time_point step_deadline(const Session& session) {
    return deadline_after_ms(session.settings->timeout_ms);
}

bool send(Session* session, const void* bytes, size_t count) {
    return pty_write(*session->pty, bytes, count, step_deadline(*session));
}

bool send_request(Session* session, uint8_t request) {
    if (!send(session, &request, 1)) return false;
    pacer_request_sent(&session->pacer, SimClock::now());
    return true;
}

// Why an answer is missing, in words; `what` names it without an article,
// e.g. "header".
std::string missing_answer(const Session& session, const PtyReadResult& read, size_t wanted,
                           const std::string& what) {
    switch (read.end) {
        case ReadEnd::kAborted:
            return "the player exited before sending its " + what;
        case ReadEnd::kFailed:
            return "the line failed while the device waited for the " + what;
        default:
            break;
    }
    if (read.count == 0) {
        return "no " + what + " within " + std::to_string(session.settings->timeout_ms) + " ms";
    }
    return "only " + std::to_string(read.count) + " of " + std::to_string(wanted) +
           " bytes of the " + what;
}

SessionOutcome failed(std::string report) { return SessionOutcome{false, std::move(report)}; }

// Bytes that should have been a fixed text, shown with escapes.
std::string printable(const uint8_t* bytes, size_t count) {
    std::string text;
    for (size_t i = 0; i < count; ++i) {
        const uint8_t b = bytes[i];
        if (b == '\r') {
            text += "\\r";
        } else if (b == '\n') {
            text += "\\n";
        } else if (b >= 0x20 && b < 0x7F) {
            text += static_cast<char>(b);
        } else {
            char hex[8];
            snprintf(hex, sizeof(hex), "\\x%02x", b);
            text += hex;
        }
    }
    return text;
}

bool handshake(Session* session, std::string* problem) {
    if (!wait_until(deadline_after_ms(session->settings->startup_delay_ms), session->abort_fd)) {
        *problem = "the player exited before the device greeted it";
        return false;
    }
    if (!send(session, kGreeting, strlen(kGreeting))) {
        *problem = "cannot send the prompt";
        return false;
    }
    uint8_t command[2] = {0, 0};
    const PtyReadResult read = pty_read(*session->pty, command, sizeof(command),
                                        step_deadline(*session), kQuietMs, session->abort_fd);
    if (read.end != ReadEnd::kComplete) {
        *problem = missing_answer(*session, read, sizeof(command), "play command");
        return false;
    }
    if (memcmp(command, kPlayCommand, sizeof(command)) != 0) {
        *problem = "expected the play command \"p\\r\", got \"" + printable(command, 2) + "\"";
        return false;
    }
    if (!send(session, kPlayEcho, strlen(kPlayEcho))) {
        *problem = "cannot echo the play command";
        return false;
    }
    return true;
}

bool fetch_header(Session* session, std::vector<uint8_t>* header, std::string* problem) {
    header->assign(kTapHeaderSize, 0);
    if (!send_request(session, kHeaderRequest)) {
        *problem = "cannot send the header request";
        return false;
    }
    const PtyReadResult read = pty_read(*session->pty, header->data(), kTapHeaderSize,
                                        step_deadline(*session), kQuietMs, session->abort_fd);
    if (read.end != ReadEnd::kComplete) {
        *problem = missing_answer(*session, read, kTapHeaderSize, "header");
        return false;
    }
    pacer_answer_received(&session->pacer, header->data(), kTapHeaderSize, false,
                          SimClock::now());
    return true;
}

enum class DataEnd { kAllCame, kRanDry, kHungUp, kFailed };

// Asks for blocks until `length` pulse bytes have come. An answer shorter
// than asked means the player's file has ended: the judge says the rest.
DataEnd fetch_data(Session* session, uint32_t length, std::vector<uint8_t>* data,
                   std::string* problem) {
    uint32_t blocks = 0;
    uint8_t block[kBlockSize];
    while (data->size() < length) {
        if (session->settings->hang_up_after != 0 && blocks == session->settings->hang_up_after) {
            hang_up_pty(session->pty);
            *problem = "hung up after " + std::to_string(blocks) + " data blocks, as asked";
            return DataEnd::kHungUp;
        }
        if (!wait_until(pacer_next_request_at(session->pacer), session->abort_fd)) {
            *problem = "the player exited during playback";
            return DataEnd::kFailed;
        }
        if (!send_request(session, kDataRequest)) {
            *problem = "cannot send a data request";
            return DataEnd::kFailed;
        }
        const size_t left = length - data->size();
        const size_t wanted = left < kBlockSize ? left : kBlockSize;
        const PtyReadResult read = pty_read(*session->pty, block, wanted,
                                            step_deadline(*session), kQuietMs, session->abort_fd);
        if (read.end == ReadEnd::kAborted || read.end == ReadEnd::kFailed) {
            *problem = missing_answer(*session, read, wanted,
                                      "answer to data request " + std::to_string(blocks + 1));
            return DataEnd::kFailed;
        }
        pacer_answer_received(&session->pacer, block, read.count, true, SimClock::now());
        data->insert(data->end(), block, block + read.count);
        ++blocks;
        if (read.end != ReadEnd::kComplete) return DataEnd::kRanDry;
    }
    return DataEnd::kAllCame;
}

// Sends the closing notice and lets the player take it before anything
// else can close the line.
void send_notice(Session* session, uint8_t notice) {
    if (session->pty->master < 0) return;
    if (send(session, &notice, 1)) {
        pty_wait_drained(*session->pty, step_deadline(*session), session->abort_fd);
    }
}

}  // namespace

SessionOutcome run_device_session(PtyPair* pty, const SessionSettings& settings, int abort_fd) {
    Session session{pty, &settings, abort_fd, make_pacer(settings.pace, settings.speed)};
    std::string problem;
    std::vector<uint8_t> header;
    if (!handshake(&session, &problem) || !fetch_header(&session, &header, &problem)) {
        send_notice(&session, kFailureNotice);
        return failed(problem);
    }

    std::vector<uint8_t> data;
    switch (fetch_data(&session, read_length_field(header.data()), &data, &problem)) {
        case DataEnd::kAllCame:
            // A real device reports only once the tape has played out.
            if (!wait_until(pacer_played_out_at(session.pacer), abort_fd)) {
                return failed("the player exited while the tape played out");
            }
            break;
        case DataEnd::kRanDry:
            break;
        case DataEnd::kHungUp:
            return SessionOutcome{true, problem};
        case DataEnd::kFailed:
            send_notice(&session, kFailureNotice);
            return failed(problem);
    }

    static const TapeExpectation kAnything;
    const Verdict verdict =
        judge_tape(settings.expected != nullptr ? *settings.expected : kAnything, header, data);
    if (verdict.passed && settings.send_failure) {
        send_notice(&session, kFailureNotice);
        return SessionOutcome{true, verdict.text + "; sent the failure notice, as asked"};
    }
    send_notice(&session, verdict.passed ? kSuccessNotice : kFailureNotice);
    return SessionOutcome{verdict.passed, verdict.text};
}
