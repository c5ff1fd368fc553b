// The index stage in the real binary: listing, playing from the chosen
// entry, and the ends of the run that the index decides.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "harness/player_process.h"
#include "harness/pty_device.h"
#include "common/index_example.h"
#include "harness/temp_files.h"

namespace {

const std::string& kIndex = kExampleIndex;

const std::string kListingAtTwo =
    "   00000000 (hex: 00000000): Start of tape\n"
    "   00000025 (hex: 00000019): First file\n"
    ">> 00000500 (hex: 000001f4): Second file\n"
    "   00001000 (hex: 000003e8): Fourth\n"
    "\n";

// A port name under which nothing can be opened: any message about it
// would show that the run went past the index stage.
const std::string kNoPort = "/nonexistent/tavrel-port";

std::string little_endian(uint32_t value) {
    std::string bytes;
    for (int shift = 0; shift < 32; shift += 8) bytes += static_cast<char>((value >> shift) & 0xFF);
    return bytes;
}

TEST(IndexPlayback, ListsThenPlaysFromTheSelectedEntry) {
    TempDir dir;
    const std::string tap = make_tap(make_pulses(980, 3));  // 1000 bytes, length field 980
    const std::string tap_path = dir.write("game.tap", tap);
    const std::string index_path = dir.write("game.idx", kIndex);
    PtyDevice device;
    PlayerProcess player({"-i", index_path, "-p", "2", device.port_name(), tap_path});

    ASSERT_TRUE(device_handshake(device));
    // The length field counts the pulse bytes from offset 500 on: 980 - 480.
    EXPECT_EQ(device_request(device, 'h', 20), tap.substr(0, 16) + little_endian(500));
    std::string data;
    for (int block = 0; block < 8; ++block) {
        const size_t expected = block < 7 ? 64 : 52;
        const std::string got = device_request(device, 'd', expected);
        EXPECT_EQ(got.size(), expected) << "block " << block;
        data += got;
    }
    EXPECT_EQ(data, tap.substr(500));
    EXPECT_EQ(device_request(device, 'd', 1, 300), "") << "data beyond the end of the file";
    device.send("e");

    const PlayerResult result = player.wait();
    EXPECT_EQ(result.exit_status, 0) << result.err;
    EXPECT_EQ(result.err, "");
    const size_t listing = result.out.find(kListingAtTwo);
    ASSERT_NE(listing, std::string::npos) << result.out;
    const size_t time_line = result.out.find("\rBuffer time=");
    ASSERT_NE(time_line, std::string::npos) << result.out;
    EXPECT_LT(listing, time_line);
    const std::string success =
        "Success condition received from " + device.port_name() + ", 500 bytes sent\n";
    ASSERT_GE(result.out.size(), success.size());
    EXPECT_EQ(result.out.substr(result.out.size() - success.size()), success);
}

// An entry that lies at or beyond the end of the pulse data by the header's
// count is refused once the header has been read; the device gets nothing.
TEST(IndexPlayback, EntryBeyondTheLengthFieldIsRefusedAtTheHeaderRequest) {
    const std::vector<std::string> entries = {"1000 Just past the data\n", "-1 Far beyond\n"};
    for (const std::string& entry : entries) {
        SCOPED_TRACE(entry);
        TempDir dir;
        const std::string tap_path = dir.write("game.tap", make_tap(make_pulses(980, 5)));
        const std::string index_path = dir.write("game.idx", entry);
        PtyDevice device;
        PlayerProcess player({"-i", index_path, device.port_name(), tap_path});

        ASSERT_TRUE(device_handshake(device));
        device.send("h");
        const PlayerResult result = player.wait();
        EXPECT_EQ(device.drain(200), "");
        EXPECT_EQ(result.exit_status, 1);
        EXPECT_EQ(result.err, "Invalid index supplied for " + tap_path + "\n");
        EXPECT_EQ(result.out.find("Success"), std::string::npos);
    }
}

// The listing comes before the positional arguments are looked at.
TEST(IndexCommandLine, ListingPrecedesTheUsageText) {
    const std::vector<std::vector<std::string>> positionals = {
        {},
        {"COM9"},
        {"COM9", "game.tap", "extra"},
    };
    TempDir dir;
    const std::string index_path = dir.write("game.idx", kIndex);
    for (const auto& tail : positionals) {
        SCOPED_TRACE(testing::PrintToString(tail));
        std::vector<std::string> args = {"-i", index_path, "-p", "2"};
        args.insert(args.end(), tail.begin(), tail.end());

        const PlayerResult result = run_player(args);

        EXPECT_EQ(result.exit_status, 1);
        EXPECT_EQ(result.err, "");
        EXPECT_NE(result.out.find(kListingAtTwo + "Usage: "), std::string::npos) << result.out;
    }
}

// A failed listing ends the run with its own message: no usage text, and the
// port is never opened.
TEST(IndexCommandLine, FailedListingEndsTheRunBeforeThePort) {
    struct Case {
        const char* position;
        std::vector<std::string> positionals;
        std::string out_tail;  // "{path}" stands for the index file
    };
    const std::string beyond =
        "   00000000 (hex: 00000000): Start of tape\n"
        "   00000025 (hex: 00000019): First file\n"
        "   00000500 (hex: 000001f4): Second file\n"
        "   00001000 (hex: 000003e8): Fourth\n"
        "\n"
        "The selected index, 4, does not exist in {path}\n";
    const std::string invalid = ">> The selected index, 0, does not refer to a valid position\n";
    const std::vector<Case> cases = {
        {"4", {kNoPort, "game.tap"}, beyond},
        {"4", {}, beyond},
        {"0", {kNoPort, "game.tap"}, invalid},
        {"0", {"COM9"}, invalid},
    };
    TempDir dir;
    const std::string index_path = dir.write("game.idx", kIndex);
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string("-p ") + c.position + " " + testing::PrintToString(c.positionals));
        std::vector<std::string> args = {"-i", index_path, "-p", c.position};
        args.insert(args.end(), c.positionals.begin(), c.positionals.end());
        std::string tail = c.out_tail;
        const size_t marker = tail.find("{path}");
        if (marker != std::string::npos) tail.replace(marker, 6, index_path);

        const PlayerResult result = run_player(args);

        EXPECT_EQ(result.exit_status, 1);
        EXPECT_EQ(result.err, "");
        ASSERT_GE(result.out.size(), tail.size()) << result.out;
        EXPECT_EQ(result.out.substr(result.out.size() - tail.size()), tail);
        EXPECT_EQ(result.out.find("Usage"), std::string::npos);
    }
}

TEST(IndexCommandLine, UnopenableIndexFileEndsTheRunBeforeThePort) {
    TempDir dir;
    const std::string tap_path = dir.write("game.tap", make_tap(make_pulses(100)));
    const std::vector<std::string> index_paths = {dir.file("absent.idx"), dir.path()};
    for (const std::string& index_path : index_paths) {
        SCOPED_TRACE(index_path);
        const PlayerResult result = run_player({"-i", index_path, kNoPort, tap_path});

        EXPECT_EQ(result.exit_status, 1);
        EXPECT_EQ(result.err, "Unable to open index file " + index_path + "\n");
        EXPECT_EQ(result.out.find("Usage"), std::string::npos);
        EXPECT_EQ(result.out.find("(hex:"), std::string::npos);
    }
}

}  // namespace
