// The classic progress display: the tape time sent, on one console line.
#pragma once

#include "link/playback_sink.h"
#include "tape/buffer_time_meter.h"

// A sink that feeds every block sent to `meter`, started fresh once the
// handshake is done. The meter must outlive the playback.
PlaybackSink time_line_sink(BufferTimeMeter* meter);
