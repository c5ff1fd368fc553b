// The two-width turbo loaders the scanner names, one row each: what a block
// looks like on tape. The row is shared by the decoder and the encoder, so
// that a new family is a new row plus the file that reads its blocks.
#pragma once

#include <cstddef>
#include <cstdint>

#include "tape_catalog.h"

inline constexpr size_t kMaxSyncLength = 16;

struct TwoWidthFamily {
    LoaderFamily family = LoaderFamily::kUnknownTurbo;
    const char* name = "";
    // Nominal pulse widths and the loader's threshold, in TAP units (8 cycles).
    uint8_t zero_pulse = 0;
    uint8_t one_pulse = 0;
    uint8_t threshold = 0;
    bool msb_first = true;
    uint8_t pilot_byte = 0;
    // Fewer pilot bytes before the sync are not taken for a pilot.
    uint8_t min_pilot_bytes = 0;
    uint8_t sync[kMaxSyncLength] = {};
    size_t sync_length = 0;
    // Pulses outside [min_pulse, max_pulse] end a block: silence, or a glitch.
    uint8_t min_pulse = 0;
    uint8_t max_pulse = 0;
};

// Turbo Tape 64: $1A for 0, $28 for 1, threshold $21, most significant bit
// first, pilot of $02, sync $09 down to $01.
extern const TwoWidthFamily kTurboTape64;

// Turbo Tape 64's blocks: the byte after the sync is the file type for a
// header block, $00 for a data block.
inline constexpr size_t kTurboHeaderSize = 192;  // bytes after the type byte
inline constexpr size_t kTurboNameOffset = 5;    // in those bytes: start, end, one more byte, name
