// The real binary when the world misbehaves: a device that falls silent or
// goes away, a port that is no line at all, TAP and index files that cannot
// be had or change under the player, random tapes, and a standard output
// that is gone. Each run must end (or wait) quietly and cheaply, with the
// player's own messages and exit statuses only.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdint>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "harness/player_process.h"
#include "harness/pty_device.h"
#include "harness/temp_files.h"

namespace {

using Clock = std::chrono::steady_clock;

// CPU a waiting player may use over the ~3 s of a silence test: start-up
// and the few requests served, nowhere near a spinning loop.
constexpr double kIdleCpuSeconds = 0.2;

int scaled_ms(int ms) { return static_cast<int>(ms * time_scale()); }

void sleep_ms(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

std::string little_endian(uint32_t value) {
    std::string bytes;
    for (int shift = 0; shift < 32; shift += 8) bytes += static_cast<char>((value >> shift) & 0xFF);
    return bytes;
}

bool ends_with(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// Plays the device from the handshake: the header, then `blocks` full data
// blocks, each checked against the file.
void serve_blocks(PtyDevice& device, const std::string& tap, int blocks) {
    ASSERT_TRUE(device_handshake(device));
    ASSERT_EQ(device_request(device, 'h', 20), tap.substr(0, 20));
    for (int block = 0; block < blocks; ++block) {
        ASSERT_EQ(device_request(device, 'd', 64), tap.substr(20 + 64 * static_cast<size_t>(block), 64))
            << "block " << block;
    }
}

// ---- Waiting without spinning --------------------------------------------

struct SilenceCase {
    const char* name;
    int blocks_before;  // -1: silent from the start, no prompt ever
};

class SilentDevice : public testing::TestWithParam<SilenceCase> {};

TEST_P(SilentDevice, PlayerWaitsWithoutOutputAndWithoutBurningCpu) {
    const SilenceCase& c = GetParam();
    TempDir dir;
    const std::string tap = make_tap(make_pulses(980, 3));
    PtyDevice device;
    PlayerProcess player({device.port_name(), dir.write("game.tap", tap)});
    if (c.blocks_before >= 0) serve_blocks(device, tap, c.blocks_before);
    if (HasFatalFailure()) return;

    sleep_ms(200);  // let the last answer's output settle
    const std::string out_before = player.out_so_far();
    sleep_ms(3000);
    EXPECT_TRUE(player.running());
    EXPECT_EQ(player.out_so_far(), out_before) << "output while the device is silent";
    EXPECT_EQ(player.err_so_far(), "");
    EXPECT_EQ(device.drain(50), "") << "bytes sent to a silent device";

    const PlayerResult result = player.stop(SIGTERM);
    EXPECT_EQ(result.signal, SIGTERM);
    EXPECT_LT(result.cpu_seconds, kIdleCpuSeconds * time_scale());
}

INSTANTIATE_TEST_SUITE_P(Faults, SilentDevice,
                         testing::Values(SilenceCase{"BeforeThePrompt", -1},
                                         SilenceCase{"DuringTheRequests", 3}),
                         [](const auto& param_info) { return std::string(param_info.param.name); });

// A port that is a plain file or /dev/null never shows a prompt; the
// player must wait for it at the pace of its time-outs, not spin.
TEST(Faults, PortThatIsNoLineIsWaitedOnWithoutSpinning) {
    TempDir dir;
    const std::string tap_path = dir.write("game.tap", make_tap(make_pulses(100)));
    for (const std::string& port : {std::string("/dev/null"), dir.write("port", "")}) {
        SCOPED_TRACE(port);
        PlayerProcess player({port, tap_path});
        sleep_ms(3000);
        EXPECT_TRUE(player.running()) << player.err_so_far();
        const PlayerResult result = player.stop(SIGTERM);
        EXPECT_EQ(result.signal, SIGTERM);
        EXPECT_EQ(result.err, "");
        EXPECT_EQ(result.out.find("Buffer time"), std::string::npos);
        EXPECT_LT(result.cpu_seconds, kIdleCpuSeconds * time_scale());
    }
}

// ---- The device or the TAP file goes away --------------------------------

TEST(Faults, DeviceHangingUpMidPlaybackEndsTheRunAtOnce) {
    TempDir dir;
    const std::string tap = make_tap(make_pulses(980, 5));
    PtyDevice device;
    PlayerProcess player({device.port_name(), dir.write("game.tap", tap)});
    serve_blocks(device, tap, 3);
    if (HasFatalFailure()) return;

    const auto hung_up = Clock::now();
    device.hang_up();
    const PlayerResult result = player.wait(scaled_ms(5000));
    const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - hung_up);

    EXPECT_FALSE(result.timed_out);
    EXPECT_EQ(result.exit_status, 1);
    EXPECT_EQ(result.err, "Error reading from " + device.port_name() + "\n");
    EXPECT_LT(took.count(), scaled_ms(1500));
    EXPECT_LT(result.cpu_seconds, 0.5 * time_scale());
}

TEST(Faults, TapFileTruncatedWhilePlayingIsAReadFailureToldToTheDevice) {
    TempDir dir;
    const std::string tap = make_tap(make_pulses(980, 9));
    const std::string tap_path = dir.write("game.tap", tap);
    PtyDevice device;
    PlayerProcess player({device.port_name(), tap_path});
    serve_blocks(device, tap, 3);
    if (HasFatalFailure()) return;

    // The next block would start at byte 212; leave only 10 bytes of it.
    ASSERT_EQ(truncate(tap_path.c_str(), 20 + 3 * 64 + 10), 0);
    EXPECT_EQ(device_request(device, 'd', 1), "h");
    const PlayerResult result = player.wait(scaled_ms(5000));
    EXPECT_EQ(result.exit_status, 1);
    EXPECT_EQ(result.err, "Error reading from " + tap_path + "\n");
    EXPECT_EQ(device.drain(100), "");
}

// ---- Files the player cannot have ----------------------------------------

// Holds an exclusive lock on a file, as a second player would.
class FileLock {
public:
    explicit FileLock(const std::string& path) : fd_(open(path.c_str(), O_RDONLY | O_CLOEXEC)) {
        EXPECT_GE(fd_, 0);
        EXPECT_EQ(flock(fd_, LOCK_EX | LOCK_NB), 0);
    }
    ~FileLock() {
        if (fd_ >= 0) close(fd_);
    }
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

private:
    int fd_;
};

TEST(Faults, FilesHeldByAnotherProcessAreNotOpened) {
    TempDir dir;
    const std::string tap_path = dir.write("game.tap", make_tap(make_pulses(100)));
    const std::string index_path = dir.write("game.idx", "100 Start\n");
    PtyDevice device;
    {
        SCOPED_TRACE("TAP file");
        FileLock lock(tap_path);
        const PlayerResult result = run_player({device.port_name(), tap_path}, scaled_ms(5000));
        EXPECT_EQ(result.exit_status, 1);
        EXPECT_EQ(result.err, "Unable to open file " + tap_path + " for read\n");
        EXPECT_EQ(device.drain(50), "");
    }
    {
        SCOPED_TRACE("index file");
        FileLock lock(index_path);
        const PlayerResult result =
            run_player({"-i", index_path, device.port_name(), tap_path}, scaled_ms(5000));
        EXPECT_EQ(result.exit_status, 1);
        EXPECT_EQ(result.err, "Unable to open index file " + index_path + "\n");
    }
}

// Tests run as root here, so a file cannot be made unreadable by its
// permissions; /proc/self/mem opens but fails its first read, which is the
// same fault. Without root, a chmod 000 file is tried as well.
TEST(Faults, IndexFilesThatCannotBeListed) {
    TempDir dir;
    ASSERT_EQ(mkdir(dir.file("folder.idx").c_str(), 0755), 0);
    std::string junk;
    std::mt19937 random(17);
    for (int i = 0; i < 3000; ++i) junk += static_cast<char>(0x80 + random() % 0x80u);
    for (size_t i = 100; i < junk.size(); i += 97) junk[i] = '\n';
    const std::string junk_path = dir.write("junk.idx", junk);

    struct Case {
        std::string path;
        std::string err;
        std::string out_tail;
    };
    std::vector<Case> cases = {
        {dir.file("folder.idx"), "Unable to open index file " + dir.file("folder.idx") + "\n", ""},
        {"/proc/self/mem", "Error reading from index file /proc/self/mem\n", ""},
        {junk_path, "", "\nThe selected index, 0, does not exist in " + junk_path + "\n"},
    };
    if (geteuid() != 0) {
        const std::string locked = dir.write("locked.idx", "100 Start\n");
        chmod(locked.c_str(), 0);
        cases.push_back({locked, "Unable to open index file " + locked + "\n", ""});
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        const PlayerResult result = run_player({"-i", c.path, "/nonexistent/port", "x.tap"});
        EXPECT_EQ(result.exit_status, 1);
        EXPECT_EQ(result.err, c.err);
        if (!c.out_tail.empty()) {
            EXPECT_TRUE(ends_with(result.out, c.out_tail)) << result.out;
        }
    }
}

// ---- Random tapes from random entries ------------------------------------

// One random run and what it must give: the index entry decides the start,
// the header's length field and the file's size decide the rest.
struct RandomRun {
    std::string tap;
    uint32_t entry = 0;
    bool entry_exists = true;
};

TEST(Faults, RandomTapesFromRandomEntriesGiveOnlyTheirOwnOutcomes) {
    std::mt19937 engine(20240611);
    auto random = [&engine] { return static_cast<uint32_t>(engine()); };
    for (int run = 0; run < 20; ++run) {
        SCOPED_TRACE("run " + std::to_string(run));
        TempDir dir;
        const uint32_t size = 20 + random() % 400;
        std::string tap(size, '\0');
        for (char& byte : tap) byte = static_cast<char>(random() & 0xFF);
        const uint32_t pulses = size - 20;
        uint32_t length;
        switch (random() % 3) {
            case 0: length = pulses; break;
            case 1: length = random() % (pulses + 40); break;
            default: length = 0x80000000u + random() % 0x7FFFFFFFu; break;
        }
        tap.replace(16, 4, little_endian(length));
        const std::string tap_path = dir.write("game.tap", tap);

        // Three entries, and a position that may lie beyond them.
        std::vector<uint32_t> entries;
        std::string index;
        for (int i = 0; i < 3; ++i) {
            uint32_t value;
            switch (random() % 4) {
                case 0: value = 20; break;
                case 1: value = 0x80000000u + random() % 0x1000u; break;
                case 2: value = size + random() % 40; break;
                default: value = random() % (size + 1); break;
            }
            entries.push_back(value);
            index += std::to_string(value) + " entry\n";
        }
        const uint32_t position = random() % 4;
        const std::string index_path = dir.write("game.idx", index);

        PtyDevice device;
        PlayerProcess player(
            {"-i", index_path, "-p", std::to_string(position), device.port_name(), tap_path});

        auto expect_end = [&](int status, const std::string& err, const std::string& out_tail) {
            const PlayerResult result = player.wait(scaled_ms(5000));
            EXPECT_FALSE(result.timed_out);
            EXPECT_EQ(result.exit_status, status);
            EXPECT_EQ(result.err, err);
            EXPECT_TRUE(ends_with(result.out, out_tail)) << result.out;
        };

        if (position >= entries.size()) {
            expect_end(1, "",
                       "The selected index, " + std::to_string(position) + ", does not exist in " +
                           index_path + "\n");
            continue;
        }
        const uint32_t start = entries[position];
        if (start < 20) {
            expect_end(1, "",
                       "The selected index, " + std::to_string(position) +
                           ", does not refer to a valid position\n");
            continue;
        }

        ASSERT_TRUE(device_handshake(device));
        const uint32_t skipped = start - 20;
        if (start > 20 && skipped >= length) {
            device.send("h");
            expect_end(1, "Invalid index supplied for " + tap_path + "\n", "");
            EXPECT_EQ(device.drain(50), "");
            continue;
        }
        if (start >= 0x80000000u) {
            device.send("h");
            expect_end(1, "Error seeking to index in " + tap_path + "\n", "");
            EXPECT_EQ(device.drain(50), "");
            continue;
        }
        std::string header = tap.substr(0, 20);
        if (start > 20) header.replace(16, 4, little_endian(length - skipped));
        EXPECT_EQ(device_request(device, 'h', 20), header);

        if (start > size) {
            // Nothing is left to read from there: a read failure, told to
            // the device with a lone "h".
            EXPECT_EQ(device_request(device, 'd', 1), "h");
            expect_end(1, "Error reading from " + tap_path + "\n", "");
            continue;
        }
        std::string data;
        for (;;) {
            const size_t want = std::min<size_t>(64, size - start - data.size());
            const std::string block = device_request(device, 'd', want == 0 ? 1 : want,
                                                     want == 0 ? 150 : 5000);
            if (want == 0) {
                EXPECT_EQ(block, "") << "bytes after the end of the file";
                break;
            }
            ASSERT_EQ(block.size(), want);
            data += block;
        }
        EXPECT_EQ(data, tap.substr(start));
        device.send("e");
        expect_end(0, "",
                   "Success condition received from " + device.port_name() + ", " +
                       std::to_string(data.size()) + " bytes sent\n");
    }
}

// ---- Standard output that is gone ----------------------------------------

struct StdoutCase {
    const char* name;
    PlayerStdout mode;
};

class StdoutGone : public testing::TestWithParam<StdoutCase> {};

// Printing fails, but the exchange with the device is untouched: nothing
// meant for the console reaches the port, the device's notice decides the
// status, and the port is free again afterwards.
TEST_P(StdoutGone, PlaybackRunsToTheDevicesNoticeAndFreesThePort) {
    TempDir dir;
    const std::string tap = make_tap(make_pulses(300, 4));
    PtyDevice device;
    PlayerProcess player({device.port_name(), dir.write("game.tap", tap)}, "", GetParam().mode);

    serve_blocks(device, tap, 4);
    if (HasFatalFailure()) return;
    EXPECT_EQ(device_request(device, 'd', 44), tap.substr(20 + 4 * 64));
    device.send("e");
    const PlayerResult result = player.wait(scaled_ms(5000));
    EXPECT_EQ(result.signal, 0);
    EXPECT_EQ(result.exit_status, 0);
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(device.drain(100), "") << "console text reached the device";

    const int fd = open(device.slave_path().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(flock(fd, LOCK_EX | LOCK_NB), 0) << "the port is still held";
    close(fd);
}

INSTANTIATE_TEST_SUITE_P(Faults, StdoutGone,
                         testing::Values(StdoutCase{"Closed", PlayerStdout::kClosed},
                                         StdoutCase{"ReaderGone", PlayerStdout::kBrokenPipe}),
                         [](const auto& param_info) { return std::string(param_info.param.name); });

}  // namespace
