// A small system tree for the serial port listing: the sysfs and /dev
// shapes Linux gives each kind of port, and a /dev as macOS has it, under a
// scratch folder that TAVREL_SYSTEM_ROOT can point at.
#pragma once

#include <string>

#include "harness/temp_files.h"

struct UsbStrings {
    std::string vendor_id;
    std::string product_id;
    std::string manufacturer;  // empty: the attribute file is absent
    std::string product;
    std::string serial;
};

// The devices the tests use.
extern const UsbStrings kArduino;  // a CDC ACM board, 2341:8036
extern const UsbStrings kFtdi;     // an FTDI adapter, 0403:6001

class SystemTree {
public:
    SystemTree();  // sys/class/tty, sys/devices and dev, all empty
    const std::string& root() const { return dir_.path(); }

    // A CDC ACM tty: its device link is the USB interface (1-N:1.0).
    void add_acm(const std::string& tty, const std::string& usb_port, const UsbStrings& usb);
    // A usb-serial tty (ttyUSB): the device link is the driver's port
    // below the interface.
    void add_usb_serial(const std::string& tty, const std::string& usb_port, const UsbStrings& usb);
    // A UART slot of the 8250 driver; type 0 when no UART answers there.
    void add_uart(const std::string& tty, int type);
    // A tty with no hardware: no device link.
    void add_virtual(const std::string& tty);
    // dev/serial/by-id/<name> -> ../../<tty>
    void add_by_id(const std::string& name, const std::string& tty);
    // Any entry in dev/ (macOS: cu.X and tty.X).
    void add_dev_node(const std::string& name);
    // dev/<name> -> target: a port that really opens, e.g. a pseudo-terminal.
    void add_dev_link(const std::string& name, const std::string& target);
    // Takes the whole sysfs away: the system cannot be asked.
    void remove_sys();

private:
    void add_usb_device(const std::string& usb_port, const UsbStrings& usb);
    void link_class(const std::string& tty, const std::string& tty_dir);
    TempDir dir_;
};

// Sets an environment variable for the life of the object.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::string& value);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    const char* name_;
    bool had_value_ = false;
    std::string old_value_;
};
