#include "pty_pair.h"

#include <cerrno>
#include <cstdlib>

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace {

constexpr int kSettleMs = 50;

bool set_flags(int fd, int fd_flags, int status_flags) {
    const int fd_now = fcntl(fd, F_GETFD);
    const int status_now = fcntl(fd, F_GETFL);
    return fd_now >= 0 && status_now >= 0 && fcntl(fd, F_SETFD, fd_now | fd_flags) == 0 &&
           fcntl(fd, F_SETFL, status_now | status_flags) == 0;
}

}  // namespace

bool open_pty_pair(PtyPair* pty, std::string* error) {
    pty->master = posix_openpt(O_RDWR | O_NOCTTY);
    if (pty->master < 0) {
        *error = "cannot create a pseudo-terminal";
        return false;
    }
    // Neither end may leak into the player that --run starts: it must open
    // the slave by name like any other port.
    if (!set_flags(pty->master, FD_CLOEXEC, O_NONBLOCK) || grantpt(pty->master) != 0 ||
        unlockpt(pty->master) != 0) {
        *error = "cannot set up the pseudo-terminal";
        close_pty_pair(pty);
        return false;
    }
    const char* name = ptsname(pty->master);
    if (name == nullptr) {
        *error = "cannot name the pseudo-terminal's slave";
        close_pty_pair(pty);
        return false;
    }
    pty->slave_path = name;
    pty->slave = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (pty->slave < 0) {
        *error = "cannot open " + pty->slave_path;
        close_pty_pair(pty);
        return false;
    }
    // Raw before the first byte is sent: a cooked slave would echo the
    // greeting back to the master and turn "\r" into "\n".
    termios tio{};
    if (tcgetattr(pty->slave, &tio) != 0) {
        *error = "cannot read the settings of " + pty->slave_path;
        close_pty_pair(pty);
        return false;
    }
    cfmakeraw(&tio);
    if (tcsetattr(pty->slave, TCSANOW, &tio) != 0) {
        *error = "cannot make " + pty->slave_path + " raw";
        close_pty_pair(pty);
        return false;
    }
    return true;
}

void hang_up_pty(PtyPair* pty) {
    if (pty->master >= 0) close(pty->master);
    pty->master = -1;
}

void close_pty_pair(PtyPair* pty) {
    hang_up_pty(pty);
    if (pty->slave >= 0) close(pty->slave);
    pty->slave = -1;
}

bool pty_write(const PtyPair& pty, const void* bytes, size_t count,
               SimClock::time_point deadline) {
    const auto* next = static_cast<const uint8_t*>(bytes);
    size_t done = 0;
    while (done < count) {
        if (pty.master < 0) return false;
        const ssize_t put = write(pty.master, next + done, count - done);
        if (put > 0) {
            done += static_cast<size_t>(put);
            continue;
        }
        if (put < 0 && errno == EINTR) continue;
        if (put < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return false;
        const int left = ms_until(deadline);
        if (left == 0) return false;
        pollfd entry{pty.master, POLLOUT, 0};
        if (poll(&entry, 1, left) < 0 && errno != EINTR) return false;
    }
    return true;
}

PtyReadResult pty_read(const PtyPair& pty, uint8_t* buffer, size_t count,
                       SimClock::time_point deadline, int quiet_ms, int abort_fd) {
    PtyReadResult result;
    if (pty.master < 0) return result;
    while (result.count < count) {
        const ssize_t got = read(pty.master, buffer + result.count, count - result.count);
        if (got > 0) {
            result.count += static_cast<size_t>(got);
            continue;
        }
        if (got < 0 && errno == EINTR) continue;
        // With the slave held open, EOF or EIO mean the line itself failed.
        if (got == 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) {
            result.end = ReadEnd::kFailed;
            return result;
        }
        int wait = ms_until(deadline);
        if (wait == 0) {
            result.end = ReadEnd::kTimedOut;
            return result;
        }
        if (result.count > 0 && quiet_ms < wait) wait = quiet_ms;
        pollfd entries[2] = {{pty.master, POLLIN, 0}, {abort_fd, POLLIN, 0}};
        const int rc = poll(entries, 2, wait);
        if (rc < 0) {
            if (errno == EINTR) continue;
            result.end = ReadEnd::kFailed;
            return result;
        }
        if ((entries[0].revents & POLLIN) != 0) continue;
        if ((entries[0].revents & (POLLERR | POLLNVAL)) != 0) {
            result.end = ReadEnd::kFailed;
            return result;
        }
        if ((entries[1].revents & POLLIN) != 0) {
            result.end = ReadEnd::kAborted;
            return result;
        }
        if (rc == 0 && result.count > 0 && ms_until(deadline) > 0) {
            result.end = ReadEnd::kQuiet;
            return result;
        }
    }
    result.end = ReadEnd::kComplete;
    return result;
}

bool pty_wait_drained(const PtyPair& pty, SimClock::time_point deadline, int abort_fd) {
    // The terminal layer hands written bytes on to the reader's queue a
    // moment later, so a queue seen empty at once proves nothing.
    if (!wait_until(deadline_after_ms(kSettleMs), abort_fd)) return false;
    for (;;) {
        int unread = 0;
        if (ioctl(pty.slave, FIONREAD, &unread) != 0 || unread == 0) return true;
        if (ms_until(deadline) == 0) return false;
        const SimClock::time_point nap = deadline_after_ms(5);
        if (!wait_until(nap < deadline ? nap : deadline, abort_fd)) return false;
    }
}
