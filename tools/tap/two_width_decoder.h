// Reads the blocks of one two-width turbo loader family (loader_families.h)
// out of the pulses: finds its pilot at any bit alignment, checks the sync,
// then hands each byte to the family's format until the format has what it
// needs or the pulses stop making bytes. The threshold follows the tape's
// speed from the pilot on.
#pragma once

#include <cstddef>
#include <cstdint>

#include "loader_families.h"
#include "pulse_reader.h"

struct ScanEvents;

// What a family makes of the bytes after a block's sync.
class BlockFormat {
public:
    virtual ~BlockFormat() = default;
    // A block's sync was read; its pilot begins at pilot_offset.
    virtual void block_started(size_t pilot_offset, uint32_t pilot_cycles) = 0;
    // The next byte, ending at end_cycles; false once the block is complete.
    virtual bool take_byte(uint8_t value, uint32_t end_cycles) = 0;
    // The pulses stopped making bytes first (silence, a stray pulse, the end
    // of the tape); the block's last byte ended at last_cycles.
    virtual void block_broken(uint32_t last_cycles) = 0;
};

inline constexpr size_t kDecoderHistory = 128;  // pulses kept for finding a pilot's first pulse

struct TwoWidthDecoder {
    enum class Phase : uint8_t { kSeek, kPilot, kSync, kBytes };

    const TwoWidthFamily* family = nullptr;
    BlockFormat* format = nullptr;
    ScanEvents* events = nullptr;

    Phase phase = Phase::kSeek;
    uint32_t bits = 0;        // the last bits, as the family shifts them in
    uint32_t bit_count = 0;   // bits of the current byte (after the lock)
    uint32_t seek_pulses = 0;  // pulses since the last break, up to 8
    uint32_t pilot_bytes = 0;
    size_t sync_index = 0;
    bool extended = false;  // the pilot's start was looked for behind the lock
    // Running widths of the short and the long pulse, in 256ths of a TAP unit.
    int32_t width256[2] = {};  // short, long
    int32_t threshold256 = 0;
    uint64_t pulses = 0;  // pulses seen: the number of the next one
    uint64_t pilot_start = 0;  // pulse number of the pilot's first pulse
    size_t pilot_offset = 0;
    uint32_t pilot_cycles = 0;
    uint32_t last_byte_end = 0;  // tape time where the block's last whole byte ended
    const PulseWindow* window = nullptr;
    uint8_t in_range[256] = {};   // by width in TAP units: the width, or 0 where it ends a block
    uint8_t seek_bits[256] = {};  // by width in TAP units: the bit at the nominal threshold
};

void start_two_width_decoder(TwoWidthDecoder* decoder, const TwoWidthFamily* family,
                             BlockFormat* format, ScanEvents* events, const PulseWindow* window);
// Pulses number decoder->pulses up to `end` (exclusive) of the window, in
// file order; the window holds kDecoderHistory pulses before them too.
void two_width_steps(TwoWidthDecoder* decoder, uint64_t end);
void two_width_finish(TwoWidthDecoder* decoder, size_t end_offset);
