#include "tape/tape_image.h"

#include <cstdio>

namespace {

constexpr uint32_t kLengthFieldOffset = 16;

uint32_t load_le32(const uint8_t* bytes) {
    return static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
           static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
}

void store_le32(uint8_t* bytes, uint32_t value) {
    bytes[0] = static_cast<uint8_t>(value);
    bytes[1] = static_cast<uint8_t>(value >> 8);
    bytes[2] = static_cast<uint8_t>(value >> 16);
    bytes[3] = static_cast<uint8_t>(value >> 24);
}

bool read_exactly(TapeImage* tape, uint8_t* buffer, uint32_t count) {
    IoResult read = platform_read_file(tape->file, buffer, count);
    return read.ok && read.count == count;
}

}  // namespace

TapeOpenOutcome open_tape_image(const char* tape_path, TapeImage* tape) {
    tape->tape_path = tape_path;
    tape->remaining = 0;
    tape->file = platform_open_file(tape_path);
    if (!platform_handle_valid(tape->file)) {
        fprintf(stderr, "Unable to open file %s for read\n", tape_path);
        return TapeOpenOutcome::kCannotOpen;
    }
    uint32_t size = 0;
    if (!platform_file_size(tape->file, &size)) {
        fprintf(stderr, "Unable to retrieve the size of file %s\n", tape_path);
        return TapeOpenOutcome::kFailedTest;
    }
    if (size < kTapHeaderSize) {
        fprintf(stderr, "File %s is too short to ba a valid TAP file\n", tape_path);
        return TapeOpenOutcome::kFailedTest;
    }
    tape->remaining = size;
    return TapeOpenOutcome::kOpened;
}

HeaderOutcome read_header(TapeImage* tape, uint32_t start_offset, uint8_t* buffer) {
    if (!read_exactly(tape, buffer, kTapHeaderSize)) return HeaderOutcome::kReadFailure;
    if (start_offset <= kTapHeaderSize) return HeaderOutcome::kOk;

    const uint32_t length = load_le32(buffer + kLengthFieldOffset);
    const uint32_t skipped = start_offset - kTapHeaderSize;
    if (skipped >= length) {
        fprintf(stderr, "Invalid index supplied for %s\n", tape->tape_path);
        return HeaderOutcome::kInvalidStart;
    }
    store_le32(buffer + kLengthFieldOffset, length - skipped);
    tape->remaining -= skipped;
    // Offsets of 2^31 and more become negative distances, which are refused.
    if (!platform_seek_from_start(tape->file, static_cast<int32_t>(start_offset))) {
        fprintf(stderr, "Error seeking to index in %s\n", tape->tape_path);
        return HeaderOutcome::kSeekFailure;
    }
    return HeaderOutcome::kOk;
}

bool read_chunk(TapeImage* tape, uint8_t* buffer, uint32_t* count) {
    const uint32_t n = tape->remaining <= kDataChunkSize ? tape->remaining : kDataChunkSize;
    if (!read_exactly(tape, buffer, n)) return false;
    *count = n;
    return true;
}

void close_tape_image(TapeImage* tape) { platform_close(tape->file); }
