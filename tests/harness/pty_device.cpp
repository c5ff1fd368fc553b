#include "harness/pty_device.h"

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <string>

#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace {

int64_t now_ms() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// Under Wine the port is reached through a link in the prefix, under a
// name a Windows user would type: COM2 to COM9 bare (COM1 is Wine's own),
// and \\.\COMnn beyond, the only way Windows opens ports above 9.
std::string map_to_wine_port(const std::string& slave, std::string* link) {
    const char* prefix = std::getenv("TAVREL_WINE_PREFIX");
    if (prefix == nullptr || *prefix == '\0') return slave;
    const std::string devices = std::string(prefix) + "/dosdevices";
    for (int n = 2; n < 200; ++n) {
        const std::string candidate = devices + "/com" + std::to_string(n);
        if (symlink(slave.c_str(), candidate.c_str()) == 0) {
            *link = candidate;
            const std::string name = "COM" + std::to_string(n);
            return n < 10 ? name : "\\\\.\\" + name;
        }
    }
    ADD_FAILURE() << "no free COM name in " << devices;
    return slave;
}

}  // namespace

double time_scale() {
    const char* scale = std::getenv("TAVREL_TIME_SCALE");
    if (scale == nullptr || *scale == '\0') return 1.0;
    double value = std::atof(scale);
    return value > 0 ? value : 1.0;
}

PtyDevice::PtyDevice() {
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) {
        ADD_FAILURE() << "cannot create a pseudo-terminal";
        return;
    }
    slave_path_ = ptsname(master_);
    slave_ = open(slave_path_.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slave_ < 0) {
        ADD_FAILURE() << "cannot open " << slave_path_;
        return;
    }
    // Raw from the start, so nothing the device sends before the player has
    // configured the line is echoed back or translated.
    termios tio{};
    tcgetattr(slave_, &tio);
    cfmakeraw(&tio);
    tcsetattr(slave_, TCSANOW, &tio);
    port_name_ = map_to_wine_port(slave_path_, &wine_link_);
}

PtyDevice::~PtyDevice() {
    if (!wine_link_.empty()) unlink(wine_link_.c_str());
    hang_up();
    if (slave_ >= 0) close(slave_);
}

void PtyDevice::send(std::string_view bytes) {
    size_t done = 0;
    while (done < bytes.size() && master_ >= 0) {
        ssize_t put = write(master_, bytes.data() + done, bytes.size() - done);
        if (put < 0) {
            if (errno == EINTR) continue;
            ADD_FAILURE() << "device write failed: errno " << errno;
            return;
        }
        done += static_cast<size_t>(put);
    }
}

std::string PtyDevice::receive(size_t count, int timeout_ms) {
    std::string got;
    const int64_t deadline = now_ms() + static_cast<int64_t>(timeout_ms * time_scale());
    char buffer[4096];
    while (got.size() < count && master_ >= 0) {
        const int64_t left = deadline - now_ms();
        if (left <= 0) break;
        pollfd entry{master_, POLLIN, 0};
        int rc = poll(&entry, 1, static_cast<int>(left));
        if (rc < 0 && errno == EINTR) continue;
        if (rc <= 0) break;
        size_t want = count - got.size();
        if (want > sizeof(buffer)) want = sizeof(buffer);
        ssize_t n = read(master_, buffer, want);
        if (n > 0) {
            got.append(buffer, static_cast<size_t>(n));
        } else if (n < 0 && (errno == EINTR || errno == EAGAIN)) {
            continue;
        } else {
            // EIO: no slave open; wait a little rather than spin.
            usleep(10000);
        }
    }
    return got;
}

std::string PtyDevice::drain(int quiet_ms) {
    std::string got;
    char buffer[4096];
    while (master_ >= 0) {
        pollfd entry{master_, POLLIN, 0};
        int rc = poll(&entry, 1, quiet_ms);
        if (rc < 0 && errno == EINTR) continue;
        if (rc <= 0) break;
        ssize_t n = read(master_, buffer, sizeof(buffer));
        if (n <= 0) break;
        got.append(buffer, static_cast<size_t>(n));
    }
    return got;
}

void PtyDevice::hang_up() {
    if (master_ >= 0) close(master_);
    master_ = -1;
}

bool device_handshake(PtyDevice& device, std::string_view greeting) {
    std::string text(greeting);
    text += "> ";
    device.send(text);
    const std::string command = device.receive(2, 5000);
    EXPECT_EQ(command, "p\r") << "the player did not send the play command";
    if (command != "p\r") return false;
    device.send("p\r\n");
    return true;
}

std::string device_request(PtyDevice& device, char request, size_t count, int timeout_ms) {
    device.send(std::string_view(&request, 1));
    return device.receive(count, timeout_ms);
}

bool port_is_free(const PtyDevice& device) {
    // Non-blocking, so that a real serial line without carrier cannot hang.
    const int fd = open(device.slave_path().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    bool free = flock(fd, LOCK_EX | LOCK_NB) == 0;
#ifdef TIOCGEXCL
    // Root opens a terminal marked for exclusive use all the same; ask for
    // the mark, so that the check means the same for every user.
    int exclusive = 0;
    if (ioctl(fd, TIOCGEXCL, &exclusive) == 0 && exclusive != 0) free = false;
#endif
    close(fd);
    return free;
}

bool wait_for_port_open(pid_t pid, const PtyDevice& device, int timeout_ms) {
    struct stat slave {};
    if (stat(device.slave_path().c_str(), &slave) != 0) return false;
    const std::string fd_dir = "/proc/" + std::to_string(pid) + "/fd";
    const int64_t deadline = now_ms() + static_cast<int64_t>(timeout_ms * time_scale());
    while (now_ms() < deadline) {
        DIR* dir = opendir(fd_dir.c_str());
        if (dir == nullptr) return false;
        bool found = false;
        while (dirent* entry = readdir(dir)) {
            struct stat target {};
            const std::string path = fd_dir + "/" + entry->d_name;
            if (stat(path.c_str(), &target) == 0 && S_ISCHR(target.st_mode) &&
                target.st_rdev == slave.st_rdev) {
                found = true;
                break;
            }
        }
        closedir(dir);
        if (found) {
            // Under Wine the first read comes well after the open; a device
            // script that depends on how its bytes are split into reads must
            // not start before then.
            if (std::getenv("TAVREL_PLAYER_LAUNCHER") != nullptr) {
                usleep(static_cast<useconds_t>(600000 * time_scale()));
            }
            return true;
        }
        usleep(5000);
    }
    return false;
}

PortHolder::PortHolder(const std::string& path)
    : fd_(open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC)) {
    held_ = fd_ >= 0 && flock(fd_, LOCK_EX | LOCK_NB) == 0;
}

PortHolder::~PortHolder() {
    if (fd_ >= 0) close(fd_);
}
