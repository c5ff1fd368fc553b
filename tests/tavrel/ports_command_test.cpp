// `tavrel ports` as a person runs it, with TAVREL_SYSTEM_ROOT pointing the
// binary at a small system tree.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "harness/player_process.h"
#include "ports_fixture.h"

namespace {

PlayerResult run_ports(const SystemTree& tree) {
    const ScopedEnv root("TAVREL_SYSTEM_ROOT", tree.root());
    PlayerProcess toolbox({"ports"}, TAVREL_TOOLBOX_PATH);
    return toolbox.wait();
}

TEST(PortsCommand, PrintsOneAlignedLinePerPortWithTheLikelyOnesMarked) {
    struct Case {
        const char* what;
        std::function<void(SystemTree&)> build;
        std::string expected;  // "@" stands for the root
    };
    const Case cases[] = {
        {"USB devices and a UART",
         [](SystemTree& tree) {
             tree.add_acm("ttyACM0", "1-2", kArduino);
             tree.add_by_id("usb-Arduino_LLC_Tavrel_Tape_8573532363135171A1E1-if00", "ttyACM0");
             tree.add_usb_serial("ttyUSB0", "1-3", kFtdi);
             tree.add_uart("ttyS0", 4);
             tree.add_uart("ttyS1", 0);
             tree.add_virtual("tty1");
         },
         "* @/dev/ttyACM0  Arduino LLC Tavrel Tape, USB 2341:8036, serial 8573532363135171A1E1, "
         "@/dev/serial/by-id/usb-Arduino_LLC_Tavrel_Tape_8573532363135171A1E1-if00\n"
         "  @/dev/ttyS0    on-board serial port\n"
         "* @/dev/ttyUSB0  FTDI FT232R USB UART, USB 0403:6001, serial A50285BI\n"
         "* a USB serial device: likely the Tavrel\n"},
        {"only a UART: no legend for a mark that is not there",
         [](SystemTree& tree) { tree.add_uart("ttyS0", 4); },
         "  @/dev/ttyS0  on-board serial port\n"},
        {"no ports", [](SystemTree& tree) { tree.add_virtual("tty1"); }, "no serial ports found\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SystemTree tree;
        c.build(tree);
        std::string expected;
        for (const char ch : c.expected) expected += ch == '@' ? tree.root() : std::string(1, ch);
        const PlayerResult result = run_ports(tree);
        EXPECT_EQ(result.exit_status, 0) << result.err;
        EXPECT_EQ(result.out, expected);
        EXPECT_EQ(result.err, "");
    }
}

TEST(PortsCommand, FailsWithOneLineWhenTheSystemCannotBeAsked) {
    SystemTree tree;
    tree.remove_sys();
    const PlayerResult result = run_ports(tree);
    EXPECT_EQ(result.exit_status, 1);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "Cannot list the serial ports: cannot read " + tree.root() +
                              "/sys/class/tty: No such file or directory\n");
}

}  // namespace
