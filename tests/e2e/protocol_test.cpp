// The exchange with the device, row by row: each case is a device script
// played on the master side of a pseudo-terminal against the real binary,
// and the end it must reach (exit status, exact messages, the port given
// back). The worked run is in play_test.cpp; a device that falls silent or
// hangs up, and a TAP file cut short during a data request, are in
// faults_test.cpp.
#include <gtest/gtest.h>

#include <chrono>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include <unistd.h>

#include "harness/player_process.h"
#include "harness/pty_device.h"
#include "harness/temp_files.h"

namespace {

using namespace std::string_literals;
using Clock = std::chrono::steady_clock;

int scaled_ms(int ms) { return static_cast<int>(ms * time_scale()); }

enum class Op {
    kSend,         // the device sends `bytes`
    kPause,        // the device waits `ms`
    kExpect,       // the player sends exactly `bytes` next
    kExpectTap,    // the player sends bytes [ms, ms + max_ms) of the TAP file
    kQuiet,        // for `ms`: nothing to the device, no output, no end
    kTruncateTap,  // the TAP file is cut to `ms` bytes
    kEndWithin,    // the player ends after at least `ms`, at most `max_ms`
    kReadAll,      // the device reads what the player left unread, unchecked
};

struct Step {
    Op op;
    std::string bytes;
    int ms = 0;
    int max_ms = 0;
};

Step send(std::string bytes) { return {Op::kSend, std::move(bytes)}; }
Step pause(int ms) { return {Op::kPause, "", ms}; }
Step expect(std::string bytes) { return {Op::kExpect, std::move(bytes)}; }
Step expect_tap(int offset, int length) { return {Op::kExpectTap, "", offset, length}; }
Step quiet(int ms) { return {Op::kQuiet, "", ms}; }
Step truncate_tap(int size) { return {Op::kTruncateTap, "", size}; }
Step end_within(int min_ms, int max_ms) { return {Op::kEndWithin, "", min_ms, max_ms}; }
Step read_all() { return {Op::kReadAll, ""}; }

// The device's usual opening, up to the request loop.
std::vector<Step> after_handshake(std::vector<Step> steps) {
    std::vector<Step> all = {send("Tavrel ready\r\n> "), expect("p\r"), send("p\r\n")};
    all.insert(all.end(), steps.begin(), steps.end());
    return all;
}

// A prompt that is not taken must leave the player waiting: only a proper
// prompt afterwards starts playback, which the device then ends at once.
std::vector<Step> not_a_prompt(std::vector<Step> steps) {
    steps.push_back(quiet(800));
    for (Step step : {send("> "), expect("p\r"), send("p\r\n"), send("e")}) steps.push_back(step);
    return steps;
}

std::string success(int bytes) {
    return "Success condition received from {port}, " + std::to_string(bytes) + " bytes sent\n";
}

struct ProtocolCase {
    const char* name;
    int pulses;  // pulse bytes of the TAP file, after its 20-byte header
    std::vector<Step> steps;
    int exit_status;
    std::string out_tail;  // how standard output ends; "" only: no success message
    std::string err;       // all of standard error
};

std::vector<ProtocolCase> protocol_cases() {
    const std::string echo_error = "Error reading playback command echo from {port} ";
    return {
        // ---- Waiting for the prompt
        // Also the device's success notice as its very first request.
        {"TextThenPrompt",
         100,
         {send("Tavrel 2.1\r\nready\r\n> "), expect("p\r"), send("p\r\n"), send("e")},
         0,
         success(0),
         ""},
        {"PromptAlone", 100, {send("> "), expect("p\r"), send("p\r\n"), send("e")}, 0, success(0), ""},
        {"PromptFollowedByMoreBytes", 100, not_a_prompt({send("> x")}), 0, success(0), ""},
        {"PromptSplitAcrossTwoReads",
         100,
         not_a_prompt({send("ready>"), pause(400), send(" ")}),
         0,
         success(0),
         ""},
        {"SingleByteReads",
         100,
         not_a_prompt({send(">"), pause(400), send(" "), pause(400), send(">")}),
         0,
         success(0),
         ""},

        // ---- The echo of the play command
        {"EchoWithoutLineFeed",
         100,
         {send("> "), expect("p\r"), send("p\r"), end_within(200, 2000)},
         1,
         "",
         echo_error + "(2)\n"},
        {"EchoOfThreeWrongBytes",
         100,
         {send("> "), expect("p\r"), send("p\n\r"), end_within(0, 2000)},
         1,
         "",
         echo_error + "(3)\n"},
        {"EchoWithWrongLastByte",
         100,
         {send("> "), expect("p\r"), send("p\r\r"), end_within(0, 2000)},
         1,
         "",
         echo_error + "(3)\n"},
        {"NoEcho", 100, {send("> "), expect("p\r"), end_within(450, 2000)}, 1, "", echo_error + "(0)\n"},
        {"EchoWithAGap",
         100,
         {send("> "), expect("p\r"), send("p\r"), pause(400), send("\n"), end_within(0, 2000)},
         1,
         "",
         echo_error + "(2)\n"},

        // ---- The request loop
        {"FailureNotice",
         100,
         after_handshake({send("h"), expect_tap(0, 20), send("f"), end_within(0, 2000)}),
         1,
         "",
         "Failure condition received from {port}\n"},
        // Nothing but the four lower-case letters means anything; a quiet
        // spell in between changes nothing either.
        {"OtherBytesAreIgnored",
         100,
         after_handshake({send("\r\n> HDEF\0\x01\x7f\x80\xa5\xff"s), quiet(1500), send("h"),
                          expect_tap(0, 20), send("d"), expect_tap(20, 64), send("e")}),
         0,
         success(64),
         ""},
        // Once the data is used up a "d" gets nothing, and the loop goes on.
        {"DataUsedUp",
         30,
         after_handshake({send("h"), expect_tap(0, 20), send("d"), expect_tap(20, 30), send("d"),
                          quiet(700), send("dd"), quiet(700), send("e")}),
         0,
         success(30),
         ""},
        // The header cannot be read: the device is told with a lone "h".
        {"HeaderReadFailure",
         100,
         after_handshake({truncate_tap(10), send("h"), expect("h"), end_within(0, 2000)}),
         1,
         "",
         "Error reading from {tap}\n"},
        // The device stops reading: once the line's buffer is full a block
        // cannot be written within its time-out.
        {"DeviceStopsReading",
         64 * 1000,
         after_handshake({send("h"), expect_tap(0, 20), send(std::string(1000, 'd')),
                          end_within(2400, 20000), read_all()}),
         1,
         "",
         "Error writing data to {port}\n"},
    };
}

std::string expand(std::string text, const std::string& port, const std::string& tap_path) {
    for (const auto& [key, value] : {std::pair{"{port}"s, port}, std::pair{"{tap}"s, tap_path}}) {
        for (size_t at = text.find(key); at != std::string::npos; at = text.find(key, at + value.size())) {
            text.replace(at, key.size(), value);
        }
    }
    return text;
}

bool ends_with(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

class Protocol : public testing::TestWithParam<ProtocolCase> {
protected:
    void run_step(const Step& step, PlayerProcess& player, PtyDevice& device, const std::string& tap,
                  const std::string& tap_path) {
        switch (step.op) {
            case Op::kSend:
                device.send(step.bytes);
                break;
            case Op::kPause:
                std::this_thread::sleep_for(std::chrono::milliseconds(step.ms));
                break;
            case Op::kExpect:
                EXPECT_EQ(device.receive(step.bytes.size(), 5000), step.bytes);
                break;
            case Op::kExpectTap: {
                const std::string want =
                    tap.substr(static_cast<size_t>(step.ms), static_cast<size_t>(step.max_ms));
                EXPECT_EQ(device.receive(want.size(), 5000), want);
                break;
            }
            case Op::kQuiet: {
                // What the player printed for the steps before (the banner
                // is flushed after the handshake) may still be on its way.
                constexpr int kSettleMs = 200;
                EXPECT_EQ(device.receive(1, kSettleMs), "") << "bytes sent to the device";
                const std::string out = player.out_so_far();
                const std::string err = player.err_so_far();
                EXPECT_EQ(device.receive(1, step.ms - kSettleMs), "") << "bytes sent to the device";
                EXPECT_TRUE(player.running()) << player.err_so_far();
                EXPECT_EQ(player.out_so_far(), out);
                EXPECT_EQ(player.err_so_far(), err);
                break;
            }
            case Op::kTruncateTap:
                ASSERT_EQ(truncate(tap_path.c_str(), step.ms), 0);
                break;
            case Op::kReadAll:
                device.drain(100);
                break;
            case Op::kEndWithin: {
                const auto start = Clock::now();
                EXPECT_TRUE(player.ended_within(scaled_ms(step.max_ms))) << "still running";
                const auto took =
                    std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
                EXPECT_GE(took.count(), step.ms);
                break;
            }
        }
    }
};

TEST_P(Protocol, DeviceScriptEndsAsExpected) {
    const ProtocolCase& c = GetParam();
    TempDir dir;
    const std::string tap = make_tap(make_pulses(static_cast<size_t>(c.pulses), 11));
    const std::string tap_path = dir.write("game.tap", tap);
    PtyDevice device;
    PlayerProcess player({device.port_name(), tap_path});
    // What the device sends must meet the player's reads, not pile up
    // before the first of them.
    if (!wait_for_port_open(player.pid(), device) && !player_under_launcher()) {
        FAIL() << "the player never opened the port: " << player.err_so_far();
    }

    for (size_t i = 0; i < c.steps.size(); ++i) {
        SCOPED_TRACE("step " + std::to_string(i));
        run_step(c.steps[i], player, device, tap, tap_path);
        if (HasFatalFailure()) return;
    }

    const PlayerResult result = player.wait(scaled_ms(10000));
    EXPECT_FALSE(result.timed_out);
    EXPECT_EQ(result.exit_status, c.exit_status);
    EXPECT_EQ(result.err, expand(c.err, device.port_name(), tap_path));
    EXPECT_EQ(result.out.substr(0, banner_text().size()), banner_text());
    if (c.out_tail.empty()) {
        EXPECT_EQ(result.out.find("Success"), std::string::npos) << result.out;
    } else {
        EXPECT_TRUE(ends_with(result.out, expand(c.out_tail, device.port_name(), tap_path)))
            << result.out;
    }
    EXPECT_EQ(device.drain(100), "") << "bytes sent after the last step";
    // The port is free again the moment the player has gone.
    if (!player_under_launcher()) {
        EXPECT_TRUE(port_is_free(device));
    }
}

// Failure reports name the case, not its bytes.
void PrintTo(const ProtocolCase& c, std::ostream* os) { *os << c.name; }

INSTANTIATE_TEST_SUITE_P(Protocol, Protocol, testing::ValuesIn(protocol_cases()),
                         [](const auto& param_info) { return std::string(param_info.param.name); });

}  // namespace
