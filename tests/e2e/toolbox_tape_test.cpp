// The toolbox's tape commands as a program: their tape time against the player's own time
// line, its index as the player's index file, and its ends on bad input.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <cstdint>
#include <string>
#include <vector>

#include "harness/player_process.h"
#include "harness/pty_device.h"
#include "harness/temp_files.h"

namespace {

PlayerResult run_tap(const std::vector<std::string>& args) {
    PlayerProcess tool(args, toolbox_path());
    return tool.wait();
}

// Plays the whole file to a device that asks for every block, then
// reports success; gives the player's result.
PlayerResult play_whole(const std::string& tap_path, size_t file_size,
                        const std::vector<std::string>& options = {}, size_t start = 20) {
    PtyDevice device;
    std::vector<std::string> args = options;
    args.push_back(device.port_name());
    args.push_back(tap_path);
    PlayerProcess player(args);
    if (!device_handshake(device)) return player.stop(9);
    EXPECT_EQ(device_request(device, 'h', 20).size(), 20u);
    for (size_t left = file_size - start; left > 0;) {
        const size_t n = std::min<size_t>(64, left);
        const std::string block = device_request(device, 'd', n);
        EXPECT_EQ(block.size(), n) << left << " bytes left";
        if (block.size() != n) return player.stop(9);
        left -= n;
    }
    device.send("e");
    return player.wait();
}

std::string last_time_line(const std::string& out) {
    const std::string mark = "\rBuffer time=";
    const size_t at = out.rfind(mark);
    if (at == std::string::npos) return "";
    const size_t from = at + mark.size();
    return out.substr(from, out.find(' ', from) - from);
}

// "Tape time:  m:ss (...)" from info.
std::string info_time(const std::string& out) {
    const std::string mark = "Tape time:  ";
    const size_t at = out.find(mark);
    if (at == std::string::npos) return "";
    const size_t from = at + mark.size();
    return out.substr(from, out.find(' ', from) - from);
}

std::string long_count(uint32_t cycles) {
    return std::string(1, '\0') + static_cast<char>(cycles & 0xFF) +
           static_cast<char>((cycles >> 8) & 0xFF) + static_cast<char>((cycles >> 16) & 0xFF);
}

TEST(TapToolTime, InfoTotalEqualsThePlayersLastTimeLine) {
    ASSERT_FALSE(toolbox_path().empty());
    TempDir dir;
    // The demo tape, made by the tool itself.
    const std::string demo_path = dir.file("demo.tap");
    const PlayerResult made = run_tap({"make", "--demo", "-o", demo_path});
    ASSERT_EQ(made.exit_status, 0) << made.err;
    // Long counts that wrap the 32-bit total, one split over two of the
    // player's blocks, and a count cut off by the end of the file.
    std::string pulses(61, '\x30');
    pulses += long_count(0xFFFFFF);
    for (int i = 0; i < 300; ++i) pulses += long_count(0xFFFFFF) + "\x42\x56";
    pulses += std::string(1, '\0') + "\x10";
    const std::string wrap_path = dir.write("wrap.tap", make_tap(pulses));

    for (const std::string& path : {demo_path, wrap_path}) {
        const size_t size = read_file(path).size();
        const PlayerResult info = run_tap({"info", path});
        ASSERT_EQ(info.exit_status, 0) << info.err;
        const PlayerResult played = play_whole(path, size);
        ASSERT_EQ(played.exit_status, 0) << played.err;
        EXPECT_NE(info_time(info.out), "") << info.out;
        EXPECT_EQ(info_time(info.out), last_time_line(played.out)) << path;
    }
}

// The index is an index file for the player: entry 2 starts playback at the
// third program's pilot.
TEST(TapToolIndex, PlayerStartsAtTheChosenProgram) {
    TempDir dir;
    const std::string tap_path = dir.file("demo.tap");
    ASSERT_EQ(run_tap({"make", "--demo", "-o", tap_path}).exit_status, 0);
    const PlayerResult index = run_tap({"index", tap_path});
    ASSERT_EQ(index.exit_status, 0) << index.err;
    ASSERT_EQ(std::count(index.out.begin(), index.out.end(), '\n'), 3) << index.out;
    EXPECT_EQ(index.out.substr(0, 11), "0x14 HELLO\n");
    const std::string third = index.out.substr(index.out.rfind('\n', index.out.size() - 2) + 1);
    const size_t offset = std::stoul(third.substr(2), nullptr, 16);
    EXPECT_EQ(third.substr(third.find(' ')), " BORDER FLASH\n");
    const std::string index_path = dir.write("demo.idx", index.out);

    const std::string tap = read_file(tap_path);
    PtyDevice device;
    PlayerProcess player({"-i", index_path, "-p", "2", device.port_name(), tap_path});
    ASSERT_TRUE(device_handshake(device));
    const std::string header = device_request(device, 'h', 20);
    uint32_t length = 0;
    for (int i = 3; i >= 0; --i) {
        length = length << 8 | static_cast<uint8_t>(header[static_cast<size_t>(16 + i)]);
    }
    EXPECT_EQ(length, tap.size() - offset);
    EXPECT_EQ(device_request(device, 'd', 64), tap.substr(offset, 64));
    device.send("f");
    const PlayerResult result = player.wait();
    EXPECT_NE(result.out.find(">> "), std::string::npos) << result.out;
}

// Bad input: one line on stderr and a failing status, never a crash.
TEST(TapToolErrors, OneLineAndAFailingStatus) {
    TempDir dir;
    std::string bad_signature = make_tap(std::string(100, '\x30'));
    bad_signature.replace(0, 12, "NOT-A-TAPE!!");
    const struct {
        const char* label;
        std::vector<std::string> args;
        const char* in_err;
    } cases[] = {
        {"missing file", {"index", dir.file("none.tap")}, "cannot read"},
        {"folder", {"info", dir.path()}, "cannot read"},
        {"short file", {"info", dir.write("short.tap", "C64-TAPE-RAW\x01")}, "too short"},
        {"bad signature", {"index", dir.write("sig.tap", bad_signature)}, "does not start with C64-TAPE-RAW"},
        {"unknown command", {"rewind", "x.tap"}, "rewind"},
        {"two tapes", {"index", "a.tap", "b.tap"}, "b.tap"},
        {"make without -o", {"make", "--demo"}, "-o"},
        {"make of a missing program", {"make", "-o", dir.file("out.tap"), dir.file("none.prg")}, "cannot read"},
        {"make of an empty program", {"make", "-o", dir.file("out.tap"), dir.write("empty.prg", "\x01\x08")}, "holds no program"},
        {"make with a long name", {"make", "-o", dir.file("out.tap"), dir.write("p.prg", "\x01\x08\x00"), "SEVENTEEN LETTERS"}, "does not fit"},
        {"make past $FFFF", {"make", "-o", dir.file("out.tap"), dir.write("hi.prg", std::string("\xF0\xFF") + std::string(20, 'x'))}, "does not fit in memory"},
    };
    for (const auto& c : cases) {
        const PlayerResult result = run_tap(c.args);
        EXPECT_NE(result.exit_status, 0) << c.label;
        EXPECT_EQ(result.signal, 0) << c.label;
        EXPECT_NE(result.err.find(c.in_err), std::string::npos) << c.label << ": " << result.err;
        EXPECT_EQ(result.err.substr(0, 7), "tavrel:") << c.label;
    }
    EXPECT_FALSE(std::ifstream(dir.file("out.tap")).good()) << "a failed make wrote a file";

    const PlayerResult none = run_tap({});
    EXPECT_EQ(none.exit_status, 1);
    const PlayerResult help = run_tap({"--help"});
    EXPECT_EQ(help.exit_status, 0);
    for (const char* word : {"play", "ports", "make", "index", "info"}) {
        EXPECT_NE(none.err.find(word), std::string::npos) << word;
        EXPECT_NE(help.out.find(word), std::string::npos) << word;
    }
}

// A header whose first copy is spoilt: the tool says so and lists the
// program from its repeat, at the first copy's pilot.
TEST(TapToolIndex, SpoiltFirstCopyIsReportedAndTheRepeatUsed) {
    TempDir dir;
    const std::string prg_path = dir.write("a.prg", std::string("\x00\xC0", 2) + "\xA9\x01\x60");
    const std::string tap_path = dir.file("a.tap");
    ASSERT_EQ(run_tap({"make", "-o", tap_path, prg_path, "spoilt"}).exit_status, 0);
    std::string tap = read_file(tap_path);
    // First name byte of the first copy: pilot, 9 sync bytes and 5 header
    // bytes of 20 pulses each, the marker; swap the pulses of bit 0.
    const size_t bit0 = 20 + 0x6A00 + 14 * 20 + 2;
    std::swap(tap[bit0], tap[bit0 + 1]);
    dir.write("a.tap", tap);
    const PlayerResult index = run_tap({"index", tap_path});
    EXPECT_EQ(index.exit_status, 0);
    EXPECT_EQ(index.out, "0x14 SPOILT\n");
    EXPECT_NE(index.err.find("header at 0x14: first copy has a parity error; the repeat copy is used"),
              std::string::npos)
        << index.err;
}

}  // namespace
