// The player's only view of the TAP file: the header (adjusted for a later
// start) and the pulse data in blocks, read strictly on demand into the
// caller's buffer.
#pragma once

#include <cstdint>

#include "platform/platform.h"

inline constexpr uint32_t kTapHeaderSize = 20;
inline constexpr uint32_t kDataChunkSize = 64;

struct TapeImage {
    const char* tape_path = nullptr;  // as typed; shown in every message
    PlatformHandle file;
    uint32_t remaining = 0;  // bytes of the file not yet sent; wraps like the device's count
};

enum class TapeOpenOutcome { kOpened, kCannotOpen, kFailedTest };
enum class HeaderOutcome { kOk, kReadFailure, kInvalidStart, kSeekFailure };

// kCannotOpen leaves nothing open; kFailedTest leaves the file open for the
// caller to close after the port.
TapeOpenOutcome open_tape_image(const char* tape_path, TapeImage* tape);

// Reads the next 20 bytes as the header. With start_offset above 20 the
// length field is lowered by the pulse bytes skipped and the file is
// positioned at start_offset.
HeaderOutcome read_header(TapeImage* tape, uint32_t start_offset, uint8_t* buffer);

// Reads the next block of min(remaining, 64) bytes; false on a failed or
// short read.
bool read_chunk(TapeImage* tape, uint8_t* buffer, uint32_t* count);

// Counts `count` bytes as sent; called only once they reached the device.
inline void consume(TapeImage* tape, uint32_t count) { tape->remaining -= count; }

void close_tape_image(TapeImage* tape);
