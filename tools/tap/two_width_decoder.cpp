#include "two_width_decoder.h"

#include <algorithm>

#include "scan_events.h"

namespace {

using Phase = TwoWidthDecoder::Phase;

// The pulse's width in TAP units, 0 when it ends a block.
uint32_t in_range_units(const TwoWidthDecoder* d, const Pulse& pulse) {
    return d->in_range[width_index(pulse)];
}

bool one_is_long(const TwoWidthDecoder* d) { return d->family->one_pulse > d->family->zero_pulse; }

void reset_widths(TwoWidthDecoder* d) {
    const bool one_long = one_is_long(d);
    d->width256[0] = 256 * (one_long ? d->family->zero_pulse : d->family->one_pulse);
    d->width256[1] = 256 * (one_long ? d->family->one_pulse : d->family->zero_pulse);
    d->threshold256 = 256 * d->family->threshold;
}

void seek_again(TwoWidthDecoder* d) {
    d->phase = Phase::kSeek;
    d->bits = 0;
    d->seek_pulses = 0;
    reset_widths(d);
}

bool is_long(const TwoWidthDecoder* d, uint32_t units) {
    return 256 * static_cast<int32_t>(units) > d->threshold256;
}

uint32_t bit_of(const TwoWidthDecoder* d, uint32_t units) {
    return static_cast<uint32_t>(is_long(d, units) == one_is_long(d));
}

void shift_in(TwoWidthDecoder* d, uint32_t bit) {
    d->bits = d->family->msb_first ? (d->bits << 1 | bit) : (d->bits >> 1 | bit << 7);
}

// The loader follows the tape's speed: so do the widths it compares with.
void follow_speed(TwoWidthDecoder* d, uint32_t units) {
    int32_t& width = d->width256[is_long(d, units) ? 1 : 0];
    width += (256 * static_cast<int32_t>(units) - width) >> 6;
}

// Once a byte: stray pulses are off by a share of their width, and the
// split that leaves both widths the same share of room is their harmonic
// mean.
void move_threshold(TwoWidthDecoder* d) {
    const int64_t s = d->width256[0];
    const int64_t l = d->width256[1];
    d->threshold256 = static_cast<int32_t>(2 * s * l / (s + l));
}

uint8_t last_byte(const TwoWidthDecoder* d) { return static_cast<uint8_t>(d->bits); }

// The pulses decoded as whole bytes, ending just before pulse number `end`:
// is it the pilot byte? Uses the widths learned since the lock.
bool pilot_byte_before(const TwoWidthDecoder* d, uint64_t end) {
    uint32_t value = 0;
    for (uint64_t n = end - 8; n < end; ++n) {
        const uint32_t units = in_range_units(d, d->window->at(n));
        if (units == 0) return false;
        const uint32_t bit = bit_of(d, units);
        value = d->family->msb_first ? (value << 1 | bit) : (value >> 1 | bit << 7);
    }
    return static_cast<uint8_t>(value) == d->family->pilot_byte;
}

// The lock may come a byte or two late when the first pilot pulses stray
// from the nominal widths: look behind it with the widths learned since.
void find_pilot_start(TwoWidthDecoder* d) {
    d->extended = true;
    uint64_t start = d->pilot_start;
    const uint64_t oldest = d->pulses > kDecoderHistory ? d->pulses - kDecoderHistory : 0;
    while (start >= oldest + 8 && pilot_byte_before(d, start)) start -= 8;
    if (start == d->pilot_start) return;
    d->pilot_start = start;
    d->pilot_offset = d->window->at(start).offset;
    d->pilot_cycles = d->window->at(start).tape_cycles;
}

void claim(TwoWidthDecoder* d, size_t to) { d->events->claims.push_back({d->pilot_offset, to}); }

void take_pilot_byte(TwoWidthDecoder* d, const Pulse& pulse) {
    const uint8_t value = last_byte(d);
    if (d->phase == Phase::kPilot) {
        if (value == d->family->pilot_byte) {
            ++d->pilot_bytes;
            if (!d->extended && d->pilot_bytes == 4) find_pilot_start(d);
            return;
        }
        if (value == d->family->sync[0] && d->pilot_bytes >= d->family->min_pilot_bytes) {
            if (!d->extended) find_pilot_start(d);
            d->phase = Phase::kSync;
            d->sync_index = 1;
            return;
        }
        seek_again(d);
        return;
    }
    // Phase::kSync
    if (value != d->family->sync[d->sync_index]) {
        seek_again(d);
        return;
    }
    if (++d->sync_index < d->family->sync_length) return;
    d->phase = Phase::kBytes;
    d->last_byte_end = pulse.tape_cycles + pulse.cycles;
    d->format->block_started(d->pilot_offset, d->pilot_cycles);
}

void step(TwoWidthDecoder* d, const Pulse& pulse) {
    const uint32_t units = in_range_units(d, pulse);
    ++d->pulses;

    if (d->phase == Phase::kSeek) {
        // Most of a tape passes here, much of it pulses out of range:
        // without branches but for the lock, the bits looked up.
        const uint32_t bit = d->seek_bits[units];
        const uint32_t valid = 0u - static_cast<uint32_t>(units != 0);  // all ones or none
        shift_in(d, bit);
        d->bits &= valid;
        d->seek_pulses = std::min(d->seek_pulses + 1, 8u) & valid;
        if (d->seek_pulses == 8 && last_byte(d) == d->family->pilot_byte) {
            d->phase = Phase::kPilot;
            d->pilot_bytes = 1;
            d->bit_count = 0;
            d->extended = false;
            d->pilot_start = d->pulses - 8;
            d->pilot_offset = d->window->at(d->pilot_start).offset;
            d->pilot_cycles = d->window->at(d->pilot_start).tape_cycles;
        }
        return;
    }
    if (units == 0) {
        if (d->phase == Phase::kBytes) {
            d->format->block_broken(d->last_byte_end);
            claim(d, pulse.offset);
        }
        seek_again(d);
        return;
    }
    shift_in(d, bit_of(d, units));
    follow_speed(d, units);
    if (++d->bit_count < 8) return;
    d->bit_count = 0;
    move_threshold(d);
    if (d->phase != Phase::kBytes) {
        take_pilot_byte(d, pulse);
        return;
    }
    d->last_byte_end = pulse.tape_cycles + pulse.cycles;
    if (!d->format->take_byte(last_byte(d), d->last_byte_end)) {
        claim(d, pulse.offset);
        seek_again(d);
    }
}

}  // namespace

void start_two_width_decoder(TwoWidthDecoder* decoder, const TwoWidthFamily* family,
                             BlockFormat* format, ScanEvents* events, const PulseWindow* window) {
    *decoder = TwoWidthDecoder{};
    decoder->window = window;
    const bool one_long = family->one_pulse > family->zero_pulse;
    for (uint32_t units = 0; units < 256; ++units) {
        decoder->seek_bits[units] = static_cast<uint8_t>((units > family->threshold) == one_long);
    }
    decoder->family = family;
    for (uint32_t units = 1; units < 256; ++units) {
        const bool in_range = units >= family->min_pulse && units <= family->max_pulse;
        decoder->in_range[units] = static_cast<uint8_t>(in_range ? units : 0);
    }
    decoder->format = format;
    decoder->events = events;
    seek_again(decoder);
}

void two_width_steps(TwoWidthDecoder* decoder, uint64_t end) {
    while (decoder->pulses < end) step(decoder, decoder->window->at(decoder->pulses));
}

void two_width_finish(TwoWidthDecoder* decoder, size_t end_offset) {
    if (decoder->phase == Phase::kBytes) {
        decoder->format->block_broken(decoder->last_byte_end);
        claim(decoder, end_offset);
    }
    seek_again(decoder);
}
