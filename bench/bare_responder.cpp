// The least a responder can do: the yardstick the player is measured against.
//
// Opens the port, sets it raw, does the handshake, then per request one
// blocking read of the request byte, one positional read of the file and one
// write. No time-outs, no checks beyond what keeps it from looping forever,
// no console output.
//
// Usage: bare-responder PORT TAPFILE
#include <cstdint>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace {

constexpr uint32_t kHeaderSize = 20;
constexpr uint32_t kBlockSize = 64;

bool read_exactly(int fd, uint8_t* buffer, uint32_t count) {
    uint32_t done = 0;
    while (done < count) {
        ssize_t got = read(fd, buffer + done, count - done);
        if (got <= 0) return false;
        done += static_cast<uint32_t>(got);
    }
    return true;
}

// Reads until one read ends with the prompt, then plays "p\r" and takes the
// echo.
bool handshake(int port, uint8_t* buffer, uint32_t size) {
    for (;;) {
        ssize_t got = read(port, buffer, size);
        if (got <= 0) return false;
        if (got >= 2 && buffer[got - 2] == '>' && buffer[got - 1] == ' ') break;
    }
    if (write(port, "p\r", 2) != 2) return false;
    return read_exactly(port, buffer, 3) && memcmp(buffer, "p\r\n", 3) == 0;
}

}  // namespace

int main(int argc, char** argv) {
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
    if (!handshake(port, buffer, sizeof buffer)) return 1;

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
