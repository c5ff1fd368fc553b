// What the player needs of the operating system: exclusive read-only files,
// and a serial port with line settings and read/write time-outs.
//
// One implementation per system (platform_posix.cpp, platform_win32.cpp);
// tests may link a scripted fake instead. A failure is told only by the
// returned value; no extended error code is ever asked for.
#pragma once

#include <cstdint>

// An open file or port. `value` is the system's own handle (a descriptor on
// POSIX, a HANDLE on Windows); kInvalidValue marks a failed open.
struct PlatformHandle {
    static constexpr intptr_t kInvalidValue = -1;
    intptr_t value = kInvalidValue;
};

inline bool platform_handle_valid(PlatformHandle handle) {
    return handle.value != PlatformHandle::kInvalidValue;
}

// Outcome of one read or write: the success flag and the number of bytes
// moved. The count is meaningful also when `ok` is false.
struct IoResult {
    bool ok = false;
    uint32_t count = 0;
};

// ---- Process -----------------------------------------------------------

// Called first thing in main. A reader of our output that has gone away
// must not end the run behind the device's back: printing then just fails
// and the exchange goes on.
void platform_prepare_process();

// From now on an interrupt (Ctrl-C, or a request to terminate; the
// console's control events on Windows) no longer ends the process: it is
// noted, and a port read under way ends as if its time-out had run out, so
// that the caller can close the port and say where it stopped. The classic
// player never calls this: an interrupt ends it in the system's own way.
void platform_catch_interrupt();
bool platform_interrupt_caught();

// ---- Files -------------------------------------------------------------

// Opens an existing file for reading, held exclusively (no other opener may
// read or write it while it is open). Directories do not open.
PlatformHandle platform_open_file(const char* path);

// One read of at most `count` bytes from the current position.
IoResult platform_read_file(PlatformHandle file, void* buffer, uint32_t count);

// The low 32 bits of the file's size. False when the size cannot be given;
// a size whose low 32 bits are all set counts as that failure too.
bool platform_file_size(PlatformHandle file, uint32_t* size);

// Positions the file `distance` bytes from its start. The distance is a
// signed 32-bit value, so negative distances (offsets of 2^31 or more) are
// refused. A position past the end of the file is no failure.
bool platform_seek_from_start(PlatformHandle file, int32_t distance);

// Closes a file or a port; the result is of no interest to the player.
void platform_close(PlatformHandle handle);

// ---- Serial port -------------------------------------------------------

// Line settings, named after the fields of the Windows device control block
// so that each backend maps them one to one onto what its system offers.
struct LineSettings {
    uint32_t baud_rate;
    bool binary;
    bool parity_check;
    bool out_cts_flow;
    bool out_dsr_flow;
    uint8_t dtr_control;  // 0 off, 1 raised, 2 handshake
    bool dsr_sensitivity;
    bool tx_continue_on_xoff;
    bool out_x;
    bool in_x;
    bool error_char;
    bool null_discard;
    uint8_t rts_control;  // 0 off, 1 raised, 2 handshake, 3 toggle
    bool abort_on_error;
    uint16_t xon_limit;
    uint16_t xoff_limit;
    uint8_t byte_size;
    uint8_t parity;     // 0 none
    uint8_t stop_bits;  // 0 one stop bit
};

// Time-outs in milliseconds. A read of n bytes returns when n bytes have
// come; once one byte has come, when `read_interval` passes without another;
// in any case after n * read_total_multiplier + read_total_constant. A write
// of n bytes may take n * write_total_multiplier + write_total_constant.
struct PortTimeouts {
    uint32_t read_interval;
    uint32_t read_total_multiplier;
    uint32_t read_total_constant;
    uint32_t write_total_multiplier;
    uint32_t write_total_constant;
};

// An open port. Backends that enforce the time-outs themselves keep them
// here; a backend that needs a second handle for writing (so that reads can
// wait in the kernel while writes still time out) keeps it in write_handle.
struct PlatformPort {
    PlatformHandle handle;
    PlatformHandle write_handle;  // invalid where `handle` serves both ways
    PortTimeouts timeouts{0, 0, 0, 0, 0};
    uint32_t kernel_read_timeout = 0;  // ms; nonzero when the system times out one-byte reads
};

// Opens the port named exactly as given, for reading and writing, held
// exclusively. Check the result with platform_handle_valid(port.handle).
PlatformPort platform_open_port(const char* name);

// Apply settings; a port that refuses them is used as it is, so no result.
void platform_apply_line_settings(PlatformPort* port, const LineSettings& settings);
void platform_apply_timeouts(PlatformPort* port, const PortTimeouts& timeouts);

// One read of at most `count` bytes under the port's time-outs. A time-out
// is a successful read with the bytes that came, possibly none. A port that
// has hung up gives a failed read, never an endless run of empty ones.
IoResult platform_read_port(PlatformPort* port, void* buffer, uint32_t count);

// One write of `count` bytes under the port's write time-out.
IoResult platform_write_port(PlatformPort* port, const void* buffer, uint32_t count);

inline void platform_close_port(PlatformPort* port) {
    if (platform_handle_valid(port->write_handle)) platform_close(port->write_handle);
    platform_close(port->handle);
}
