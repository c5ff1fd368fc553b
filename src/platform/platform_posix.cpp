// POSIX backend of the platform layer (Linux, macOS, the BSDs).
//
// Exclusive opens use a non-blocking flock, which holds also against root,
// plus TIOCEXCL on terminals. Port time-outs are enforced with poll() and a
// monotonic clock, because termios' VTIME cannot express them.
#include "platform/platform.h"

#include <cerrno>
#include <csignal>
#include <ctime>

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace {

int descriptor(PlatformHandle handle) { return static_cast<int>(handle.value); }

PlatformHandle from_descriptor(int fd) {
    PlatformHandle handle;
    handle.value = fd;
    return handle;
}

// Milliseconds on a clock that never jumps.
int64_t now_ms() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

volatile sig_atomic_t interrupt_caught = 0;

void note_interrupt(int) { interrupt_caught = 1; }

// An interrupt that is being caught ends the wait as a time-out would.
int poll_once(int fd, short events, int64_t wait_ms, short* revents) {
    pollfd entry{fd, events, 0};
    int rc;
    do {
        if (interrupt_caught != 0) return 0;
        rc = poll(&entry, 1, static_cast<int>(wait_ms));
    } while (rc < 0 && errno == EINTR);
    *revents = entry.revents;
    return rc;
}

void sleep_ms(int64_t ms) {
    if (ms <= 0) return;
    timespec ts{static_cast<time_t>(ms / 1000), static_cast<long>((ms % 1000) * 1000000)};
    while (nanosleep(&ts, &ts) < 0 && errno == EINTR) {
    }
}

bool take_exclusive_lock(int fd) { return flock(fd, LOCK_EX | LOCK_NB) == 0; }

// Started with standard output (or input, or error) closed, the next open
// would take its number, and console text would be written into the port.
// Such a descriptor is moved above them.
int clear_of_standard_streams(int fd) {
    if (fd < 0 || fd > STDERR_FILENO) return fd;
    const int moved = fcntl(fd, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
    close(fd);
    return moved;
}

speed_t speed_for(uint32_t baud_rate) {
    switch (baud_rate) {
        case 9600: return B9600;
        case 19200: return B19200;
        case 38400: return B38400;
        case 57600: return B57600;
        default: return B115200;
    }
}

}  // namespace

void platform_prepare_process() { signal(SIGPIPE, SIG_IGN); }

void platform_catch_interrupt() {
    struct sigaction action {};
    action.sa_handler = note_interrupt;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;  // no restart: a blocking read must end with EINTR
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

bool platform_interrupt_caught() { return interrupt_caught != 0; }

PlatformHandle platform_open_file(const char* path) {
    int fd = clear_of_standard_streams(open(path, O_RDONLY | O_CLOEXEC));
    if (fd < 0) return PlatformHandle{};
    struct stat info {};
    if (fstat(fd, &info) != 0 || S_ISDIR(info.st_mode) || !take_exclusive_lock(fd)) {
        close(fd);
        return PlatformHandle{};
    }
    return from_descriptor(fd);
}

IoResult platform_read_file(PlatformHandle file, void* buffer, uint32_t count) {
    IoResult result{true, 0};
    auto* bytes = static_cast<unsigned char*>(buffer);
    // A regular file gives everything in one call; the loop only matters for
    // the odd file system that hands out less.
    while (result.count < count) {
        ssize_t got = read(descriptor(file), bytes + result.count, count - result.count);
        if (got < 0) {
            if (errno == EINTR) continue;
            result.ok = false;
            break;
        }
        if (got == 0) break;
        result.count += static_cast<uint32_t>(got);
    }
    return result;
}

bool platform_file_size(PlatformHandle file, uint32_t* size) {
    struct stat info {};
    if (fstat(descriptor(file), &info) != 0) return false;
    uint32_t low = static_cast<uint32_t>(static_cast<uint64_t>(info.st_size) & 0xFFFFFFFFu);
    if (low == 0xFFFFFFFFu) return false;
    *size = low;
    return true;
}

bool platform_seek_from_start(PlatformHandle file, int32_t distance) {
    if (distance < 0) return false;
    return lseek(descriptor(file), static_cast<off_t>(distance), SEEK_SET) >= 0;
}

void platform_close(PlatformHandle handle) {
    if (!platform_handle_valid(handle)) return;
    // The exclusive-use mark outlives our descriptor while any other program
    // keeps the terminal open, and would then turn away every later opener
    // but root: take it off again.
    if (isatty(descriptor(handle))) ioctl(descriptor(handle), TIOCNXCL);
    close(descriptor(handle));
}

PlatformPort platform_open_port(const char* name) {
    PlatformPort port;
    int fd = clear_of_standard_streams(open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (fd < 0) return port;
    struct stat info {};
    const bool usable = fstat(fd, &info) == 0 && !S_ISDIR(info.st_mode);
    // A device that is neither a line nor a file (/dev/null) is shared by
    // nature; locking it would only stand in the way of other programs.
    const bool lockable = S_ISREG(info.st_mode) || isatty(fd) != 0;
    if (!usable || (lockable && !take_exclusive_lock(fd))) {
        close(fd);
        return port;
    }
    port.handle = from_descriptor(fd);
    if (isatty(fd)) {
        // Writes go through a handle of their own that never blocks, so that
        // the read handle can be made to wait in the kernel (see
        // platform_apply_timeouts) while writes keep their time-out.
        const int write_fd =
            clear_of_standard_streams(open(name, O_WRONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
        if (write_fd >= 0) port.write_handle = from_descriptor(write_fd);
        ioctl(fd, TIOCEXCL);
    }
    return port;
}

void platform_apply_line_settings(PlatformPort* port, const LineSettings& settings) {
    int fd = descriptor(port->handle);
    termios tio{};
    if (tcgetattr(fd, &tio) != 0) return;  // not a terminal: used as it is

    // Raw bytes both ways: no echo, no line editing, no signals, no CR/NL
    // translation, no stripping or marking.
    tio.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR |
                                          ICRNL | IXANY);
    tio.c_oflag &= ~static_cast<tcflag_t>(OPOST);
    tio.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN);

    if (settings.parity_check) {
        tio.c_iflag |= INPCK;
    } else {
        tio.c_iflag &= ~static_cast<tcflag_t>(INPCK);
    }
    if (settings.out_x) {
        tio.c_iflag |= IXON;
    } else {
        tio.c_iflag &= ~static_cast<tcflag_t>(IXON);
    }
    if (settings.in_x) {
        tio.c_iflag |= IXOFF;
    } else {
        tio.c_iflag &= ~static_cast<tcflag_t>(IXOFF);
    }

    tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS | HUPCL);
    switch (settings.byte_size) {
        case 5: tio.c_cflag |= CS5; break;
        case 6: tio.c_cflag |= CS6; break;
        case 7: tio.c_cflag |= CS7; break;
        default: tio.c_cflag |= CS8; break;
    }
    if (settings.parity != 0) tio.c_cflag |= PARENB;
    if (settings.stop_bits != 0) tio.c_cflag |= CSTOPB;
    if (settings.out_cts_flow || settings.rts_control == 2) tio.c_cflag |= CRTSCTS;
    // Modem lines ignored unless DSR is to be watched; receiver on.
    tio.c_cflag |= CREAD;
    if (settings.out_dsr_flow || settings.dsr_sensitivity) {
        tio.c_cflag &= ~static_cast<tcflag_t>(CLOCAL);
    } else {
        tio.c_cflag |= CLOCAL;
    }
    cfsetispeed(&tio, speed_for(settings.baud_rate));
    cfsetospeed(&tio, speed_for(settings.baud_rate));
    tcsetattr(fd, TCSANOW, &tio);

    int raise = 0;
    int lower = 0;
    (settings.dtr_control == 1 ? raise : lower) |= TIOCM_DTR;
    (settings.rts_control == 1 ? raise : lower) |= TIOCM_RTS;
    // Pseudo-terminals have no modem lines; their refusal is harmless.
    if (raise != 0) ioctl(fd, TIOCMBIS, &raise);
    if (lower != 0) ioctl(fd, TIOCMBIC, &lower);
}

void platform_apply_timeouts(PlatformPort* port, const PortTimeouts& timeouts) {
    port->timeouts = timeouts;
    port->kernel_read_timeout = 0;
    if (!platform_handle_valid(port->write_handle)) return;

    // A one-byte read, the request the device sends for every block, then
    // costs one blocking read: the terminal itself returns the byte at once
    // or nothing after VTIME, in tenths of a second.
    const int fd = descriptor(port->handle);
    uint32_t tenths = (timeouts.read_total_multiplier + timeouts.read_total_constant + 50) / 100;
    if (tenths < 1) tenths = 1;
    if (tenths > 255) tenths = 255;
    termios tio{};
    if (tcgetattr(fd, &tio) != 0) return;
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = static_cast<cc_t>(tenths);
    if (tcsetattr(fd, TCSANOW, &tio) != 0) return;
    const int flags = fcntl(fd, F_GETFL);
    if (flags < 0 || fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) return;
    port->kernel_read_timeout = tenths * 100;
}

namespace {

// One byte with the terminal's own time-out: a single system call whether
// or not the byte is already there.
IoResult read_one_byte_in_kernel(PlatformPort* port, void* buffer) {
    const int fd = descriptor(port->handle);
    const int64_t start = now_ms();
    for (;;) {
        const ssize_t got = read(fd, buffer, 1);
        if (got == 1) return IoResult{true, 1};
        if (got < 0 && errno == EINTR) {
            if (interrupt_caught != 0) return IoResult{true, 0};
            continue;
        }
        if (got == 0 && now_ms() - start >= port->kernel_read_timeout / 2) {
            return IoResult{true, 0};  // the time-out ran out on a quiet line
        }
        // An error, or an end of file long before the time-out: a terminal
        // that has hung up answers every read at once with nothing.
        return IoResult{false, 0};
    }
}

// Any other read: poll() enforces the total and the interval time-outs.
IoResult read_with_deadlines(PlatformPort* port, void* buffer, uint32_t count) {
    const int fd = descriptor(port->handle);
    const PortTimeouts& t = port->timeouts;
    auto* bytes = static_cast<unsigned char*>(buffer);
    IoResult result{true, 0};

    const int64_t total_deadline = now_ms() +
                                   static_cast<int64_t>(count) * t.read_total_multiplier +
                                   t.read_total_constant;
    int64_t deadline = total_deadline;
    while (result.count < count) {
        const int64_t now = now_ms();
        if (now >= deadline) break;  // time-out: success with what came
        short revents = 0;
        const int rc = poll_once(fd, POLLIN, deadline - now, &revents);
        if (rc < 0 || (revents & POLLNVAL) != 0) {
            result.ok = false;
            break;
        }
        if (rc == 0) break;
        // Readable or hung up: the read tells which.
        const ssize_t got = read(fd, bytes + result.count, count - result.count);
        if (got > 0) {
            result.count += static_cast<uint32_t>(got);
            if (t.read_interval != 0) {
                const int64_t interval_deadline = now_ms() + t.read_interval;
                deadline = interval_deadline < total_deadline ? interval_deadline : total_deadline;
            }
            continue;
        }
        if (got < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)) continue;
        // A terminal that has hung up fails isatty() with EIO: that is the
        // hang-up below, not a file.
        if (got == 0 && isatty(fd) == 0 && errno != EIO) {
            // A file or /dev/null named as the port: nothing will ever come,
            // but the caller must still see the full time-out, not a spin.
            sleep_ms(deadline - now_ms());
            break;
        }
        // End of file on a terminal or a read error: the line has hung up.
        result.ok = false;
        break;
    }
    return result;
}

}  // namespace

IoResult platform_read_port(PlatformPort* port, void* buffer, uint32_t count) {
    if (count == 0) return IoResult{true, 0};
    if (count == 1 && port->kernel_read_timeout != 0) return read_one_byte_in_kernel(port, buffer);
    return read_with_deadlines(port, buffer, count);
}

IoResult platform_write_port(PlatformPort* port, const void* buffer, uint32_t count) {
    const int fd = descriptor(platform_handle_valid(port->write_handle) ? port->write_handle
                                                                         : port->handle);
    const PortTimeouts& t = port->timeouts;
    const auto* bytes = static_cast<const unsigned char*>(buffer);
    IoResult result{true, 0};
    // The clock is read only once the line pushes back: a write that goes
    // through at once, as nearly every block does, needs no deadline.
    int64_t deadline = -1;

    while (result.count < count) {
        ssize_t put = write(fd, bytes + result.count, count - result.count);
        if (put > 0) {
            result.count += static_cast<uint32_t>(put);
            continue;
        }
        if (put < 0 && errno == EINTR) continue;
        if (put < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
            result.ok = false;
            break;
        }
        const int64_t now = now_ms();
        if (deadline < 0) {
            deadline = now + static_cast<int64_t>(count) * t.write_total_multiplier +
                       t.write_total_constant;
        }
        if (now >= deadline) break;  // time-out: short count
        short revents = 0;
        int rc = poll_once(fd, POLLOUT, deadline - now, &revents);
        if (rc < 0 || (revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) {
            result.ok = false;
            break;
        }
    }
    return result;
}
