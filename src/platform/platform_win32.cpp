// Windows backend of the platform layer.
//
// Every call is synchronous (no overlapped records). The port's time-outs
// are handed to the driver with SetCommTimeouts, so a port read is a single
// ReadFile and the driver decides when it ends.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cstring>

#include "platform/platform.h"

namespace {

HANDLE native(PlatformHandle handle) { return reinterpret_cast<HANDLE>(handle.value); }

PlatformHandle from_native(HANDLE handle) {
    PlatformHandle result;
    // INVALID_HANDLE_VALUE is -1, the same as kInvalidValue.
    result.value = reinterpret_cast<intptr_t>(handle);
    return result;
}

// Sets the DCB fields the line needs; every other field, the reserved bits
// included, stays as the port reported it.
void set_line_fields(DCB* dcb, const LineSettings& settings) {
    dcb->BaudRate = settings.baud_rate;
    dcb->fBinary = settings.binary ? 1u : 0u;
    dcb->fParity = settings.parity_check ? 1u : 0u;
    dcb->fOutxCtsFlow = settings.out_cts_flow ? 1u : 0u;
    dcb->fOutxDsrFlow = settings.out_dsr_flow ? 1u : 0u;
    dcb->fDtrControl = settings.dtr_control & 3u;
    dcb->fDsrSensitivity = settings.dsr_sensitivity ? 1u : 0u;
    dcb->fTXContinueOnXoff = settings.tx_continue_on_xoff ? 1u : 0u;
    dcb->fOutX = settings.out_x ? 1u : 0u;
    dcb->fInX = settings.in_x ? 1u : 0u;
    dcb->fErrorChar = settings.error_char ? 1u : 0u;
    dcb->fNull = settings.null_discard ? 1u : 0u;
    dcb->fRtsControl = settings.rts_control & 3u;
    dcb->fAbortOnError = settings.abort_on_error ? 1u : 0u;
    dcb->XonLim = settings.xon_limit;
    dcb->XoffLim = settings.xoff_limit;
    dcb->ByteSize = settings.byte_size;
    dcb->Parity = settings.parity;
    dcb->StopBits = settings.stop_bits;
}

volatile LONG interrupt_caught = 0;
HANDLE reading_thread = nullptr;

// Runs on a thread of its own: notes the event and ends a port read that
// the main thread is waiting in, as its time-out would.
BOOL WINAPI note_interrupt(DWORD event) {
    switch (event) {
        case CTRL_C_EVENT:
        case CTRL_BREAK_EVENT:
        case CTRL_CLOSE_EVENT:
            InterlockedExchange(&interrupt_caught, 1);
            if (reading_thread != nullptr) CancelSynchronousIo(reading_thread);
            return TRUE;
        default:
            return FALSE;
    }
}

}  // namespace

// The record handed between GetCommConfig and SetCommConfig is 52 bytes.
static_assert(sizeof(COMMCONFIG) == 52, "COMMCONFIG layout differs from the one the port expects");

// Windows has no signal for a broken pipe: a failed write just fails.
void platform_prepare_process() {}

void platform_catch_interrupt() {
    DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &reading_thread,
                    0, FALSE, DUPLICATE_SAME_ACCESS);
    SetConsoleCtrlHandler(note_interrupt, TRUE);
}

bool platform_interrupt_caught() { return InterlockedCompareExchange(&interrupt_caught, 0, 0) != 0; }

PlatformHandle platform_open_file(const char* path) {
    return from_native(CreateFileA(path, GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL, nullptr));
}

IoResult platform_read_file(PlatformHandle file, void* buffer, uint32_t count) {
    DWORD got = 0;
    IoResult result;
    result.ok = ReadFile(native(file), buffer, count, &got, nullptr) != 0;
    result.count = got;
    return result;
}

bool platform_file_size(PlatformHandle file, uint32_t* size) {
    const DWORD low = GetFileSize(native(file), nullptr);
    if (low == INVALID_FILE_SIZE) return false;
    *size = low;
    return true;
}

bool platform_seek_from_start(PlatformHandle file, int32_t distance) {
    // Without a high part the distance is signed: a negative one is refused.
    return SetFilePointer(native(file), distance, nullptr, FILE_BEGIN) != INVALID_SET_FILE_POINTER;
}

void platform_close(PlatformHandle handle) {
    if (platform_handle_valid(handle)) CloseHandle(native(handle));
}

PlatformPort platform_open_port(const char* name) {
    PlatformPort port;
    // Attributes 0: not overlapped, so every later call on the port waits.
    port.handle = from_native(CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                          OPEN_EXISTING, 0, nullptr));
    return port;
}

void platform_apply_line_settings(PlatformPort* port, const LineSettings& settings) {
    const HANDLE handle = native(port->handle);
    COMMCONFIG config;
    DWORD size = sizeof(config);
    if (!GetCommConfig(handle, &config, &size)) {
        // Nothing reported (and the size may name what the port would need):
        // start from a cleared record of our own size.
        std::memset(&config, 0, sizeof(config));
        config.dwSize = sizeof(config);
        config.dcb.DCBlength = sizeof(config.dcb);
        size = sizeof(config);
    }
    // SetCommConfig is never told of more bytes than the record holds.
    if (size > sizeof(config)) size = sizeof(config);
    set_line_fields(&config.dcb, settings);
    SetCommConfig(handle, &config, size);
}

void platform_apply_timeouts(PlatformPort* port, const PortTimeouts& timeouts) {
    const HANDLE handle = native(port->handle);
    COMMTIMEOUTS record{};
    GetCommTimeouts(handle, &record);
    record.ReadIntervalTimeout = timeouts.read_interval;
    record.ReadTotalTimeoutMultiplier = timeouts.read_total_multiplier;
    record.ReadTotalTimeoutConstant = timeouts.read_total_constant;
    record.WriteTotalTimeoutMultiplier = timeouts.write_total_multiplier;
    record.WriteTotalTimeoutConstant = timeouts.write_total_constant;
    port->timeouts = timeouts;
    // A handle that takes no time-outs (a file named as the port) answers
    // every read at once; the read below must then wait in their place.
    port->kernel_read_timeout =
        SetCommTimeouts(handle, &record) ? timeouts.read_total_multiplier + timeouts.read_total_constant
                                         : 0;
}

IoResult platform_read_port(PlatformPort* port, void* buffer, uint32_t count) {
    const ULONGLONG start = GetTickCount64();
    IoResult result = platform_read_file(port->handle, buffer, count);
    if (platform_interrupt_caught()) {
        result.ok = true;  // a read cut short by the interrupt is a time-out
        return result;
    }
    if (!result.ok || result.count != 0 || count == 0) return result;

    // Nothing came. With the time-outs in force that takes their full span;
    // nothing at once means either a handle that takes no time-outs (a file
    // named as the port), which must then wait in their place, or a line that
    // has hung up, which must fail rather than be read again in a busy loop.
    const PortTimeouts& t = port->timeouts;
    const DWORD limit = count * t.read_total_multiplier + t.read_total_constant;
    if (port->kernel_read_timeout == 0) {
        Sleep(limit);
    } else if (GetTickCount64() - start < limit / 2) {
        result.ok = false;
    }
    return result;
}

IoResult platform_write_port(PlatformPort* port, const void* buffer, uint32_t count) {
    DWORD put = 0;
    IoResult result;
    result.ok = WriteFile(native(port->handle), buffer, count, &put, nullptr) != 0;
    result.count = put;
    return result;
}
