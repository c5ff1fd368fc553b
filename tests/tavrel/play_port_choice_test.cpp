// `tavrel play` without --port: the one likely device port is used and
// named; none or several end the run with the ports listed. The system's
// facts come from a fixture tree; the chosen port really opens, through a
// link to a pseudo-terminal that the test plays the device on.
#include <gtest/gtest.h>

#include <string>

#include "harness/player_process.h"
#include "harness/pty_device.h"
#include "harness/temp_files.h"
#include "ports_fixture.h"

namespace {

TEST(PlayPortChoice, NoneOneOrSeveralCandidates) {
    TempDir dir;
    const std::string demo = dir.file("demo.tap");
    ASSERT_EQ(PlayerProcess({"make", "--demo", "-o", demo}, toolbox_path()).wait().exit_status, 0);

    {
        SCOPED_TRACE("none");
        SystemTree tree;
        tree.add_uart("ttyS0", 4);
        const ScopedEnv root("TAVREL_SYSTEM_ROOT", tree.root());
        const PlayerResult run = PlayerProcess({"play", demo}, toolbox_path()).wait();
        EXPECT_EQ(run.exit_status, 1);
        EXPECT_EQ(run.err.rfind("tavrel: ", 0), 0u) << run.err;
        EXPECT_NE(run.err.find(tree.root() + "/dev/ttyS0"), std::string::npos) << run.err;
        EXPECT_NE(run.err.find("--port"), std::string::npos) << run.err;
        EXPECT_EQ(run.out.find("Starting"), std::string::npos) << run.out;
    }
    {
        SCOPED_TRACE("several");
        SystemTree tree;
        tree.add_acm("ttyACM0", "1-1", kArduino);
        tree.add_usb_serial("ttyUSB0", "1-2", kFtdi);
        const ScopedEnv root("TAVREL_SYSTEM_ROOT", tree.root());
        const PlayerResult run = PlayerProcess({"play", demo}, toolbox_path()).wait();
        EXPECT_EQ(run.exit_status, 1);
        EXPECT_NE(run.err.find(tree.root() + "/dev/ttyACM0"), std::string::npos) << run.err;
        EXPECT_NE(run.err.find(tree.root() + "/dev/ttyUSB0"), std::string::npos) << run.err;
        EXPECT_NE(run.err.find("--port"), std::string::npos) << run.err;
    }
    {
        SCOPED_TRACE("one");
        PtyDevice device;
        SystemTree tree;
        tree.add_acm("ttyACM0", "1-1", kArduino);
        tree.add_uart("ttyS0", 4);
        tree.add_dev_link("ttyACM0", device.slave_path());
        const ScopedEnv root("TAVREL_SYSTEM_ROOT", tree.root());
        PlayerProcess play({"play", demo}, toolbox_path());
        ASSERT_TRUE(wait_for_port_open(play.pid(), device));
        ASSERT_TRUE(device_handshake(device));
        EXPECT_EQ(device_request(device, 'h', 20).size(), 20u);
        device.send("e");
        const PlayerResult run = play.wait();
        EXPECT_EQ(run.exit_status, 0) << run.err;
        EXPECT_NE(run.out.find("Using " + tree.root() + "/dev/ttyACM0"), std::string::npos) << run.out;
        EXPECT_NE(run.out.find("Success condition received from " + tree.root() + "/dev/ttyACM0, 0 bytes sent"),
                  std::string::npos)
            << run.out;
    }
}

}  // namespace
