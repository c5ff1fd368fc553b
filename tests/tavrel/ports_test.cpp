// The serial port listing through the toolbox's library: what the Linux
// backend makes of a sysfs tree, the macOS one of a /dev folder, Windows'
// identifiers taken apart, and the choice of the device's port.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ports_fixture.h"
#include "serial_ports.h"

namespace {

std::vector<std::string> names_of(const std::vector<SerialPortInfo>& ports) {
    std::vector<std::string> names;
    for (const SerialPortInfo& port : ports) names.push_back(port.name);
    return names;
}

// The machine the listing is meant for: a Tavrel on CDC ACM with its
// by-id name, an FTDI adapter, one real UART, the 8250 driver's empty slots
// and a virtual console.
void add_desk(SystemTree& tree) {
    tree.add_acm("ttyACM0", "1-2", kArduino);
    tree.add_by_id("usb-Arduino_LLC_Tavrel_Tape_8573532363135171A1E1-if00", "ttyACM0");
    tree.add_usb_serial("ttyUSB0", "1-3", kFtdi);
    tree.add_uart("ttyS0", 4);
    for (const char* slot : {"ttyS1", "ttyS2", "ttyS3"}) tree.add_uart(slot, 0);
    tree.add_virtual("tty1");
}

TEST(LinuxPorts, ListsUsbAndRealUartsButNoEmptySlotsOrConsoles) {
    SystemTree tree;
    add_desk(tree);
    std::string error;
    const std::vector<SerialPortInfo> ports = list_linux_ports(tree.root(), &error);
    EXPECT_EQ(error, "");
    const std::string dev = tree.root() + "/dev/";
    ASSERT_EQ(names_of(ports), (std::vector<std::string>{dev + "ttyACM0", dev + "ttyS0", dev + "ttyUSB0"}));

    const SerialPortInfo& acm = ports[0];
    EXPECT_TRUE(acm.likely_device);
    EXPECT_EQ(acm.manufacturer, "Arduino LLC");
    EXPECT_EQ(acm.product, "Tavrel Tape");
    EXPECT_EQ(acm.vendor_id, "2341");  // the device's, not its hub's (1d6b)
    EXPECT_EQ(acm.product_id, "8036");
    EXPECT_EQ(acm.serial, "8573532363135171A1E1");
    EXPECT_EQ(acm.by_id, dev + "serial/by-id/usb-Arduino_LLC_Tavrel_Tape_8573532363135171A1E1-if00");
    EXPECT_EQ(acm.description, "Arduino LLC Tavrel Tape, USB 2341:8036, serial 8573532363135171A1E1, " +
                                   acm.by_id);

    const SerialPortInfo& ftdi = ports[2];
    EXPECT_TRUE(ftdi.likely_device);
    EXPECT_EQ(ftdi.by_id, "");
    EXPECT_EQ(ftdi.description, "FTDI FT232R USB UART, USB 0403:6001, serial A50285BI");

    const SerialPortInfo& uart = ports[1];
    EXPECT_FALSE(uart.likely_device);
    EXPECT_EQ(uart.vendor_id, "");
    EXPECT_EQ(uart.description, "on-board serial port");
}

TEST(LinuxPorts, UsbDeviceWithoutStringsIsStillLikelyAndNamedByItsIds) {
    SystemTree tree;
    tree.add_usb_serial("ttyUSB0", "1-4", UsbStrings{"1a86", "7523", "", "", ""});
    const std::vector<SerialPortInfo> ports = list_linux_ports(tree.root(), nullptr);
    ASSERT_EQ(ports.size(), 1u);
    EXPECT_TRUE(ports[0].likely_device);
    EXPECT_EQ(ports[0].description, "USB serial device, USB 1a86:7523");
}

TEST(LinuxPorts, OrderIsNaturalWhateverTheFolderOrder) {
    SystemTree tree;
    for (const char* tty : {"ttyACM10", "ttyUSB0", "ttyACM2", "ttyACM1"}) {
        tree.add_acm(tty, std::string("1-") + (tty + 6), kArduino);
    }
    const std::string dev = tree.root() + "/dev/";
    EXPECT_EQ(names_of(list_linux_ports(tree.root(), nullptr)),
              (std::vector<std::string>{dev + "ttyACM1", dev + "ttyACM2", dev + "ttyACM10", dev + "ttyUSB0"}));
}

TEST(LinuxPorts, NoPortsIsAnAnswerButNoSysfsIsAnError) {
    SystemTree tree;
    tree.add_virtual("tty1");
    tree.add_uart("ttyS1", 0);
    std::string error;
    EXPECT_TRUE(list_linux_ports(tree.root(), &error).empty());
    EXPECT_EQ(error, "");

    tree.remove_sys();
    EXPECT_TRUE(list_linux_ports(tree.root(), &error).empty());
    EXPECT_NE(error.find(tree.root() + "/sys/class/tty"), std::string::npos) << error;
}

TEST(LinuxPorts, TheSystemListingReadsUnderTavrelSystemRoot) {
    SystemTree tree;
    tree.add_acm("ttyACM0", "1-2", kArduino);
    const ScopedEnv root("TAVREL_SYSTEM_ROOT", tree.root() + "/");
    EXPECT_EQ(names_of(list_serial_ports()), (std::vector<std::string>{tree.root() + "/dev/ttyACM0"}));
}

TEST(NaturalOrder, NumbersCompareByValue) {
    struct Case {
        const char* smaller;
        const char* larger;
    };
    const Case cases[] = {
        {"ttyACM2", "ttyACM10"},
        {"ttyACM9", "ttyUSB0"},
        {"ttyS0", "ttyUSB0"},
        {"COM9", "\\\\.\\COM10"},   // the device prefix is not looked at
        {"\\\\.\\COM12", "COM100"},
        {"ttyACM1", "ttyACM1a"},
        {"cu.usbmodem1101", "cu.usbmodem11101"},
    };
    for (const Case& c : cases) {
        EXPECT_TRUE(natural_less(c.smaller, c.larger)) << c.smaller << " < " << c.larger;
        EXPECT_FALSE(natural_less(c.larger, c.smaller)) << c.larger << " < " << c.smaller;
    }
    EXPECT_FALSE(natural_less("ttyACM1", "ttyACM1"));
    // Equal as numbers but not as names: still one before the other.
    EXPECT_NE(natural_less("ttyACM1", "ttyACM01"), natural_less("ttyACM01", "ttyACM1"));
}

TEST(MacPorts, ListsCuDevicesOnlyWithUsbOnesLikely) {
    SystemTree tree;
    for (const char* node : {"cu.usbmodem1101", "tty.usbmodem1101", "cu.Bluetooth-Incoming-Port",
                             "tty.Bluetooth-Incoming-Port", "cu.usbserial-A50285BI",
                             "tty.usbserial-A50285BI", "null", "ttys000"}) {
        tree.add_dev_node(node);
    }
    std::string error;
    const std::vector<SerialPortInfo> ports = list_macos_ports(tree.root(), &error);
    EXPECT_EQ(error, "");
    const std::string dev = tree.root() + "/dev/";
    ASSERT_EQ(names_of(ports), (std::vector<std::string>{dev + "cu.Bluetooth-Incoming-Port",
                                                         dev + "cu.usbmodem1101",
                                                         dev + "cu.usbserial-A50285BI"}));
    EXPECT_FALSE(ports[0].likely_device);
    EXPECT_EQ(ports[0].description, "Bluetooth serial port");
    EXPECT_TRUE(ports[1].likely_device);
    EXPECT_EQ(ports[1].description, "USB modem-class serial device (CDC ACM)");
    EXPECT_TRUE(ports[2].likely_device);

    EXPECT_EQ(list_macos_ports(tree.root() + "/missing", &error).size(), 0u);
    EXPECT_NE(error, "");
}

TEST(WindowsIds, HardwareIdGivesVendorAndProduct) {
    struct Case {
        const char* hardware_id;
        const char* vendor_id;
        const char* product_id;
    };
    const Case cases[] = {
        {"USB\\VID_2341&PID_8036&REV_0100&MI_00", "2341", "8036"},
        {"USB\\VID_1A86&PID_7523", "1a86", "7523"},  // lower case, as Linux shows them
        {"FTDIBUS\\VID_0403+PID_6001+A50285BIA\\0000", "0403", "6001"},
        {"ACPI\\PNP0501", "", ""},
        {"BTHENUM\\{00001101-0000-1000-8000-00805f9b34fb}_VID&0001005d_PID&0223", "", ""},
        {"USB\\VID_23", "", ""},  // cut short
        {"", "", ""},
    };
    for (const Case& c : cases) {
        const UsbIds ids = parse_hardware_id(c.hardware_id);
        EXPECT_EQ(ids.vendor_id, c.vendor_id) << c.hardware_id;
        EXPECT_EQ(ids.product_id, c.product_id) << c.hardware_id;
    }
}

TEST(WindowsIds, InstanceIdGivesTheDevicesOwnSerialOnly) {
    struct Case {
        const char* instance_id;
        const char* serial;
    };
    const Case cases[] = {
        {"USB\\VID_2341&PID_8036\\8573532363135171A1E1", "8573532363135171A1E1"},
        {"USB\\VID_1A86&PID_7523\\5&2C0B7F5&0&3", ""},  // made up by Windows
        {"USB\\VID_2341&PID_8036&MI_00\\6&1A2B3C&0&0000", ""},
        {"ACPI\\PNP0501\\1", ""},
        {"USB\\VID_2341&PID_8036", ""},
    };
    for (const Case& c : cases) EXPECT_EQ(serial_from_instance_id(c.instance_id), c.serial) << c.instance_id;
}

TEST(WindowsIds, PortsFromTenOnNeedTheDevicePrefix) {
    EXPECT_EQ(windows_port_path("COM1"), "COM1");
    EXPECT_EQ(windows_port_path("COM9"), "COM9");
    EXPECT_EQ(windows_port_path("COM10"), "\\\\.\\COM10");
    EXPECT_EQ(windows_port_path("COM255"), "\\\\.\\COM255");
}

// choose_device_port on what the Linux backend reads from a tree.
TEST(ChooseDevicePort, TakesTheOneLikelyPortElseListsWhatThereIs) {
    struct Case {
        const char* what;
        bool acm;
        bool ftdi;
        bool uart;
        bool found;
        std::vector<std::string> listed;      // ttys the message names
        std::vector<std::string> not_listed;  // ttys it must leave out
    };
    const Case cases[] = {
        {"no ports at all", false, false, false, false, {}, {}},
        {"only a UART", false, false, true, false, {"ttyS0"}, {}},
        {"one USB port beside a UART", true, false, true, true, {"ttyACM0"}, {"ttyS0"}},
        {"two USB ports", true, true, true, false, {"ttyACM0", "ttyUSB0"}, {"ttyS0"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SystemTree tree;
        tree.add_virtual("tty1");
        if (c.acm) tree.add_acm("ttyACM0", "1-2", kArduino);
        if (c.ftdi) tree.add_usb_serial("ttyUSB0", "1-3", kFtdi);
        if (c.uart) tree.add_uart("ttyS0", 4);
        const PortChoice choice = choose_device_port(list_linux_ports(tree.root(), nullptr));
        EXPECT_EQ(choice.found, c.found);
        if (c.found) {
            EXPECT_EQ(choice.port.name, tree.root() + "/dev/" + c.listed.front());
        } else {
            EXPECT_NE(choice.message.find("--port"), std::string::npos) << choice.message;
        }
        for (const std::string& tty : c.listed) {
            EXPECT_NE(choice.message.find(tree.root() + "/dev/" + tty), std::string::npos) << choice.message;
        }
        for (const std::string& tty : c.not_listed) {
            EXPECT_EQ(choice.message.find(tree.root() + "/dev/" + tty), std::string::npos) << choice.message;
        }
    }
}

}  // namespace
