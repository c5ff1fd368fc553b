// The serial ports the system has, and which of them is likely a Tavrel.
//
// One backend per operating system; what differs between them:
//
//   system   ports from                        port name            likely device
//   Linux    ${root}/sys/class/tty, by-id      ${root}/dev/ttyACM0  a USB device above it in sysfs
//            names from ${root}/dev/serial
//   macOS    ${root}/dev/cu.* (not tty.*,      ${root}/dev/cu.X     a USB driver's name: usbmodem,
//            which waits for carrier on open)                       usbserial, SLAB_USBtoUART, ...
//   Windows  SetupAPI's Ports class, plus the  COM3, \\.\COM12      VID_ in its hardware id (or USB
//            registry's SERIALCOMM map; else                        in its kernel device name)
//            QueryDosDevice on COM1..COM255
//
// ${root} is TAVREL_SYSTEM_ROOT (unset: the real system), so that tests can
// point the Linux and macOS backends at a small fixture tree.
#pragma once

#include <string>
#include <vector>

struct SerialPortInfo {
    std::string name;         // what --port takes and what is opened: /dev/ttyACM0, COM3, /dev/cu.usbmodem1101
    std::string description;  // one line: everything below that the system told
    bool likely_device = false;  // a USB serial device: a likely Tavrel
    std::string manufacturer;  // USB strings, where the system has them
    std::string product;
    std::string vendor_id;  // four hex digits as the system gives them, e.g. "2341"
    std::string product_id;
    std::string serial;
    std::string by_id;  // Linux: the stable /dev/serial/by-id/ name of the port
};

// Every serial port the system has, sorted by name in natural order. When
// the system cannot be asked at all, gives none and says why in `error`.
std::vector<SerialPortInfo> list_serial_ports(std::string* error = nullptr);

// The one likely device port, or none; then `message` says why (none found,
// or which several) and lists the ports, for the caller to print before it
// exits 1. When found, `message` says which port was taken.
struct PortChoice {
    bool found = false;
    SerialPortInfo port;
    std::string message;
};
PortChoice choose_device_port(const std::vector<SerialPortInfo>& ports);

// One line per port, names padded to one width, likely devices marked "* ".
std::vector<std::string> port_lines(const std::vector<SerialPortInfo>& ports);
extern const char* const kLikelyDeviceLegend;

// ---- Shared by the backends -------------------------------------------------

// TAVREL_SYSTEM_ROOT without a trailing slash; "" for the real system.
std::string system_root();

// Natural order: "ttyACM2" before "ttyACM10"; a leading \\.\ is not looked at,
// so that \\.\COM10 follows COM9.
bool natural_less(const std::string& a, const std::string& b);
void sort_ports(std::vector<SerialPortInfo>& ports);

// `summary` followed by the USB ids, the serial number and the by-id name,
// each where known, joined by ", ".
std::string compose_description(const std::string& summary, const SerialPortInfo& port);

// The pure backends, given the root they read under.
std::vector<SerialPortInfo> list_linux_ports(const std::string& root, std::string* error);
std::vector<SerialPortInfo> list_macos_ports(const std::string& root, std::string* error);

// Windows' identifiers, taken apart. From a hardware id such as
// "USB\VID_2341&PID_8036&REV_0100" or "FTDIBUS\VID_0403+PID_6001+A5XK3RJTA\0000":
// the vendor and product ids ("" when absent). From an instance id such as
// "USB\VID_2341&PID_8036\8573532363135171A1E1": the serial number, which
// Windows puts there only when the device reports one (else "6&1a2b3c&0&2").
struct UsbIds {
    std::string vendor_id;
    std::string product_id;
};
UsbIds parse_hardware_id(const std::string& hardware_id);
std::string serial_from_instance_id(const std::string& instance_id);
// What opens the port: COM1 to COM9 as they are, \\.\COM10 and above.
std::string windows_port_path(const std::string& com_name);
