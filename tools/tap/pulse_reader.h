// Walks the pulses of a TAP file's data, as its version reads them.
#pragma once

#include <cstddef>
#include <cstdint>

// A pulse too long for one byte and of no stated length: version 0's zero byte.
inline constexpr uint32_t kOverflowPulseCycles = 256 * 8;

struct PulseReader {
    const uint8_t* data = nullptr;  // the whole file
    size_t size = 0;
    size_t position = 0;  // offset of the next pulse byte
    uint8_t version = 1;
};

struct Pulse {
    size_t offset = 0;  // where the pulse's first byte lies in the file
    uint32_t cycles = 0;
    bool long_count = false;  // written as a zero byte (and, from version 1, a 24-bit count)
    // The player's tape time at `offset`: every count it reads that begins
    // before it (player_tally.h). Set by the stream below, 0 from next_pulse.
    uint32_t tape_cycles = 0;
};

PulseReader make_pulse_reader(const uint8_t* file, size_t size, uint8_t version);

// False at the end of the data; a long count cut short by the end of the
// file is no pulse.
bool next_pulse(PulseReader* reader, Pulse* pulse);

enum class PulseClass : uint8_t { kShort, kMedium, kLong, kOther };

// Tolerant ranges around the ROM loader's nominal $30, $42 and $56, looked
// up by the pulse's rounded width: every pulse of a tape is classified.
struct PulseClassTable {
    PulseClass by_units[256];
    constexpr PulseClassTable() : by_units() {
        for (uint32_t value = 0; value < 256; ++value) {
            by_units[value] = value >= 0x24 && value <= 0x36   ? PulseClass::kShort
                              : value >= 0x37 && value <= 0x49 ? PulseClass::kMedium
                              : value >= 0x4A && value <= 0x64 ? PulseClass::kLong
                                                               : PulseClass::kOther;
        }
    }
};
inline constexpr PulseClassTable kPulseClasses;

// A pulse's width in TAP units, 0 for a long count and anything over 255:
// an index into a table by width, without a branch.
inline uint32_t width_index(const Pulse& pulse) {
    const uint32_t units = pulse.cycles >> 3;
    return (pulse.long_count || units > 255) ? 0 : units;
}

inline PulseClass classify_pulse(uint32_t cycles) {
    const uint32_t value = (cycles + 4) / 8;  // in the units of a one-byte pulse
    return kPulseClasses.by_units[value < 256 ? value : 255];
}

// The last pulses, in a ring all the detectors read: a detector that finds
// a pilot late looks back at where it began.
struct PulseWindow {
    static constexpr size_t kSize = 4096;  // a power of two
    Pulse ring[kSize];
    const Pulse& at(uint64_t n) const { return ring[n % kSize]; }
};

// The same pulses fed a chunk at a time, each with the player's tape time,
// so that a file of any size is read with a fixed buffer. The player reads
// every zero byte with the three after it as a count, and its meter adds a
// count once all four bytes have gone out; a version 0 file reads the zero
// byte as one overflow pulse. Both readings run side by side.
struct PulseStream {
    uint8_t version = 1;
    size_t offset = 20;  // file offset of the next byte fed (after the TAP header)
    uint32_t player_skip = 0;  // bytes of the player's current count still to come
    uint32_t player_count = 0;
    uint32_t pulse_skip = 0;   // the same for a version-1 long count
    uint32_t pulse_count = 0;
    Pulse pending;             // the long count being read
    uint32_t total_cycles = 0;
    uint32_t one_byte_pulses = 0;
    uint32_t long_counts = 0;
};

// Feeds the bytes from stream->offset on; calls sink(pulse) for every pulse,
// in file order. A count cut short by the end of the file adds nothing and
// is no pulse.
template <class Sink>
void feed_pulse_stream(PulseStream* stream, const uint8_t* data, size_t size, Sink& sink) {
    Pulse pulse;
    // Version 1 and up: the player's reading and the pulses' agree, and one
    // loop does for both. Version 0 takes the loop after it.
    if (stream->version != 0) {
        for (size_t i = 0; i < size; ++i) {
            const uint8_t b = data[i];
            if (stream->pulse_skip > 0) {
                stream->pulse_count |= static_cast<uint32_t>(b) << (8 * (3 - stream->pulse_skip));
                if (--stream->pulse_skip == 0) {
                    stream->total_cycles += stream->pulse_count;
                    ++stream->long_counts;
                    stream->pending.cycles = stream->pulse_count;
                    sink(stream->pending);
                }
                continue;
            }
            pulse.offset = stream->offset + i;
            pulse.tape_cycles = stream->total_cycles;
            if (b != 0) {
                pulse.cycles = 8u * b;
                pulse.long_count = false;
                stream->total_cycles += pulse.cycles;
                ++stream->one_byte_pulses;
                sink(pulse);
                continue;
            }
            pulse.long_count = true;
            stream->pending = pulse;
            stream->pulse_count = 0;
            stream->pulse_skip = 3;
        }
        stream->offset += size;
        return;
    }
    for (size_t i = 0; i < size; ++i) {
        const uint8_t b = data[i];
        const uint32_t before = stream->total_cycles;
        if (stream->player_skip > 0) {
            stream->player_count |= static_cast<uint32_t>(b) << (8 * (3 - stream->player_skip));
            if (--stream->player_skip == 0) {
                stream->total_cycles += stream->player_count;
                ++stream->long_counts;
            }
        } else if (b != 0) {
            stream->total_cycles += 8u * b;
            ++stream->one_byte_pulses;
        } else {
            stream->player_count = 0;
            stream->player_skip = 3;
        }
        if (stream->pulse_skip > 0) {
            stream->pulse_count |= static_cast<uint32_t>(b) << (8 * (3 - stream->pulse_skip));
            if (--stream->pulse_skip == 0) {
                stream->pending.cycles = stream->pulse_count;
                sink(stream->pending);
            }
            continue;
        }
        pulse.offset = stream->offset + i;
        pulse.tape_cycles = before;
        pulse.long_count = b == 0;
        if (b != 0) {
            pulse.cycles = 8u * b;
        } else if (stream->version == 0) {
            pulse.cycles = kOverflowPulseCycles;
        } else {
            stream->pending = pulse;
            stream->pulse_count = 0;
            stream->pulse_skip = 3;
            continue;
        }
        sink(pulse);
    }
    stream->offset += size;
}
