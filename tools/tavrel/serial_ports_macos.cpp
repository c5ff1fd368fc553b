// macOS: every serial device appears twice in /dev, as tty.X and cu.X. Only
// cu.X is listed: opening tty.X waits for carrier detect, which the Tavrel
// never raises, so the player would hang in open(). What a port is comes from
// the name the driver gave it.
#include "serial_ports.h"

#include <filesystem>
#include <iterator>
#include <system_error>

namespace fs = std::filesystem;

namespace {

struct CuKind {
    const char* prefix;
    const char* summary;
    bool usb;
};

// The drivers' naming habits; USB ones first, the catch-all last.
constexpr CuKind kCuKinds[] = {
    {"cu.usbmodem", "USB modem-class serial device (CDC ACM)", true},
    {"cu.usbserial", "USB serial adapter", true},
    {"cu.SLAB_USBtoUART", "Silicon Labs USB serial adapter", true},
    {"cu.wchusbserial", "WCH USB serial adapter", true},
    {"cu.Bluetooth", "Bluetooth serial port", false},
    {"cu.debug-console", "the system's debug console", false},
    {"cu.", "serial port", false},
};

const CuKind& kind_of(const std::string& name) {
    for (const CuKind& kind : kCuKinds) {
        if (name.rfind(kind.prefix, 0) == 0) return kind;
    }
    return kCuKinds[std::size(kCuKinds) - 1];
}

}  // namespace

std::vector<SerialPortInfo> list_macos_ports(const std::string& root, std::string* error) {
    std::vector<SerialPortInfo> ports;
    const fs::path dev = root + "/dev";
    std::error_code ec;
    fs::directory_iterator entries(dev, ec);
    if (ec) {
        if (error != nullptr) *error = "cannot read " + dev.string() + ": " + ec.message();
        return ports;
    }
    for (const fs::directory_entry& entry : entries) {
        const std::string name = entry.path().filename().string();
        if (name.rfind("cu.", 0) != 0) continue;
        const CuKind& kind = kind_of(name);
        SerialPortInfo port;
        port.name = root + "/dev/" + name;
        port.likely_device = kind.usb;
        port.description = kind.summary;
        ports.push_back(port);
    }
    sort_ports(ports);
    return ports;
}
