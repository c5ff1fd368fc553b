// The tape image and the meter on arbitrary files, start offsets and
// request orders, through a scratch file and the real file backend. Every
// header and block is compared with a model that follows the file position
// and the remaining count by hand, and the meter's total with a plain decode
// of all the bytes fed to it.
//
// Input: byte 0 gives the start offset (bit 7 clear: 20 + its value; set:
// the next four bytes, little-endian, at least 20), then a byte with the
// number of request bytes, the request bytes (bit 7 set: one header
// request; clear: (value & 63) + 1 data requests), then the file.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <unistd.h>

#include "tape/buffer_time_meter.h"
#include "tape/tape_image.h"
#include "fuzz/scratch_file.h"

namespace {

std::string g_path;

void check(bool condition) {
    if (!condition) abort();
}

uint32_t load_le32(const uint8_t* bytes) {
    return static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
           static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
}

// Pulse bytes as tape cycles: b > 0 is 8*b cycles; 0 and three bytes give
// a 24-bit count, least significant byte first; an unfinished count adds
// nothing. Wraps at 32 bits like the meter.
uint32_t reference_cycles(const std::vector<uint8_t>& pulses) {
    uint32_t total = 0;
    for (size_t i = 0; i < pulses.size(); ++i) {
        if (pulses[i] != 0) {
            total += 8u * pulses[i];
        } else if (i + 3 < pulses.size()) {
            total += static_cast<uint32_t>(pulses[i + 1]) |
                     static_cast<uint32_t>(pulses[i + 2]) << 8 |
                     static_cast<uint32_t>(pulses[i + 3]) << 16;
            i += 3;
        } else {
            break;
        }
    }
    return total;
}

// What the file holds from `position` on, as far as `count` bytes go.
bool file_bytes(const std::string& file, uint64_t position, uint32_t count, uint8_t* out) {
    if (position + count > file.size()) return false;
    memcpy(out, file.data() + position, count);
    return true;
}

void play(const std::string& file, uint32_t start_offset, const std::vector<char>& requests) {
    TapeImage tape;
    const TapeOpenOutcome opened = open_tape_image(g_path.c_str(), &tape);
    if (file.size() < kTapHeaderSize) {
        check(opened == TapeOpenOutcome::kFailedTest);
        close_tape_image(&tape);
        return;
    }
    check(opened == TapeOpenOutcome::kOpened);
    check(tape.remaining == file.size());

    uint64_t position = 0;  // where the model's file stands
    uint32_t remaining = static_cast<uint32_t>(file.size());
    BufferTimeMeter meter;
    std::vector<uint8_t> fed;
    uint8_t buffer[kDataChunkSize];
    uint8_t expected[kDataChunkSize];

    for (const char request : requests) {
        if (request == 'h') {
            const HeaderOutcome outcome = read_header(&tape, start_offset, buffer);
            if (!file_bytes(file, position, kTapHeaderSize, expected)) {
                check(outcome == HeaderOutcome::kReadFailure);
                break;
            }
            position += kTapHeaderSize;
            if (start_offset > kTapHeaderSize) {
                const uint32_t length = load_le32(expected + 16);
                const uint32_t skipped = start_offset - kTapHeaderSize;
                if (skipped >= length) {
                    check(outcome == HeaderOutcome::kInvalidStart);
                    break;
                }
                if (start_offset >= 0x80000000u) {
                    check(outcome == HeaderOutcome::kSeekFailure);
                    break;
                }
                const uint32_t adjusted = length - skipped;
                memcpy(expected + 16, &adjusted, 4);  // little-endian host
                remaining -= skipped;
                position = start_offset;
            }
            check(outcome == HeaderOutcome::kOk);
            check(memcmp(buffer, expected, kTapHeaderSize) == 0);
            check(tape.remaining == remaining);
            consume(&tape, kTapHeaderSize);
            remaining -= kTapHeaderSize;
        } else {
            uint32_t count = 0xFFFFFFFFu;
            const bool ok = read_chunk(&tape, buffer, &count);
            const uint32_t n = std::min(remaining, kDataChunkSize);
            if (!file_bytes(file, position, n, expected)) {
                check(!ok);
                break;
            }
            check(ok);
            check(count == n && count <= kDataChunkSize);
            check(memcmp(buffer, expected, n) == 0);
            position += n;
            feed(&meter, buffer, count);
            fed.insert(fed.end(), buffer, buffer + count);
            check(meter.total_cycles == reference_cycles(fed));
            check(meter.last_second_shown == meter.total_cycles / kTapeClockHz);
            consume(&tape, count);
            remaining -= count;
        }
        check(tape.remaining == remaining);
    }
    close_tape_image(&tape);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // The meter's time line goes to standard output.
    if (freopen("/dev/null", "w", stdout) == nullptr) abort();
    g_path = make_scratch_file("tape");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    uint32_t start_offset = kTapHeaderSize + data[0];
    size_t at = 1;
    if ((data[0] & 0x80) != 0) {
        if (size < at + 4) return 0;
        start_offset = std::max(load_le32(data + at), kTapHeaderSize);
        at += 4;
    }
    if (size < at + 1) return 0;
    const size_t request_bytes = data[at++];
    if (size < at + request_bytes) return 0;
    std::vector<char> requests;
    for (size_t i = 0; i < request_bytes; ++i) {
        const uint8_t b = data[at + i];
        if ((b & 0x80) != 0) {
            requests.push_back('h');
        } else {
            requests.insert(requests.end(), (b & 63u) + 1u, 'd');
        }
    }
    at += request_bytes;
    const std::string file(reinterpret_cast<const char*>(data + at), size - at);

    FILE* out = fopen(g_path.c_str(), "wb");
    if (out == nullptr) abort();
    fwrite(file.data(), 1, file.size(), out);
    fclose(out);

    play(file, start_offset, requests);
    fflush(stdout);
    return 0;
}
