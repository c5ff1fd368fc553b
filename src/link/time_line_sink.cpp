#include "link/time_line_sink.h"

namespace {

void start_fresh(void* context) { *static_cast<BufferTimeMeter*>(context) = BufferTimeMeter{}; }

void count_block(void* context, const uint8_t* block, uint32_t length) {
    feed(static_cast<BufferTimeMeter*>(context), block, length);
}

}  // namespace

PlaybackSink time_line_sink(BufferTimeMeter* meter) {
    PlaybackSink sink;
    sink.context = meter;
    sink.serving_started = start_fresh;
    sink.block_sent = count_block;
    return sink;
}
