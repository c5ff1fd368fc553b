// `tavrel play` as a person uses it: choosing where to start, finding the
// port, stopping and resuming, and what it shows; always the same exchange
// as the classic player.
#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "harness/player_process.h"
#include "harness/pty_device.h"
#include "harness/temp_files.h"

namespace {

// Offsets of the demo tape's three programs, as `tavrel info` lists them.
constexpr unsigned kCountdownOffset = 0xab7a;
constexpr unsigned kBorderFlashOffset = 0x15a28;

int count_of(const std::string& text, const std::string& what) {
    int count = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++count;
    return count;
}

std::string hex(unsigned value) {
    char text[16];
    snprintf(text, sizeof text, "0x%x", value);
    return text;
}

class PlayTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (toolbox_path().empty()) GTEST_SKIP() << "the toolbox is not built";
        ASSERT_EQ(tool({"make", "--demo", "-o", demo_}).exit_status, 0);
    }

    // The simulator hands out /dev/pts paths, which a program under Wine
    // cannot open as a port.
    static bool simulator_usable() { return !sim_path().empty() && !player_under_launcher(); }

    static PlayerResult tool(const std::vector<std::string>& args, int timeout_ms = 30000) {
        PlayerProcess process(args, toolbox_path());
        return process.wait(timeout_ms);
    }

    // The simulated device checks everything it receives against the tape
    // played from `start`; the toolbox plays to it with `play_args`.
    static PlayerResult play_to_sim(const std::string& tape, unsigned start,
                                    const std::vector<std::string>& play_args,
                                    const std::vector<std::string>& pace = {"--pace", "fast"}) {
        std::vector<std::string> args = pace;
        args.insert(args.end(), {"--expect", tape, "--start", std::to_string(start), "--run", "--",
                                 toolbox_path(), "play", "--port", "{port}"});
        args.insert(args.end(), play_args.begin(), play_args.end());
        PlayerProcess sim(args, sim_path());
        return sim.wait(60000);
    }

    TempDir dir_;
    const std::string demo_ = dir_.file("demo.tap");
};

// Every way of naming the start reaches the device as the same exchange:
// the header's length lowered, the data from the chosen pilot.
TEST_F(PlayTest, StartsWhereAskedByNumberNameOrOffset) {
    if (!simulator_usable()) GTEST_SKIP() << "needs the simulator";
    const struct {
        const char* label;
        std::vector<std::string> args;
        unsigned start;
        const char* says;
    } cases[] = {
        {"whole tape", {}, 20, "Starting at file 1, HELLO"},
        {"number", {"--from", "2"}, kCountdownOffset, "Starting at file 2, COUNTDOWN"},
        {"whole name, any case", {"--from", "countdown"}, kCountdownOffset, "Starting at file 2"},
        {"unique prefix", {"--from", "Bor"}, kBorderFlashOffset, "Starting at file 3, BORDER FLASH"},
        {"hex offset", {"--offset", hex(kCountdownOffset)}, kCountdownOffset, "Starting at file 2"},
        {"decimal offset inside a file", {"--offset", "50000"}, 50000, "Starting inside file 2"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args = c.args;
        args.push_back(demo_);
        const PlayerResult run = play_to_sim(demo_, c.start, args);
        EXPECT_EQ(run.exit_status, 0) << c.label << "\n" << run.out << run.err;
        EXPECT_NE(run.out.find(c.says), std::string::npos) << c.label << "\n" << run.out;
        EXPECT_NE(run.err.find("all match"), std::string::npos) << c.label << "\n" << run.err;
    }
}

// A start that cannot be meant ends before any port is touched, in one
// line, with the files listed where a file was asked for.
TEST_F(PlayTest, AWrongStartIsExplainedAndListsTheFiles) {
    const std::string a = dir_.write("a.prg", std::string("\x01\x08\x00\x00\x00", 5));
    const std::string two = dir_.file("two.tap");
    ASSERT_EQ(tool({"make", "-o", two, a, "GAME", a, "GAMMA"}).exit_status, 0);
    const struct {
        const char* label;
        std::vector<std::string> args;
        const char* says;
        bool lists_files;
    } cases[] = {
        {"ambiguous prefix", {"--from", "ga", two}, "could be any of 2 files (1 GAME, 2 GAMMA)", true},
        {"unknown name", {"--from", "zork", two}, "no file on the tape is named \"zork\"", true},
        {"number past the end", {"--from", "3", two}, "there is no file 3: the tape holds 2", true},
        {"number zero", {"--from", "0", two}, "there is no file 0", true},
        {"offset in the header", {"--offset", "19", two}, "20-byte header", false},
        {"offset past the end", {"--offset", "0x7fffffff", two}, "past the end of the tape", false},
        {"offset not a number", {"--offset", "12k", two}, "decimal or 0x hex", false},
        {"both", {"--from", "1", "--offset", "20", two}, "--from excludes --offset", false},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args = {"play", "--port", dir_.file("no-such-port")};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const PlayerResult run = tool(args);
        EXPECT_EQ(run.exit_status, 1) << c.label;
        EXPECT_EQ(run.err.rfind("tavrel: ", 0), 0u) << c.label << ": " << run.err;
        EXPECT_NE(run.err.find(c.says), std::string::npos) << c.label << ": " << run.err;
        EXPECT_EQ(run.err.find("Unable to open"), std::string::npos) << c.label << ": " << run.err;
        EXPECT_EQ(run.err.find("GAMMA") != std::string::npos, c.lists_files) << c.label << ": " << run.err;
    }
    // An exact name wins over the longer names it starts.
    if (!simulator_usable()) return;
    const PlayerResult exact = play_to_sim(two, 20, {"--from", "game", two});
    EXPECT_EQ(exact.exit_status, 0) << exact.out << exact.err;
}

// The device receives byte for byte what the classic player sends when
// started from the same index entry.
TEST_F(PlayTest, SendsWhatTheClassicPlayerSendsFromTheSameEntry) {
    const PlayerResult index = tool({"index", demo_});
    ASSERT_EQ(index.exit_status, 0);
    const std::string index_path = dir_.write("demo.idx", index.out);
    const std::string tape = read_file(demo_);

    // Plays the device to the end of the data and gives every byte received.
    auto received = [&](const std::vector<std::string>& args, const std::string& program,
                        size_t data_bytes) {
        PtyDevice device;
        std::vector<std::string> full = args;
        for (std::string& arg : full) {
            if (arg == "{port}") arg = device.port_name();
        }
        PlayerProcess player(full, program);
        EXPECT_TRUE(wait_for_port_open(player.pid(), device));
        std::string bytes;
        if (!device_handshake(device)) return bytes;
        bytes += device_request(device, 'h', 20);
        while (bytes.size() < 20 + data_bytes) {
            const size_t left = 20 + data_bytes - bytes.size();
            const std::string block = device_request(device, 'd', left < 64 ? left : 64);
            if (block.empty()) break;
            bytes += block;
        }
        device.send("e");
        EXPECT_EQ(player.wait().exit_status, 0);
        return bytes;
    };
    const size_t data = tape.size() - kBorderFlashOffset;
    const std::string classic =
        received({"-i", index_path, "-p", "2", "{port}", demo_}, "", data);
    const std::string toolbox =
        received({"play", "--port", "{port}", "--from", "3", demo_}, toolbox_path(), data);
    EXPECT_EQ(classic.size(), 20 + data);
    EXPECT_TRUE(classic == toolbox) << "the toolbox sent other bytes than the classic player";
}

// Ctrl-C mid-file: the port is let go at once, one line says where it
// stopped and how to resume; that command replays the file from its pilot.
TEST_F(PlayTest, InterruptTellsHowToResumeAndTheResumePlaysTheFileFromItsPilot) {
    if (!simulator_usable()) GTEST_SKIP() << "needs the simulator";
    const std::string port_file = dir_.file("port");
    PlayerProcess sim({"--pace", "tape", "--speed", "4", "--port-file", port_file, "--timeout-ms",
                       "60000"},
                      sim_path());
    std::string port;
    for (int i = 0; i < 100 && port.empty(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        port = read_file(port_file);
    }
    ASSERT_FALSE(port.empty());
    while (!port.empty() && port.back() == '\n') port.pop_back();

    PlayerProcess play({"play", "--port", port, demo_}, toolbox_path());
    // Into the second file: at four times the tape's pace it starts after
    // about five seconds.
    for (int i = 0; i < 200 && play.out_so_far().find("File 2: COUNTDOWN") == std::string::npos; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ASSERT_NE(play.out_so_far().find("File 2: COUNTDOWN"), std::string::npos) << play.out_so_far();
    const auto asked = std::chrono::steady_clock::now();
    kill(play.pid(), SIGINT);
    ASSERT_TRUE(play.ended_within(2000));
    const double took =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - asked).count();
    const PlayerResult stopped = play.wait();
    EXPECT_EQ(stopped.exit_status, 130);
    EXPECT_LT(took, 1.0);
    EXPECT_EQ(count_of(stopped.out, "Stopped at "), 1) << stopped.out;
    EXPECT_NE(stopped.out.find("in file 2 (COUNTDOWN)"), std::string::npos) << stopped.out;
    const std::string resume = "tavrel play --port " + port + " --from 2 " + demo_;
    ASSERT_NE(stopped.out.find(resume + "\n"), std::string::npos) << stopped.out;
    sim.stop(SIGTERM);

    // The printed command, run as printed, against a device that checks it
    // receives the second file from the first pulse of its pilot.
    const PlayerResult resumed = play_to_sim(demo_, kCountdownOffset, {"--from", "2", demo_});
    EXPECT_EQ(resumed.exit_status, 0) << resumed.out << resumed.err;
    EXPECT_NE(resumed.err.find("all match"), std::string::npos) << resumed.err;
}

// The same stop mid-play with the device played by the test, so that it
// runs under Wine too (there the console's Ctrl-C event is what arrives).
TEST_F(PlayTest, InterruptWhileServingReleasesThePortAndNamesTheFile) {
    PtyDevice device;
    PlayerProcess play({"play", "--port", device.port_name(), demo_}, toolbox_path());
    ASSERT_TRUE(wait_for_port_open(play.pid(), device));
    ASSERT_TRUE(device_handshake(device));
    ASSERT_EQ(device_request(device, 'h', 20).size(), 20u);
    for (int block = 0; block < 10; ++block) ASSERT_EQ(device_request(device, 'd', 64).size(), 64u);

    kill(play.pid(), SIGINT);
    ASSERT_TRUE(play.ended_within(static_cast<int>(2000 * time_scale())));
    const PlayerResult stopped = play.wait();
    EXPECT_EQ(stopped.exit_status, 130);
    EXPECT_TRUE(port_is_free(device));
    EXPECT_NE(stopped.out.find("Stopped at 0:00 in file 1 (HELLO); the port is closed. To resume "
                               "from the start of that file: tavrel play --port " +
                               device.port_name() + " --from 1 " + demo_ + "\n"),
              std::string::npos)
        << stopped.out;
}

// A device that never shows its prompt: after about three seconds one line
// of advice, never repeated; Ctrl-C then ends the wait at once.
TEST_F(PlayTest, MissingPromptGivesAdviceOnceAndCtrlCEndsTheWait) {
    PtyDevice device;
    PlayerProcess play({"play", "--port", device.port_name(), demo_}, toolbox_path());
    ASSERT_TRUE(wait_for_port_open(play.pid(), device));
    const auto started = std::chrono::steady_clock::now();
    for (int i = 0; i < 160 && play.err_so_far().empty(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    const double advice_after =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    // Under Wine the port is seen open a little before the program is ready.
    EXPECT_GT(advice_after, player_under_launcher() ? 1.0 : 2.5);
    EXPECT_LT(advice_after, 6.0);
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    const std::string advice = play.err_so_far();
    EXPECT_EQ(count_of(advice, "\n"), 1) << advice;
    for (const char* word : {"prompt", device.port_name().c_str(), "connected", "command mode",
                             "tavrel ports"}) {
        EXPECT_NE(advice.find(word), std::string::npos) << word << ": " << advice;
    }

    // The prompt read waits up to seventeen seconds; the interrupt cuts it
    // short. Wine does not cancel a serial read under way: there the stop
    // comes when the read ends by itself.
    kill(play.pid(), SIGINT);
    ASSERT_TRUE(play.ended_within(player_under_launcher() ? 20000 : 1000));
    const PlayerResult stopped = play.wait();
    EXPECT_EQ(stopped.exit_status, 130);
    EXPECT_TRUE(port_is_free(device));
    EXPECT_NE(stopped.out.find("tavrel play --port " + device.port_name() + " " + demo_ + "\n"),
              std::string::npos)
        << stopped.out;
}

// Not on a terminal: plain lines, no control codes, at most one progress
// line a second and one line as each file starts.
TEST_F(PlayTest, PlainLinesWhenOutputIsAPipe) {
    if (!simulator_usable()) GTEST_SKIP() << "needs the simulator";
    const auto started = std::chrono::steady_clock::now();
    const PlayerResult run = play_to_sim(demo_, 20, {demo_}, {"--pace", "tape", "--speed", "16"});
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    ASSERT_EQ(run.exit_status, 0) << run.out << run.err;
    for (char c : run.out) {
        EXPECT_TRUE(c == '\n' || (c >= ' ' && c < 127)) << "control code " << int(c);
    }
    EXPECT_EQ(count_of(run.out, "File 2: COUNTDOWN"), 1) << run.out;
    EXPECT_EQ(count_of(run.out, "File 3: BORDER FLASH"), 1) << run.out;
    const int progress_lines = count_of(run.out, "% ");
    EXPECT_GE(progress_lines, 2) << run.out;
    EXPECT_LE(progress_lines, static_cast<int>(seconds) + 2) << run.out;
    EXPECT_NE(run.out.find("100%  0:57 / 0:57  3 BORDER FLASH"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("Success condition received from "), std::string::npos) << run.out;
}

}  // namespace
