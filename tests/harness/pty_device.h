// The device side of a real pseudo-terminal: the test holds the master and
// plays the device; the player opens the slave by name.
#pragma once

#include <sys/types.h>

#include <string>
#include <string_view>

class PtyDevice {
public:
    PtyDevice();
    ~PtyDevice();
    PtyDevice(const PtyDevice&) = delete;
    PtyDevice& operator=(const PtyDevice&) = delete;

    // The slave's path, e.g. /dev/pts/3.
    const std::string& slave_path() const { return slave_path_; }
    // The name to give the player for this port (a COM name under Wine).
    const std::string& port_name() const { return port_name_; }

    void send(std::string_view bytes);
    // Reads until `count` bytes came or `timeout_ms` passed; gives what came.
    std::string receive(size_t count, int timeout_ms = 5000);
    // Reads whatever arrives until the line has been quiet for `quiet_ms`.
    std::string drain(int quiet_ms);
    // Closes the master: to the player the device has been unplugged.
    void hang_up();
    bool hung_up() const { return master_ < 0; }

    int master_fd() const { return master_; }
    int slave_fd() const { return slave_; }

private:
    int master_ = -1;
    int slave_ = -1;  // kept open so the master never reads EIO while the player is away
    std::string slave_path_;
    std::string port_name_;
    std::string wine_link_;
};

// Plays the device's opening: text, the prompt, then checks "p\r" and
// answers "p\r\n". False (with a gtest failure) if the player did not ask.
bool device_handshake(PtyDevice& device, std::string_view greeting = "Tavrel ready\r\n");

// Sends one request byte and gives the answer of `count` bytes.
std::string device_request(PtyDevice& device, char request, size_t count, int timeout_ms = 5000);

// True when a second opener could take the port now: the slave opens, takes
// an exclusive lock and carries no exclusive-use mark that would turn away
// openers without privileges.
bool port_is_free(const PtyDevice& device);

// Waits until process `pid` has the slave open, so that what the device sends
// next is read by the player and not queued before its first read. False
// after `timeout_ms` (also when the process cannot be looked into).
bool wait_for_port_open(pid_t pid, const PtyDevice& device, int timeout_ms = 5000);

// Holds a port or file the way another program would: open, with an
// exclusive lock, until destroyed.
class PortHolder {
public:
    explicit PortHolder(const std::string& path);
    ~PortHolder();
    PortHolder(const PortHolder&) = delete;
    PortHolder& operator=(const PortHolder&) = delete;
    bool held() const { return held_; }

private:
    int fd_ = -1;
    bool held_ = false;
};

// Multiplies timing tolerances where the player runs slower (under Wine).
double time_scale();
