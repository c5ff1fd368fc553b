// The line the device expects (115200 baud, 8N1, no flow control, DTR and
// RTS raised) and the time-outs that let the exchange wait in bounded steps.
#pragma once

#include "platform/platform.h"

inline constexpr LineSettings kLineSettings{
    .baud_rate = 115200,
    .binary = true,
    .parity_check = false,
    .out_cts_flow = false,
    .out_dsr_flow = false,
    .dtr_control = 1,
    .dsr_sensitivity = false,
    .tx_continue_on_xoff = true,
    .out_x = false,
    .in_x = false,
    .error_char = false,
    .null_discard = false,
    .rts_control = 1,
    .abort_on_error = false,
    .xon_limit = 32768,
    .xoff_limit = 20,
    .byte_size = 8,
    .parity = 0,
    .stop_bits = 0,
};

// A request read (1 byte) gives up after 501 ms of silence; a burst of text
// is taken as one read, ending 250 ms after its last byte.
inline constexpr PortTimeouts kPortTimeouts{
    .read_interval = 250,
    .read_total_multiplier = 1,
    .read_total_constant = 500,
    .write_total_multiplier = 1,
    .write_total_constant = 2500,
};
