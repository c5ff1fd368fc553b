// Opening the port and then the tape, as every player does before the
// exchange, with the closing order its failures need.
#pragma once

#include "link/serial_link.h"
#include "tape/tape_image.h"

// Opens and configures the port, then opens and checks the TAP file. On a
// failure the stage that found it has printed its message, whatever was
// opened is closed again (the port first), and the result is false.
bool open_port_and_tape(const char* port_name, const char* tape_path, SerialLink* link,
                        TapeImage* tape);
