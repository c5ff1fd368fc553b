// The least a responder can do: the yardstick the player is measured against.
//
// Opens the port, sets it raw, does the handshake, then per request one
// blocking read of the request byte, one positional read of the file and one
// write. No time-outs, no checks beyond what keeps it from looping forever,
// no console output.
//
// The prompt is taken as the player takes it: a read ends once the line has
// been quiet for 250 ms, and "p\r" goes out only then. That quiet spell is
// part of the protocol's timing, and it matters to the measurement: after it
// the scheduler settles the two ends of the pseudo-terminal into another
// placement, which costs more CPU per request whatever the loop does.
// --at-once answers the prompt as soon as it arrives, for comparison.
//
// Usage: bare-responder [--at-once] PORT TAPFILE
#include <cstdint>
#include <cstring>

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace {

constexpr uint32_t kHeaderSize = 20;
constexpr uint32_t kBlockSize = 64;
constexpr int kPromptQuietMs = 250;

bool read_exactly(int fd, uint8_t* buffer, uint32_t count) {
    uint32_t done = 0;
    while (done < count) {
        ssize_t got = read(fd, buffer + done, count - done);
        if (got <= 0) return false;
        done += static_cast<uint32_t>(got);
    }
    return true;
}

// One read as the player makes it: what arrives until the line has been
// quiet for `quiet_ms` (0: just what one read returns). Returns the count.
ssize_t read_until_quiet(int port, uint8_t* buffer, uint32_t size, int quiet_ms) {
    ssize_t held = read(port, buffer, size);
    if (held <= 0 || quiet_ms == 0) return held;
    pollfd entry{port, POLLIN, 0};
    while (static_cast<uint32_t>(held) < size && poll(&entry, 1, quiet_ms) > 0) {
        const ssize_t got = read(port, buffer + held, size - static_cast<uint32_t>(held));
        if (got <= 0) return -1;
        held += got;
    }
    return held;
}

// Reads until one read ends with the prompt, then plays "p\r" and takes the
// echo.
bool handshake(int port, uint8_t* buffer, uint32_t size, int quiet_ms) {
    for (;;) {
        const ssize_t got = read_until_quiet(port, buffer, size, quiet_ms);
        if (got <= 0) return false;
        if (got >= 2 && buffer[got - 2] == '>' && buffer[got - 1] == ' ') break;
    }
    if (write(port, "p\r", 2) != 2) return false;
    return read_exactly(port, buffer, 3) && memcmp(buffer, "p\r\n", 3) == 0;
}

}  // namespace

int main(int argc, char** argv) {
    int quiet_ms = kPromptQuietMs;
    if (argc == 4 && strcmp(argv[1], "--at-once") == 0) {
        quiet_ms = 0;
        ++argv;
        --argc;
    }
    if (argc != 3) return 2;
    const int port = open(argv[1], O_RDWR | O_NOCTTY | O_CLOEXEC);
    const int file = open(argv[2], O_RDONLY | O_CLOEXEC);
    if (port < 0 || file < 0) return 2;
    termios tio{};
    if (tcgetattr(port, &tio) == 0) {
        cfmakeraw(&tio);
        tcsetattr(port, TCSANOW, &tio);
    }
    struct stat info {};
    if (fstat(file, &info) != 0) return 2;
    const uint32_t size = static_cast<uint32_t>(info.st_size);

    static uint8_t buffer[16384];
    if (!handshake(port, buffer, sizeof buffer, quiet_ms)) return 1;

    uint32_t offset = 0;
    for (;;) {
        uint8_t request = 0;
        if (read(port, &request, 1) != 1) return 1;
        uint32_t count = 0;
        if (request == 'h') {
            count = kHeaderSize;
            offset = 0;
        } else if (request == 'd') {
            const uint32_t left = size - offset;
            count = left < kBlockSize ? left : kBlockSize;
        } else if (request == 'e') {
            return 0;
        } else if (request == 'f') {
            return 1;
        } else {
            continue;
        }
        if (pread(file, buffer, count, offset) != static_cast<ssize_t>(count)) return 1;
        if (write(port, buffer, count) != static_cast<ssize_t>(count)) return 1;
        offset += count;
    }
}
