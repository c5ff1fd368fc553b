#include <gtest/gtest.h>

#include "harness/player_process.h"
#include "harness/pty_device.h"
#include "harness/temp_files.h"

namespace {

// The worked run: 1000 bytes played from the start.
TEST(Playback, WholeTapeReachesTheDeviceAndSucceeds) {
    TempDir dir;
    const std::string tap = make_tap(make_pulses(980, 7));
    const std::string tap_path = dir.write("game.tap", tap);
    PtyDevice device;
    PlayerProcess player({device.port_name(), tap_path});

    ASSERT_TRUE(device_handshake(device));
    EXPECT_EQ(device_request(device, 'h', 20), tap.substr(0, 20));
    std::string data;
    for (int block = 0; block < 16; ++block) {
        const std::string got = device_request(device, 'd', block < 15 ? 64 : 20);
        EXPECT_EQ(got.size(), block < 15 ? 64u : 20u) << "block " << block;
        data += got;
    }
    EXPECT_EQ(data, tap.substr(20));
    device.send("e");
    const PlayerResult result = player.wait();
    EXPECT_EQ(result.exit_status, 0) << result.err;
    const std::string success =
        "Success condition received from " + device.port_name() + ", 980 bytes sent\n";
    ASSERT_GE(result.out.size(), success.size());
    EXPECT_EQ(result.out.substr(result.out.size() - success.size()), success);
    EXPECT_NE(result.out.find("\rBuffer time=0:00 "), std::string::npos);
    EXPECT_EQ(result.err, "");
}

}  // namespace
