// The exchange with the device: handshake, then serving its requests until
// it reports success or failure.
#pragma once

#include <cstdint>

#include "link/playback_sink.h"
#include "link/serial_link.h"
#include "tape/tape_image.h"

// Runs the whole exchange with the classic time line, closes the port and
// then the TAP file on every way out, and gives the exit status: 0 after
// the device's success notice, 1 otherwise.
int run_playback(SerialLink* link, TapeImage* tape, uint32_t start_offset);

// The same exchange, its progress told to `sink`. The exit status may also
// be kPlaybackStopped when the sink asked to stop.
int run_playback_to(SerialLink* link, TapeImage* tape, uint32_t start_offset,
                    const PlaybackSink& sink);
