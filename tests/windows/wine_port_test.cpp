// Windows-only behaviour of the .exe, run under Wine by `make test-windows`
// (not by ctest): the configuration the player leaves on a real port, and
// the port names a Windows user types.
//
// Needs TAVREL_PLAYER (the .exe), TAVREL_PLAYER_LAUNCHER (wine),
// TAVREL_WINE_PREFIX and TAVREL_COMM_READBACK (comm_readback.exe).
#include <cstdlib>
#include <string>

#include <gtest/gtest.h>
#include <unistd.h>

#include "harness/player_process.h"
#include "harness/pty_device.h"
#include "harness/temp_files.h"

namespace {

std::string env(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? std::string(value) : std::string();
}

// An extra name for the test's pty in the Wine prefix, removed with it.
class WinePortLink {
public:
    WinePortLink(const std::string& slave_path, int first, int last) {
        const std::string devices = env("TAVREL_WINE_PREFIX") + "/dosdevices/com";
        for (int n = first; n <= last && path_.empty(); ++n) {
            const std::string candidate = devices + std::to_string(n);
            if (symlink(slave_path.c_str(), candidate.c_str()) == 0) {
                path_ = candidate;
                number_ = n;
            }
        }
    }
    ~WinePortLink() {
        if (!path_.empty()) unlink(path_.c_str());
    }
    WinePortLink(const WinePortLink&) = delete;
    WinePortLink& operator=(const WinePortLink&) = delete;

    bool made() const { return !path_.empty(); }
    int number() const { return number_; }

private:
    std::string path_;
    int number_ = 0;
};

// What the player writes, with the C runtime's CR LF line ends made LF.
std::string unix_lines(std::string text) {
    for (size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at)) {
        text.erase(at, 1);
    }
    return text;
}

class WinePort : public ::testing::Test {
protected:
    void SetUp() override {
        if (env("TAVREL_WINE_PREFIX").empty() || env("TAVREL_PLAYER_LAUNCHER").empty()) {
            GTEST_SKIP() << "run through `make test-windows`";
        }
    }
};

TEST_F(WinePort, SetupSetsTheTableAndKeepsTheOtherFields) {
    const std::string readback = env("TAVREL_COMM_READBACK");
    ASSERT_FALSE(readback.empty()) << "TAVREL_COMM_READBACK not set";
    PtyDevice device;
    WinePortLink link(device.slave_path(), 2, 9);
    ASSERT_TRUE(link.made()) << "no free COM2..COM9 in the prefix";
    const std::string port = "COM" + std::to_string(link.number());

    PlayerProcess check({readback, port}, env("TAVREL_PLAYER_LAUNCHER"));
    const PlayerResult result = check.wait(30000);
    // The field-by-field account is the useful part of a failure.
    EXPECT_EQ(result.exit_status, 0) << result.out << result.err;
    EXPECT_NE(result.out.find("\n0 wrong;"), std::string::npos) << result.out;
}

// How Windows reads a typed port name: COM1..COM9 are device names as they
// stand, from COM10 up only with the device-namespace prefix. Since the
// player passes the name untouched, a bare "COM12" must not open; a backend
// that put "\\.\" in front would open it.
struct PortNameCase {
    const char* label;
    const char* prefix;  // put before "COM<n>"
    int first;           // range of n to link
    int last;
    bool opens;
};

const PortNameCase kPortNameCases[] = {
    {"ShortName", "", 2, 9, true},
    {"DeviceNamespaceName", "\\\\.\\", 10, 99, true},
    {"BareHighNumber", "", 10, 99, false},
};

class WinePortName : public WinePort, public ::testing::WithParamInterface<PortNameCase> {};

TEST_P(WinePortName, IsPassedAsTypedAndShownAsTyped) {
    const PortNameCase& c = GetParam();
    TempDir dir;
    const std::string tap = make_tap(make_pulses(100, 3));
    const std::string tap_path = dir.write("short.tap", tap);
    PtyDevice device;
    WinePortLink link(device.slave_path(), c.first, c.last);
    ASSERT_TRUE(link.made());
    const std::string port = c.prefix + std::string("COM") + std::to_string(link.number());

    PlayerProcess player({port, tap_path});
    if (!c.opens) {
        // Had it opened, the player would now wait for a prompt: cut it short.
        const PlayerResult result = player.wait(static_cast<int>(10000 * time_scale()));
        EXPECT_EQ(result.exit_status, 1);
        EXPECT_EQ(unix_lines(result.err), "Unable to open " + port + "\n");
        return;
    }
    ASSERT_TRUE(device_handshake(device));
    EXPECT_EQ(device_request(device, 'h', 20), tap.substr(0, 20));
    std::string data = device_request(device, 'd', 64);
    data += device_request(device, 'd', 36);
    EXPECT_EQ(data, tap.substr(20));
    device.send("e");
    const PlayerResult result = player.wait();
    EXPECT_EQ(result.exit_status, 0) << result.err;
    EXPECT_NE(unix_lines(result.out).find("Success condition received from " + port +
                                          ", 100 bytes sent\n"),
              std::string::npos)
        << result.out;
}

std::string case_label(const ::testing::TestParamInfo<PortNameCase>& param) {
    return param.param.label;
}

INSTANTIATE_TEST_SUITE_P(Names, WinePortName, ::testing::ValuesIn(kPortNameCases), case_label);

}  // namespace
