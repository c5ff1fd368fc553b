// The exchange with the device, scripted through the fake port, with the
// TAP file held by the fake file table.
#include <gtest/gtest.h>

#include <stdio_ext.h>

#include <cstdio>
#include <string>
#include <vector>

#include "fake/fake_platform.h"
#include "fake/fake_tap.h"
#include "link/playback.h"
#include "link/serial_link.h"
#include "tape/tape_image.h"

namespace {

constexpr const char* kPort = "COM9";
constexpr const char* kTapPath = "game.tap";

// 120 bytes: the header and 100 pulse bytes, served as blocks of 64 and 36.
const std::string kTape = make_tap(fake_pulses(100), 100);
const std::string kHeader = kTape.substr(0, 20);
const std::string kData = kTape.substr(20);

std::string time_line(const char* time) { return std::string("\rBuffer time=") + time + " "; }

std::string success(uint32_t bytes) {
    return "Success condition received from COM9, " + std::to_string(bytes) + " bytes sent\n";
}

// Some text ending in the prompt, then the echo, then `requests` one byte a read.
std::vector<FakePortStep> served(const std::string& requests) {
    return {port_bytes("Tavrel ready\r\n> "), port_bytes("p\r\n"), port_bytes(requests)};
}

std::vector<FakePortStep> then(std::vector<FakePortStep> steps,
                               std::initializer_list<FakePortStep> more) {
    steps.insert(steps.end(), more.begin(), more.end());
    return steps;
}

struct PlaybackCase {
    const char* name;
    std::vector<FakePortStep> device{};
    std::string tape = kTape;
    uint32_t start_offset = kTapHeaderSize;
    IoFault port_write_fault{};
    IoFault tap_read_fault{};
    int status = 1;
    std::string received{};  // every byte that reached the device
    std::string out{};
    std::string err{};
    const char* last_write = nullptr;  // the last write asked for, when it matters
};

const PlaybackCase kCases[] = {
    // ---- Whole runs ----
    {.name = "PlaysWholeTapeThenEmptyBlock",
     .device = served("hddde"),
     .status = 0,
     .received = "p\r" + kHeader + kData,
     .out = time_line("0:00") + success(100)},
    {.name = "PlaysFromOffset",
     .device = served("hdde"),
     .start_offset = 50,
     .status = 0,
     .received = "p\r" + make_tap("", 70) + kTape.substr(50),
     .out = time_line("0:00") + success(70)},
    {.name = "ExactPromptThenSuccessFirst",
     .device = {port_bytes("> "), port_bytes("p\r\n"), port_bytes("e")},
     .status = 0,
     .received = "p\r",
     .out = success(0)},
    {.name = "TinyReadsThenPrompt",
     .device = {port_quiet(), port_bytes(">"), port_bytes(" "), port_quiet(), port_bytes("> "),
                port_bytes("p\r\n"), port_bytes("e")},
     .status = 0,
     .received = "p\r",
     .out = success(0)},
    {.name = "IgnoresOtherBytesAndQuietReads",
     .device = then(served(std::string("\r\n> HDEF") + "\x80" + "\xff" + std::string(1, '\0')),
                    {port_quiet(), port_quiet(), port_bytes("e")}),
     .status = 0,
     .received = "p\r",
     .out = success(0)},
    {.name = "EmptyBlockReachesNothing",
     .device = served("hdde"),
     .tape = make_tap("", 0),
     .status = 0,
     .received = "p\r" + make_tap("", 0),
     .out = time_line("0:00") + success(0)},
    {.name = "FailureNotice",
     .device = served("hdf"),
     .received = "p\r" + kHeader + kData.substr(0, 64),
     .out = time_line("0:00"),
     .err = "Failure condition received from COM9\n"},

    // ---- Waiting for the prompt ----
    {.name = "PromptReadFails",
     .device = {port_bytes("booting"), port_failure(7)},
     .err = "Error reading prompt from COM9 (7)\n"},
    {.name = "PromptSplitAcrossReads",
     .device = {port_bytes("text>"), port_bytes(" "), port_failure(0)},
     .err = "Error reading prompt from COM9 (0)\n"},
    {.name = "PromptFollowedByMore",
     .device = {port_bytes("> p"), port_failure(0)},
     .err = "Error reading prompt from COM9 (0)\n"},

    // ---- Play command and echo ----
    {.name = "PlayCommandWriteFails",
     .device = served("e"),
     .port_write_fault = {1, {false, 0}},
     .err = "Error writing playback command to COM9\n"},
    {.name = "PlayCommandWriteShort",
     .device = served("e"),
     .port_write_fault = {1, {true, 1}},
     .received = "p",
     .err = "Error writing playback command to COM9\n"},
    // The prompt read leaves "\n" in the buffer where a third echo byte would go.
    {.name = "EchoTwoBytes",
     .device = {port_bytes("ok\n> "), port_bytes("p\r"), port_bytes("e")},
     .received = "p\r",
     .err = "Error reading playback command echo from COM9 (2)\n"},
    {.name = "EchoWrongThreeBytes",
     .device = {port_bytes("> "), port_bytes("p\n\re")},
     .received = "p\r",
     .err = "Error reading playback command echo from COM9 (3)\n"},
    // Only the third byte differs: the whole echo must be compared.
    {.name = "EchoLastByteWrong",
     .device = {port_bytes("> "), port_bytes("p\r\re")},
     .received = "p\r",
     .err = "Error reading playback command echo from COM9 (3)\n"},
    {.name = "EchoQuiet",
     .device = {port_bytes("> "), port_quiet(), port_bytes("p\r\ne")},
     .received = "p\r",
     .err = "Error reading playback command echo from COM9 (0)\n"},
    {.name = "EchoReadFails",
     .device = {port_bytes("> "), port_failure(1)},
     .received = "p\r",
     .err = "Error reading playback command echo from COM9 (1)\n"},

    // ---- Serving requests ----
    {.name = "RequestReadFails",
     .device = then(served("h"), {port_quiet(), port_failure(0)}),
     .received = "p\r" + kHeader,
     .err = "Error reading from COM9\n"},
    {.name = "TapReadFailsOnHeader",
     .device = served("h"),
     .tap_read_fault = {1, {false, 0}},
     .received = "p\rh",
     .err = "Error reading from game.tap\n",
     .last_write = "h"},
    {.name = "TapReadFailsOnHeaderNoticeNotHeard",
     .device = served("h"),
     .port_write_fault = {2, {false, 0}},
     .tap_read_fault = {1, {false, 0}},
     .received = "p\r",
     .err = "Error reading from game.tap\n",
     .last_write = "h"},
    {.name = "TapReadShortOnData",
     .device = served("hd"),
     .tap_read_fault = {2, {true, 10}},
     .received = "p\r" + kHeader + "h",
     .err = "Error reading from game.tap\n",
     .last_write = "h"},
    {.name = "TapReadFailsOnDataNoticeNotHeard",
     .device = served("hd"),
     .port_write_fault = {3, {false, 0}},
     .tap_read_fault = {2, {false, 0}},
     .received = "p\r" + kHeader,
     .err = "Error reading from game.tap\n",
     .last_write = "h"},
    {.name = "HeaderWriteFails",
     .device = served("he"),
     .port_write_fault = {2, {false, 0}},
     .received = "p\r",
     .err = "Error writing data to COM9\n"},
    {.name = "HeaderWriteShort",
     .device = served("he"),
     .port_write_fault = {2, {true, 19}},
     .received = "p\r" + kHeader.substr(0, 19),
     .err = "Error writing data to COM9\n"},
    // A block that did not get through is neither counted on screen nor fed.
    {.name = "DataWriteShort",
     .device = served("hde"),
     .port_write_fault = {3, {true, 10}},
     .received = "p\r" + kHeader + kData.substr(0, 10),
     .err = "Error writing data to COM9\n"},
    {.name = "InvalidStart",
     .device = served("he"),
     .start_offset = 20 + 100,
     .received = "p\r",
     .err = "Invalid index supplied for game.tap\n"},
    {.name = "SeekFails",
     .device = served("he"),
     .tape = make_tap(fake_pulses(100), 0xFFFFFFFFu),
     .start_offset = 0x80000000u,
     .received = "p\r",
     .err = "Error seeking to index in game.tap\n"},
};

class PlaybackTest : public testing::TestWithParam<PlaybackCase> {
protected:
    void SetUp() override { fake_platform_reset(); }

    // Opens the port and the TAP file as main does; the test fails unless both open.
    void open(const std::string& tape_contents) {
        fake_file(kTapPath, tape_contents);
        ASSERT_TRUE(open_serial_link(kPort, &link));
        ASSERT_EQ(open_tape_image(kTapPath, &tape), TapeOpenOutcome::kOpened);
    }

    int play(uint32_t start_offset) {
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        const int status = run_playback(&link, &tape, start_offset);
        err = testing::internal::GetCapturedStderr();
        out = testing::internal::GetCapturedStdout();
        return status;
    }

    // On every way out: the port closed, then the TAP file, each once, last.
    void expect_closed_port_first() const {
        const std::vector<std::string>& log = fake_platform.log;
        ASSERT_GE(log.size(), 2u);
        EXPECT_EQ(log[log.size() - 2], "close port COM9");
        EXPECT_EQ(log[log.size() - 1], "close file game.tap");
        EXPECT_EQ(fake_log_count("close port COM9"), 1);
        EXPECT_EQ(fake_log_count("close file game.tap"), 1);
        EXPECT_TRUE(fake_platform.open_handles.empty());
        // Nothing else is closed: no handle that was never opened.
        for (const std::string& entry : log) EXPECT_NE(entry.rfind("close unknown", 0), 0u) << entry;
    }

    SerialLink link;
    TapeImage tape;
    std::string out;
    std::string err;
};

TEST_P(PlaybackTest, DeviceScript) {
    const PlaybackCase& c = GetParam();
    ASSERT_NO_FATAL_FAILURE(open(c.tape));
    fake_platform.files[kTapPath].read_fault = c.tap_read_fault;
    fake_platform.port_script.assign(c.device.begin(), c.device.end());
    fake_platform.port_write_fault = c.port_write_fault;

    EXPECT_EQ(play(c.start_offset), c.status);
    EXPECT_EQ(fake_platform.port_received, c.received);
    EXPECT_EQ(out, c.out);
    EXPECT_EQ(err, c.err);
    if (c.last_write != nullptr) {
        ASSERT_FALSE(fake_platform.port_writes.empty());
        EXPECT_EQ(fake_platform.port_writes.back(), c.last_write);
    }
    expect_closed_port_first();
}

INSTANTIATE_TEST_SUITE_P(Exchange, PlaybackTest, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<PlaybackCase>& param) {
                             return std::string(param.param.name);
                         });

// The sizes of the reads tell the prompt wait, the echo and the requests apart.
TEST_F(PlaybackTest, ReadSizesOfTheHandshakeAndRequests) {
    ASSERT_NO_FATAL_FAILURE(open(kTape));
    for (const FakePortStep& step : served("e")) fake_platform.port_script.push_back(step);
    EXPECT_EQ(play(kTapHeaderSize), 0);
    const std::vector<std::string> expected = {"read_port 16384", "write_port 2", "read_port 3",
                                               "read_port 1"};
    std::vector<std::string> exchange;
    for (const std::string& entry : fake_platform.log) {
        if (entry.rfind("read_port", 0) == 0 || entry.rfind("write_port", 0) == 0) {
            exchange.push_back(entry);
        }
    }
    EXPECT_EQ(exchange, expected);
}

// A 1000-byte file whose length field says 980, played from byte 100: each
// request costs one file read of exactly the bytes then written.
TEST_F(PlaybackTest, EachRequestIsOneReadOfTheBytesSent) {
    const std::string file = make_tap(fake_pulses(980), 980);
    ASSERT_NO_FATAL_FAILURE(open(file));
    for (const FakePortStep& step : served("h" + std::string(15, 'd') + "e")) {
        fake_platform.port_script.push_back(step);
    }

    EXPECT_EQ(play(100), 0);
    EXPECT_EQ(out, time_line("0:00") + success(900));
    EXPECT_EQ(fake_platform.port_received, "p\r" + make_tap("", 900) + file.substr(100));

    std::vector<std::string> file_io;
    for (const std::string& entry : fake_platform.log) {
        if (entry.rfind("read_file", 0) == 0 || entry.rfind("write_port", 0) == 0 ||
            entry.rfind("seek", 0) == 0) {
            file_io.push_back(entry);
        }
    }
    std::vector<std::string> expected = {"write_port 2", "read_file game.tap 20",
                                         "seek game.tap 100", "write_port 20"};
    for (int block = 0; block < 15; ++block) {
        const std::string count = block < 14 ? "64" : "4";
        expected.push_back("read_file game.tap " + count);
        expected.push_back("write_port " + count);
    }
    EXPECT_EQ(file_io, expected);
    expect_closed_port_first();
}

// Whatever was printed before the handshake is out before the first request
// is awaited, so it cannot be held back while the device is served.
TEST_F(PlaybackTest, StdoutFlushedAfterHandshake) {
    ASSERT_NO_FATAL_FAILURE(open(kTape));
    for (const FakePortStep& step : served("e")) fake_platform.port_script.push_back(step);
    std::vector<size_t> pending;
    fake_platform.before_port_read = [&pending](uint32_t) { pending.push_back(__fpending(stdout)); };

    testing::internal::CaptureStdout();
    printf("listing");
    const int status = run_playback(&link, &tape, kTapHeaderSize);
    const std::string printed = testing::internal::GetCapturedStdout();

    EXPECT_EQ(status, 0);
    EXPECT_EQ(printed, "listing" + success(0));
    ASSERT_EQ(pending.size(), 3u);  // prompt, echo, one request
    EXPECT_GT(pending[0], 0u) << "the text waits in the buffer during the handshake";
    EXPECT_EQ(pending[2], 0u) << "and is out once requests are served";
}

}  // namespace
