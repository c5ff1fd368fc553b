#include "pacer.h"

namespace {

SimClock::time_point after_seconds(SimClock::time_point start, double seconds) {
    return start + std::chrono::duration_cast<SimClock::duration>(
                       std::chrono::duration<double>(seconds));
}

SimClock::time_point tape_time_point(const Pacer& pacer, uint64_t cycles) {
    if (pacer.mode != PaceMode::kTape || !pacer.started) return SimClock::time_point{};
    return after_seconds(pacer.start, static_cast<double>(cycles) / kTapeClockHz / pacer.speed);
}

}  // namespace

uint64_t decode_pulses(PulseDecoder* decoder, const uint8_t* bytes, size_t count) {
    uint64_t cycles = 0;
    for (size_t i = 0; i < count; ++i) {
        const uint32_t b = bytes[i];
        switch (decoder->state) {
            case 0:
                if (b != 0) {
                    cycles += 8u * b;
                } else {
                    decoder->pending = 0;
                    decoder->state = 1;
                }
                break;
            case 1:
                decoder->pending = b;
                decoder->state = 2;
                break;
            case 2:
                decoder->pending |= b << 8;
                decoder->state = 3;
                break;
            default:
                decoder->pending |= b << 16;
                cycles += decoder->pending;
                decoder->state = 0;
                break;
        }
    }
    return cycles;
}

Pacer make_pacer(PaceMode mode, double speed) {
    Pacer pacer;
    pacer.mode = mode;
    pacer.speed = speed > 0 ? speed : 1.0;
    return pacer;
}

void pacer_request_sent(Pacer* pacer, SimClock::time_point now) {
    if (pacer->mode == PaceMode::kLine && !pacer->started) {
        pacer->started = true;
        pacer->start = now;
    }
}

void pacer_answer_received(Pacer* pacer, const uint8_t* bytes, size_t count, bool pulses,
                           SimClock::time_point now) {
    pacer->line_bytes += count;
    if (!pulses) return;
    if (pacer->mode == PaceMode::kTape && !pacer->started) {
        pacer->started = true;
        pacer->start = now;
    }
    pacer->cycles_before_last = pacer->cycles;
    pacer->cycles += decode_pulses(&pacer->decoder, bytes, count);
}

SimClock::time_point pacer_next_request_at(const Pacer& pacer) {
    switch (pacer.mode) {
        case PaceMode::kFast:
            break;
        case PaceMode::kLine:
            if (!pacer.started) break;
            return after_seconds(pacer.start, static_cast<double>(pacer.line_bytes) *
                                                  kLineBitsPerByte / kLineBitsPerSecond);
        case PaceMode::kTape:
            return tape_time_point(pacer, pacer.cycles_before_last);
    }
    return SimClock::time_point{};
}

SimClock::time_point pacer_played_out_at(const Pacer& pacer) {
    return tape_time_point(pacer, pacer.cycles);
}
