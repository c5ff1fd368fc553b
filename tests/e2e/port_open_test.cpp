// Ports the player cannot have: it says so with the name as typed, ends
// with status 1, and leaves whoever holds the port undisturbed.
#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "harness/player_process.h"
#include "harness/pty_device.h"
#include "harness/temp_files.h"

namespace {

int scaled_ms(int ms) { return static_cast<int>(ms * time_scale()); }

struct MissingPortCase {
    const char* name;
    const char* port;  // relative to a scratch folder; "." is the folder itself
};

// Failure reports name the case, not its bytes.
void PrintTo(const MissingPortCase& c, std::ostream* os) { *os << c.name; }

class PortThatCannotBeOpened : public testing::TestWithParam<MissingPortCase> {};

TEST_P(PortThatCannotBeOpened, IsReportedWithTheNameAsTyped) {
    TempDir dir;
    const std::string tap_path = dir.write("game.tap", make_tap(make_pulses(100)));
    const std::string port = *GetParam().port == '\0' ? "" : dir.file(GetParam().port);
    const PlayerResult result = run_player({port, tap_path}, scaled_ms(10000));
    EXPECT_EQ(result.exit_status, 1);
    EXPECT_EQ(result.err, "Unable to open " + port + "\n");
    EXPECT_EQ(result.out, banner_text());
}

INSTANTIATE_TEST_SUITE_P(PortOpen, PortThatCannotBeOpened,
                         testing::Values(MissingPortCase{"NoSuchPort", "no-such-port"},
                                         MissingPortCase{"Folder", "."},
                                         MissingPortCase{"EmptyName", ""}),
                         [](const auto& param_info) { return std::string(param_info.param.name); });

// A second player on a port that a first one is using is turned away, and
// the first one plays on as if nothing happened.
TEST(PortOpen, PortInUseByAnotherPlayerIsNotOpened) {
    TempDir dir;
    const std::string tap = make_tap(make_pulses(100, 4));
    const std::string tap_path = dir.write("game.tap", tap);
    PtyDevice device;
    PlayerProcess first({device.port_name(), tap_path});
    ASSERT_TRUE(device_handshake(device));

    const PlayerResult second = run_player({device.port_name(), tap_path}, scaled_ms(10000));
    EXPECT_EQ(second.exit_status, 1);
    EXPECT_EQ(second.err, "Unable to open " + device.port_name() + "\n");
    EXPECT_EQ(device.drain(50), "") << "the second player reached the device";

    EXPECT_EQ(device_request(device, 'h', 20), tap.substr(0, 20));
    device.send("e");
    const PlayerResult result = first.wait(scaled_ms(10000));
    EXPECT_EQ(result.exit_status, 0) << result.err;
    EXPECT_EQ(result.err, "");
}

TEST(PortOpen, PortHeldByAnotherProgramIsNotOpened) {
    TempDir dir;
    const std::string tap_path = dir.write("game.tap", make_tap(make_pulses(100)));
    PtyDevice device;
    PortHolder holder(device.slave_path());
    ASSERT_TRUE(holder.held());
    const PlayerResult result = run_player({device.port_name(), tap_path}, scaled_ms(10000));
    EXPECT_EQ(result.exit_status, 1);
    EXPECT_EQ(result.err, "Unable to open " + device.port_name() + "\n");
    EXPECT_EQ(device.drain(50), "");
}

}  // namespace
