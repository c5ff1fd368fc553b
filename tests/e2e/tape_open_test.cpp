// TAP files that fail to open or are too short: found only once the port
// is open, reported with the path as typed, and the port given back.
#include <gtest/gtest.h>

#include <algorithm>
#include <ostream>
#include <string>

#include <sys/stat.h>

#include "harness/player_process.h"
#include "harness/pty_device.h"
#include "harness/temp_files.h"

namespace {

int scaled_ms(int ms) { return static_cast<int>(ms * time_scale()); }

struct BadTapeCase {
    const char* name;
    int size;  // bytes of the TAP file; -1 none, -2 a folder of that name
    const char* message;  // %s is the TAP path
};

// Failure reports name the case, not its bytes.
void PrintTo(const BadTapeCase& c, std::ostream* os) { *os << c.name; }

class BadTape : public testing::TestWithParam<BadTapeCase> {};

TEST_P(BadTape, IsReportedAfterThePortOpenedAndThePortIsGivenBack) {
    const BadTapeCase& c = GetParam();
    TempDir dir;
    const std::string tap = make_tap(make_pulses(100, 2));
    std::string tap_path = dir.file("game.tap");
    if (c.size >= 0) tap_path = dir.write("game.tap", tap.substr(0, static_cast<size_t>(c.size)));
    if (c.size == -2) {
        ASSERT_EQ(mkdir(tap_path.c_str(), 0755), 0);
    }
    PtyDevice device;

    const PlayerResult result = run_player({device.port_name(), tap_path}, scaled_ms(10000));
    std::string message = c.message;
    message.replace(message.find("%s"), 2, tap_path);
    EXPECT_EQ(result.exit_status, 1);
    EXPECT_EQ(result.err, message);
    EXPECT_EQ(result.out, banner_text());
    EXPECT_EQ(device.drain(50), "") << "bytes sent to the device";

    if (!player_under_launcher()) {
        EXPECT_TRUE(port_is_free(device));
    }
    // A player started right after must have the port and play.
    const std::string good_path = dir.write("good.tap", tap);
    PlayerProcess next({device.port_name(), good_path});
    ASSERT_TRUE(device_handshake(device));
    EXPECT_EQ(device_request(device, 'h', 20), tap.substr(0, 20));
    device.send("e");
    EXPECT_EQ(next.wait(scaled_ms(10000)).exit_status, 0);
}

INSTANTIATE_TEST_SUITE_P(
    TapeOpen, BadTape,
    testing::Values(BadTapeCase{"Missing", -1, "Unable to open file %s for read\n"},
                    BadTapeCase{"Folder", -2, "Unable to open file %s for read\n"},
                    BadTapeCase{"Empty", 0, "File %s is too short to ba a valid TAP file\n"},
                    BadTapeCase{"OneByteShort", 19,
                                "File %s is too short to ba a valid TAP file\n"}),
    [](const auto& param_info) { return std::string(param_info.param.name); });

// The smallest TAP file: its header is all there is, so data requests get
// nothing and the device's notice reports 0 bytes.
TEST(TapeOpen, HeaderOnlyFileIsPlayed) {
    TempDir dir;
    const std::string tap = make_tap("");
    PtyDevice device;
    PlayerProcess player({device.port_name(), dir.write("game.tap", tap)});
    ASSERT_TRUE(device_handshake(device));
    EXPECT_EQ(device_request(device, 'h', 20), tap);
    EXPECT_EQ(device_request(device, 'd', 1, 700), "");
    device.send("e");
    const PlayerResult result = player.wait(scaled_ms(10000));
    EXPECT_EQ(result.exit_status, 0) << result.err;
    const std::string success =
        "Success condition received from " + device.port_name() + ", 0 bytes sent\n";
    EXPECT_EQ(result.out.substr(result.out.size() - std::min(result.out.size(), success.size())),
              success);
}

}  // namespace
