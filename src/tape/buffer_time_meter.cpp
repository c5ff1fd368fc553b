#include "tape/buffer_time_meter.h"

#include <cstdio>

void count_cycles(BufferTimeMeter* meter, const uint8_t* block, uint32_t length) {
    uint32_t total = meter->total_cycles;
    uint8_t state = meter->decoder_state;
    uint32_t pending = meter->pending_count;
    for (uint32_t i = 0; i < length; ++i) {
        const uint32_t b = block[i];
        switch (state) {
            case 0:
                if (b != 0) {
                    total += 8 * b;
                } else {
                    pending = 0;
                    state = 1;
                }
                break;
            case 1:
                pending += b;
                state = 2;
                break;
            case 2:
                pending += b << 8;
                state = 3;
                break;
            default:
                pending += b << 16;
                total += pending;
                state = 0;
                break;
        }
    }
    meter->total_cycles = total;
    meter->decoder_state = state;
    meter->pending_count = pending;
}

void feed(BufferTimeMeter* meter, const uint8_t* block, uint32_t length) {
    count_cycles(meter, block, length);
    const uint32_t second = meter->total_cycles / kTapeClockHz;
    if (second == meter->last_second_shown) return;
    meter->last_second_shown = second;
    printf("\rBuffer time=%lu:%02lu ", static_cast<unsigned long>(second / 60),
           static_cast<unsigned long>(second % 60));
    // The line has no line break: make it show now.
    fflush(stdout);
}
