// tavrel-sim against the real player: the simulated device must play whole
// tapes at every pace, and must notice when the player sends the wrong bytes.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "harness/player_process.h"
#include "harness/temp_files.h"

namespace {

constexpr double kTapeClockHz = 985248.0;

// 9000 pulse bytes (141 blocks) with long counts, one of which straddles the
// boundary between the second and third block and carries most of the
// playing time (17 of 22 seconds), so a decoder that lost it would pace far
// too fast.
struct TapeFixture {
    std::string pulses;
    uint64_t cycles = 0;
};

TapeFixture make_fixture() {
    TapeFixture tape;
    tape.pulses = make_pulses(9000, 3);
    struct LongCount {
        size_t at;
        uint32_t cycles;
    };
    const LongCount long_counts[] = {{10, 0x002710}, {126, 0xFEFEFE}, {4093, 0x000100}};
    std::vector<bool> in_long_count(tape.pulses.size(), false);
    for (const LongCount& count : long_counts) {
        tape.pulses[count.at] = '\0';
        for (size_t i = 0; i < 3; ++i) {
            tape.pulses[count.at + 1 + i] = static_cast<char>((count.cycles >> (8 * i)) & 0xFF);
        }
        for (size_t i = 0; i < 4; ++i) in_long_count[count.at + i] = true;
        tape.cycles += count.cycles;
    }
    for (size_t i = 0; i < tape.pulses.size(); ++i) {
        if (!in_long_count[i]) tape.cycles += 8u * static_cast<uint8_t>(tape.pulses[i]);
    }
    return tape;
}

struct SimRun {
    PlayerResult result;
    double seconds = 0;
};

// Runs the simulator, which runs the player on its port.
SimRun run_sim(const std::vector<std::string>& sim_args,
               const std::vector<std::string>& player_args) {
    std::vector<std::string> args = sim_args;
    args.insert(args.end(), {"--run", "--", player_path()});
    args.insert(args.end(), player_args.begin(), player_args.end());
    const auto start = std::chrono::steady_clock::now();
    PlayerProcess sim(args, sim_path());
    SimRun run;
    run.result = sim.wait(60000);
    run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return run;
}

class SimulatorTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (sim_path().empty()) GTEST_SKIP() << "tavrel-sim is not part of this build";
        // The simulator hands the player a /dev/pts path, which a player
        // run through a launcher cannot open as a port.
        if (player_under_launcher()) GTEST_SKIP() << "the player runs through a launcher";
    }
    TempDir dir;
};

struct PaceCase {
    const char* name;
    std::vector<std::string> args;
    double min_seconds;  // the least the pace allows for the fixture
    double max_seconds;  // 0: no upper bound
};

TEST_F(SimulatorTest, PlaysAMultiBlockTapeAtEachPace) {
    const TapeFixture tape = make_fixture();
    const std::string tap = dir.write("game.tap", make_tap(tape.pulses));
    const double line_seconds = static_cast<double>(20 + tape.pulses.size() - 64) * 10 / 115200;
    const double speed = 16;
    const double tape_seconds = static_cast<double>(tape.cycles) / kTapeClockHz / speed;
    ASSERT_GT(tape_seconds, 1.0) << "the fixture should take a noticeable time";

    const PaceCase cases[] = {
        {"fast", {"--pace", "fast"}, 0, 0},
        {"line", {"--pace", "line"}, line_seconds, 0},
        {"tape", {"--pace", "tape", "--speed", "16"}, tape_seconds, tape_seconds + 3},
    };
    const std::string verdict =
        "tavrel-sim: received " + std::to_string(tape.pulses.size()) + " pulse bytes, all match\n";
    for (const PaceCase& c : cases) {
        SCOPED_TRACE(c.name);
        // Greeting before the player has even opened the port, so that the
        // time measured is mostly the pace's own.
        std::vector<std::string> args = c.args;
        args.insert(args.end(), {"--startup-delay", "0", "--expect", tap});
        const SimRun run = run_sim(args, {"{port}", tap});
        EXPECT_EQ(run.result.exit_status, 0) << run.result.err;
        EXPECT_NE(run.result.err.find(verdict), std::string::npos) << run.result.err;
        EXPECT_NE(run.result.out.find(", " + std::to_string(tape.pulses.size()) + " bytes sent\n"),
                  std::string::npos)
            << run.result.out;
        EXPECT_GE(run.seconds, c.min_seconds);
        if (c.max_seconds > 0) {
            EXPECT_LE(run.seconds, c.max_seconds);
        }
    }
}

struct JudgeCase {
    const char* name;
    std::vector<std::string> sim_args;     // "EXPECT" stands for the expected file
    std::vector<std::string> player_args;  // "PLAYED" for the file played, "INDEX" for the index
    std::string played;                    // the TAP image the player plays
    int exit_status;
    std::string sim_says;
    std::string player_says;  // on its stdout or stderr
};

TEST_F(SimulatorTest, JudgesWhatThePlayerSent) {
    const std::string pulses = make_pulses(1000, 5);
    const std::string good = make_tap(pulses);
    std::string flipped = good;
    flipped[20 + 700] = static_cast<char>(flipped[20 + 700] ^ 0x01);
    const std::string expected_path = dir.write("expected.tap", good);
    const std::string index_path = dir.write("game.idx", "0x64 second part\n");

    const std::string mismatch_at_700 = "tavrel-sim: mismatch at pulse byte 700:";
    const JudgeCase cases[] = {
        {"same file", {"--expect", "EXPECT"}, {"{port}", "PLAYED"}, good, 0,
         "received 1000 pulse bytes, all match", "1000 bytes sent"},
        {"one pulse byte differs", {"--expect", "EXPECT"}, {"{port}", "PLAYED"}, flipped, 1,
         mismatch_at_700, "Failure condition received from"},
        {"shorter tape", {"--expect", "EXPECT"}, {"{port}", "PLAYED"},
         make_tap(pulses.substr(0, 900)), 1, "tavrel-sim: header mismatch at byte 16:",
         "Failure condition received from"},
        {"start offset from an index", {"--expect", "EXPECT", "--start", "0x64"},
         {"-i", "INDEX", "{port}", "PLAYED"}, good, 0, "received 920 pulse bytes, all match",
         "920 bytes sent"},
        {"start offset the player was not given", {"--expect", "EXPECT", "--start", "100"},
         {"{port}", "PLAYED"}, good, 1, "tavrel-sim: header mismatch at byte 16:",
         "Failure condition received from"},
        // The header promises more than the file holds: the player answers
        // the last requests with nothing.
        {"player runs dry", {"--timeout-ms", "1000"}, {"{port}", "PLAYED"},
         make_tap(pulses, 1100), 1, "tavrel-sim: received 1000 of 1100 pulse bytes",
         "Failure condition received from"},
        {"failure notice on demand", {"--expect", "EXPECT", "--fail"}, {"{port}", "PLAYED"}, good,
         1, "all match; sent the failure notice, as asked", "Failure condition received from"},
        {"unplugged during playback", {"--hang-up-after", "3"}, {"{port}", "PLAYED"}, good, 1,
         "tavrel-sim: hung up after 3 data blocks, as asked", "Error reading from /dev/"},
        {"player gives up at once", {"--expect", "EXPECT"}, {"{port}", "PLAYED-MISSING"}, good,
         1, "tavrel-sim: the player exited before", "Unable to open file"},
    };
    for (const JudgeCase& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string played_path = dir.write("played.tap", c.played);
        std::vector<std::string> sim_args;
        for (const std::string& arg : c.sim_args) {
            sim_args.push_back(arg == "EXPECT" ? expected_path : arg);
        }
        std::vector<std::string> player_args;
        for (const std::string& arg : c.player_args) {
            if (arg == "PLAYED") {
                player_args.push_back(played_path);
            } else if (arg == "PLAYED-MISSING") {
                player_args.push_back(dir.file("missing.tap"));
            } else {
                player_args.push_back(arg == "INDEX" ? index_path : arg);
            }
        }
        const SimRun run = run_sim(sim_args, player_args);
        const PlayerResult& result = run.result;
        EXPECT_FALSE(result.timed_out);
        EXPECT_EQ(result.exit_status, c.exit_status) << result.out << result.err;
        EXPECT_NE(result.err.find(c.sim_says), std::string::npos) << result.err;
        EXPECT_NE((result.out + result.err).find(c.player_says), std::string::npos)
            << result.out << result.err;
        // Every end is prompt: no step waited for its full time-out.
        EXPECT_LT(run.seconds, 5.0);
    }
}

// Without --run the simulator announces its port and judges on its own; the
// player, started separately, gets its own exit status.
TEST_F(SimulatorTest, AnnouncesThePortForAPlayerStartedSeparately) {
    const std::string tap = dir.write("game.tap", make_tap(make_pulses(300, 9)));
    const std::string port_file = dir.file("port");
    PlayerProcess sim({"--port-file", port_file, "--print-port", "--expect", tap}, sim_path());

    std::string port;
    for (int i = 0; i < 500 && port.empty(); ++i) {
        port = read_file(port_file);
        if (port.empty()) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_FALSE(port.empty()) << "no port file";
    ASSERT_EQ(port.back(), '\n');
    port.pop_back();
    EXPECT_EQ(port.rfind("/dev/", 0), 0u) << port;

    const PlayerResult player = run_player({port, tap}, 20000);
    const PlayerResult device = sim.wait(20000);
    EXPECT_EQ(player.exit_status, 0) << player.err;
    EXPECT_EQ(device.exit_status, 0) << device.err;
    EXPECT_EQ(device.out, port + "\n");
    EXPECT_EQ(device.err, "tavrel-sim: received 300 pulse bytes, all match\n");
}

TEST_F(SimulatorTest, GivesUpWhenNoPlayerComes) {
    PlayerProcess sim({"--print-port", "--timeout-ms", "300", "--startup-delay", "0"}, sim_path());
    const PlayerResult result = sim.wait(10000);
    EXPECT_FALSE(result.timed_out);
    EXPECT_EQ(result.exit_status, 1);
    EXPECT_NE(result.err.find("tavrel-sim: no play command within 300 ms"), std::string::npos)
        << result.err;
}

}  // namespace
