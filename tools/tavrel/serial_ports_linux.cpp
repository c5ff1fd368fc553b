// Linux: the serial ports as sysfs describes them, read under a root so that
// tests can hand over a fixture tree.
//
// A tty in /sys/class/tty is a port when it has a `device` link (virtual
// consoles, pseudo-terminals and the like have none). The 8250 driver
// registers ttyS0..ttyS3 (or more) whether or not a UART answers; the serial
// core writes such a port's `type` as 0 (PORT_UNKNOWN) and opening it fails,
// so those are left out. The USB device behind a port is the nearest ancestor
// of its `device` directory holding idVendor and idProduct (the one above it
// is the hub).
#include "serial_ports.h"

#include <filesystem>
#include <fstream>
#include <map>
#include <system_error>

namespace fs = std::filesystem;

namespace {

// The first line of a sysfs attribute, without its line end; "" if absent.
std::string attribute(const fs::path& file) {
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r' || line.back() == ' ')) {
        line.pop_back();
    }
    return line;
}

// The USB device directory above `device`, or empty. Never climbs out of
// `sys`, so that a fixture tree is read on its own.
fs::path usb_ancestor(const fs::path& device, const fs::path& sys) {
    for (fs::path at = device; at.has_relative_path() && at != sys; at = at.parent_path()) {
        std::error_code ec;
        if (fs::exists(at / "idVendor", ec) && fs::exists(at / "idProduct", ec)) return at;
    }
    return {};
}

// Each tty's stable name: /dev/serial/by-id/<name> -> ../../ttyACM0.
std::map<std::string, std::string> by_id_names(const std::string& root) {
    std::map<std::string, std::string> names;
    std::error_code ec;
    const fs::path folder = root + "/dev/serial/by-id";
    for (const fs::directory_entry& entry : fs::directory_iterator(folder, ec)) {
        std::error_code link_ec;
        const fs::path target = fs::read_symlink(entry.path(), link_ec);
        if (link_ec) continue;
        const std::string tty = target.filename().string();
        const std::string link = entry.path().string();
        // One tty can have several (one per interface name); the first in
        // order is shown, whatever order the folder lists them in.
        auto found = names.find(tty);
        if (found == names.end() || link < found->second) names[tty] = link;
    }
    return names;
}

std::string usb_summary(const SerialPortInfo& port) {
    if (port.product.empty()) return port.manufacturer;
    if (port.manufacturer.empty() || port.product.rfind(port.manufacturer, 0) == 0) return port.product;
    return port.manufacturer + " " + port.product;
}

std::string driver_of(const fs::path& device) {
    std::error_code ec;
    const fs::path driver = fs::read_symlink(device / "driver", ec);
    return ec ? "" : driver.filename().string();
}

}  // namespace

std::vector<SerialPortInfo> list_linux_ports(const std::string& root, std::string* error) {
    std::vector<SerialPortInfo> ports;
    const fs::path tty_class = root + "/sys/class/tty";
    std::error_code ec;
    fs::directory_iterator entries(tty_class, ec);
    if (ec) {
        if (error != nullptr) *error = "cannot read " + tty_class.string() + ": " + ec.message();
        return ports;
    }
    std::error_code sys_ec;
    const fs::path sys = fs::weakly_canonical(root + "/sys", sys_ec);
    const std::map<std::string, std::string> by_id = by_id_names(root);

    for (const fs::directory_entry& entry : entries) {
        const std::string tty = entry.path().filename().string();
        std::error_code entry_ec;
        const fs::path device = fs::canonical(entry.path() / "device", entry_ec);
        if (entry_ec) continue;  // no hardware behind it: not a port
        if (attribute(entry.path() / "type") == "0") continue;  // a UART slot with no UART

        SerialPortInfo port;
        port.name = root + "/dev/" + tty;
        const fs::path usb = usb_ancestor(device, sys);
        std::string summary;
        if (!usb.empty()) {
            port.likely_device = true;
            port.manufacturer = attribute(usb / "manufacturer");
            port.product = attribute(usb / "product");
            port.vendor_id = attribute(usb / "idVendor");
            port.product_id = attribute(usb / "idProduct");
            port.serial = attribute(usb / "serial");
            summary = usb_summary(port);
            if (summary.empty()) summary = "USB serial device";
        } else if (fs::exists(entry.path() / "type", entry_ec)) {
            summary = "on-board serial port";
        } else {
            const std::string driver = driver_of(device);
            summary = driver.empty() ? "serial port" : "serial port, driver " + driver;
        }
        const auto stable = by_id.find(tty);
        if (stable != by_id.end()) port.by_id = stable->second;
        port.description = compose_description(summary, port);
        ports.push_back(port);
    }
    sort_ports(ports);
    return ports;
}
