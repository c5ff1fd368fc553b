#include "ports_fixture.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

const UsbStrings kArduino{"2341", "8036", "Arduino LLC", "Tavrel Tape", "8573532363135171A1E1"};
const UsbStrings kFtdi{"0403", "6001", "FTDI", "FT232R USB UART", "A50285BI"};

namespace {

// One PCI controller with root hub usb1; the hub has ids of its own, as a
// real one does, so a search that climbs past the device finds the hub.
const std::string kHub = "sys/devices/pci0000:00/0000:00:14.0/usb1";

void write_attribute(const fs::path& file, const std::string& value) {
    if (value.empty()) return;
    std::ofstream out(file);
    out << value << "\n";
    if (!out) ADD_FAILURE() << "cannot write " << file;
}

void make_dir(const fs::path& dir) {
    std::error_code ec;
    fs::create_directories(dir, ec);
    if (ec) ADD_FAILURE() << "cannot make " << dir << ": " << ec.message();
}

void symlink(const std::string& target, const fs::path& link) {
    std::error_code ec;
    fs::create_symlink(target, link, ec);
    if (ec) ADD_FAILURE() << "cannot link " << link << ": " << ec.message();
}

}  // namespace

SystemTree::SystemTree() {
    make_dir(root() + "/sys/class/tty");
    make_dir(root() + "/dev");
    make_dir(root() + "/" + kHub);
    write_attribute(root() + "/" + kHub + "/idVendor", "1d6b");
    write_attribute(root() + "/" + kHub + "/idProduct", "0002");
    write_attribute(root() + "/" + kHub + "/product", "xHCI Host Controller");
}

void SystemTree::add_usb_device(const std::string& usb_port, const UsbStrings& usb) {
    const fs::path device = root() + "/" + kHub + "/" + usb_port;
    make_dir(device);
    write_attribute(device / "idVendor", usb.vendor_id);
    write_attribute(device / "idProduct", usb.product_id);
    write_attribute(device / "manufacturer", usb.manufacturer);
    write_attribute(device / "product", usb.product);
    write_attribute(device / "serial", usb.serial);
}

// sys/class/tty/<tty> -> ../../<tty_dir below sys>
void SystemTree::link_class(const std::string& tty, const std::string& tty_dir) {
    symlink("../../" + tty_dir.substr(std::string("sys/").size()), root() + "/sys/class/tty/" + tty);
}

void SystemTree::add_acm(const std::string& tty, const std::string& usb_port, const UsbStrings& usb) {
    add_usb_device(usb_port, usb);
    const std::string interface = usb_port + ":1.0";
    const std::string tty_dir = kHub + "/" + usb_port + "/" + interface + "/tty/" + tty;
    make_dir(root() + "/" + tty_dir);
    symlink("../../../" + interface, root() + "/" + tty_dir + "/device");
    link_class(tty, tty_dir);
}

void SystemTree::add_usb_serial(const std::string& tty, const std::string& usb_port,
                                const UsbStrings& usb) {
    add_usb_device(usb_port, usb);
    const std::string port_dir = kHub + "/" + usb_port + "/" + usb_port + ":1.0/" + tty;
    const std::string tty_dir = port_dir + "/tty/" + tty;
    make_dir(root() + "/" + tty_dir);
    symlink("../../../" + tty, root() + "/" + tty_dir + "/device");
    link_class(tty, tty_dir);
}

void SystemTree::add_uart(const std::string& tty, int type) {
    // A UART that answers hangs below its firmware node; the empty slots
    // below the driver's platform device.
    const std::string parent =
        type != 0 ? "sys/devices/pnp0/00:00/00:00:0/00:00:0.0" : "sys/devices/platform/serial8250";
    const std::string tty_dir = parent + "/tty/" + tty;
    make_dir(root() + "/" + tty_dir);
    write_attribute(root() + "/" + tty_dir + "/type", std::to_string(type));
    symlink("../../../" + fs::path(parent).filename().string(), root() + "/" + tty_dir + "/device");
    link_class(tty, tty_dir);
}

void SystemTree::add_virtual(const std::string& tty) {
    const std::string tty_dir = "sys/devices/virtual/tty/" + tty;
    make_dir(root() + "/" + tty_dir);
    link_class(tty, tty_dir);
}

void SystemTree::add_by_id(const std::string& name, const std::string& tty) {
    make_dir(root() + "/dev/serial/by-id");
    symlink("../../" + tty, root() + "/dev/serial/by-id/" + name);
}

void SystemTree::add_dev_node(const std::string& name) {
    std::ofstream touch(root() + "/dev/" + name);
    if (!touch) ADD_FAILURE() << "cannot make dev/" << name;
}

void SystemTree::add_dev_link(const std::string& name, const std::string& target) {
    symlink(target, root() + "/dev/" + name);
}

void SystemTree::remove_sys() {
    std::error_code ec;
    fs::remove_all(root() + "/sys", ec);
    if (ec) ADD_FAILURE() << "cannot remove sys: " << ec.message();
}

ScopedEnv::ScopedEnv(const char* name, const std::string& value) : name_(name) {
    const char* old = std::getenv(name);
    had_value_ = old != nullptr;
    if (had_value_) old_value_ = old;
    setenv(name, value.c_str(), 1);
}

ScopedEnv::~ScopedEnv() {
    if (had_value_) {
        setenv(name_, old_value_.c_str(), 1);
    } else {
        unsetenv(name_);
    }
}
