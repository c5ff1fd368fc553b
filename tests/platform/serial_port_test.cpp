// The serial link on the real POSIX backend: the line it leaves behind, the
// bytes it passes, the timing of its reads and writes, and who may open it.
// Each test drives a pseudo-terminal; the test holds the master side.
#include <gtest/gtest.h>

#include <chrono>
#include <ctime>
#include <ostream>
#include <string>
#include <thread>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include "harness/pty_device.h"
#include "harness/temp_files.h"
#include "link/serial_link.h"

namespace {

using Clock = std::chrono::steady_clock;

int64_t ms_since(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

double thread_cpu_seconds() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

std::string all_byte_values() {
    std::string bytes;
    for (int value = 0; value < 256; ++value) bytes += static_cast<char>(value);
    return bytes;
}

// Opens the link on the device's slave; fails the test if it does not open.
class SerialPortTest : public testing::Test {
protected:
    void open_link() { ASSERT_TRUE(open_serial_link(device_.slave_path().c_str(), &link_)); }
    void TearDown() override {
        if (platform_handle_valid(link_.port.handle)) close_serial_link(&link_);
    }
    PtyDevice device_;
    SerialLink link_;
};

// ---- Line settings -------------------------------------------------------

// The line starts out cooked, slow, with parity, two stop bits and both kinds
// of flow control: every one of these must be gone afterwards, while the
// control characters, which the setup has no business with, stay.
TEST_F(SerialPortTest, SetupLeavesARaw8N1LineAt115200WithoutFlowControl) {
    termios before{};
    ASSERT_EQ(tcgetattr(device_.slave_fd(), &before), 0);
    before.c_iflag |= ICRNL | INLCR | IGNCR | IXON | IXOFF | ISTRIP;
    before.c_oflag |= OPOST | ONLCR;
    before.c_lflag |= ICANON | ECHO | ISIG | IEXTEN;
    before.c_cflag = (before.c_cflag & ~static_cast<tcflag_t>(CSIZE | CLOCAL)) | CS7 | PARENB |
                     CSTOPB | CRTSCTS;
    before.c_cc[VSTART] = 0x05;
    before.c_cc[VSTOP] = 0x06;
    before.c_cc[VEOF] = 0x07;
    cfsetispeed(&before, B9600);
    cfsetospeed(&before, B9600);
    ASSERT_EQ(tcsetattr(device_.slave_fd(), TCSANOW, &before), 0);

    open_link();
    termios after{};
    ASSERT_EQ(tcgetattr(device_.slave_fd(), &after), 0);

    EXPECT_EQ(after.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
    EXPECT_EQ(after.c_iflag & (ICRNL | INLCR | IGNCR | IXON | IXOFF | ISTRIP), 0u);
    EXPECT_EQ(after.c_oflag & OPOST, 0u);
    EXPECT_EQ(after.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(after.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
    EXPECT_EQ(after.c_cflag & (CREAD | CLOCAL), static_cast<tcflag_t>(CREAD | CLOCAL));
    EXPECT_EQ(cfgetispeed(&after), static_cast<speed_t>(B115200));
    EXPECT_EQ(cfgetospeed(&after), static_cast<speed_t>(B115200));
    EXPECT_EQ(after.c_cc[VSTART], 0x05);
    EXPECT_EQ(after.c_cc[VSTOP], 0x06);
    EXPECT_EQ(after.c_cc[VEOF], 0x07);
}

// On a line that was cooked before, carriage return, line feed, the flow
// control and signal characters and the bytes from 0x80 up must all cross
// unchanged, both ways.
TEST_F(SerialPortTest, EveryByteValueCrossesUnchangedBothWays) {
    termios cooked{};
    ASSERT_EQ(tcgetattr(device_.slave_fd(), &cooked), 0);
    cooked.c_iflag |= ICRNL | IXON | ISTRIP;
    cooked.c_oflag |= OPOST | ONLCR;
    cooked.c_lflag |= ICANON | ECHO | ISIG;
    ASSERT_EQ(tcsetattr(device_.slave_fd(), TCSANOW, &cooked), 0);
    open_link();
    const std::string bytes = all_byte_values();

    device_.send(bytes);
    char buffer[512] = {};
    const IoResult read = serial_link_read(&link_, buffer, 256);
    EXPECT_TRUE(read.ok);
    ASSERT_EQ(read.count, 256u);
    EXPECT_EQ(std::string(buffer, 256), bytes);
    EXPECT_EQ(device_.drain(100), "") << "the line echoed what it received";

    const IoResult written = serial_link_write(&link_, bytes.data(), 256);
    EXPECT_TRUE(written.ok);
    EXPECT_EQ(written.count, 256u);
    EXPECT_EQ(device_.receive(257, 500), bytes);
}

// ---- Read timing ---------------------------------------------------------

// A silent line, a plain file and /dev/null: a one-byte read waits out its
// time-out of 501 ms and succeeds with nothing, sleeping rather than spinning.
struct SilentReadCase {
    const char* name;
    const char* port;  // nullptr: the pseudo-terminal; "" a plain file
};

// Failure reports name the case, not its bytes.
void PrintTo(const SilentReadCase& c, std::ostream* os) { *os << c.name; }

class SilentRead : public testing::TestWithParam<SilentReadCase> {};

TEST_P(SilentRead, OneByteReadTimesOutEmptyAfterAboutHalfASecond) {
    PtyDevice device;
    TempDir dir;
    std::string port = device.slave_path();
    if (GetParam().port != nullptr) {
        port = *GetParam().port == '\0' ? dir.write("port", "") : GetParam().port;
    }
    SerialLink link;
    ASSERT_TRUE(open_serial_link(port.c_str(), &link));

    for (int round = 0; round < 2; ++round) {
        const double cpu_before = thread_cpu_seconds();
        const auto start = Clock::now();
        char byte = 0;
        const IoResult read = serial_link_read(&link, &byte, 1);
        const int64_t took = ms_since(start);
        EXPECT_TRUE(read.ok) << "round " << round;
        EXPECT_EQ(read.count, 0u) << "round " << round;
        EXPECT_GE(took, 450) << "round " << round;
        EXPECT_LE(took, 1500) << "round " << round;
        EXPECT_LT(thread_cpu_seconds() - cpu_before, 0.1) << "round " << round;
    }
    close_serial_link(&link);
}

INSTANTIATE_TEST_SUITE_P(Ports, SilentRead,
                         testing::Values(SilentReadCase{"Pty", nullptr},
                                         SilentReadCase{"PlainFile", ""},
                                         SilentReadCase{"DevNull", "/dev/null"}),
                         [](const auto& param_info) { return std::string(param_info.param.name); });

// A large read must end once the device has been quiet for about 250 ms,
// not wait out its total of 16384 + 500 ms; gaps shorter than that keep it
// going, so the whole burst comes in one read.
TEST_F(SerialPortTest, LongReadEndsAQuarterSecondAfterTheBurst) {
    open_link();
    const std::string piece = "Tavrel ready\r\n";
    Clock::time_point last_sent;
    std::thread sender([&] {
        for (int i = 0; i < 4; ++i) {
            if (i > 0) std::this_thread::sleep_for(std::chrono::milliseconds(60));
            device_.send(piece);
        }
        last_sent = Clock::now();
    });
    static char buffer[16384];
    const IoResult read = serial_link_read(&link_, buffer, sizeof(buffer));
    const auto returned = Clock::now();
    sender.join();

    EXPECT_TRUE(read.ok);
    ASSERT_EQ(read.count, 4 * piece.size());
    EXPECT_EQ(std::string(buffer, read.count), piece + piece + piece + piece);
    const auto after_burst =
        std::chrono::duration_cast<std::chrono::milliseconds>(returned - last_sent).count();
    EXPECT_GE(after_burst, 200);
    EXPECT_LE(after_burst, 1200);
}

// A read that asks for exactly what has come ends without any wait.
TEST_F(SerialPortTest, ReadEndsAsSoonAsItsCountHasCome) {
    open_link();
    device_.send("p\r\n");
    char echo[3] = {};
    const auto start = Clock::now();
    const IoResult read = serial_link_read(&link_, echo, 3);
    EXPECT_TRUE(read.ok);
    EXPECT_EQ(std::string(echo, read.count), "p\r\n");
    EXPECT_LT(ms_since(start), 200);
}

// The device unplugged: reads and writes fail at once instead of reporting
// one empty time-out after another.
TEST_F(SerialPortTest, HungUpLineFailsAtOnce) {
    open_link();
    device_.hang_up();
    for (uint32_t count : {1u, 16384u}) {
        static char buffer[16384];
        const auto start = Clock::now();
        const IoResult read = serial_link_read(&link_, buffer, count);
        EXPECT_FALSE(read.ok) << count;
        EXPECT_LT(ms_since(start), 200) << count;
    }
    const auto start = Clock::now();
    const IoResult written = serial_link_write(&link_, "h", 1);
    EXPECT_FALSE(written.ok && written.count == 1);
    EXPECT_LT(ms_since(start), 200);
}

// ---- Write timing --------------------------------------------------------

// A device that stops reading: blocks are taken until the line's buffer is
// full, then a write gives up after its 64 + 2500 ms, short or failed. (A
// pseudo-terminal may let one write wait out its time and then take the
// bytes after all, when room appears without a wake-up; that one succeeds.)
TEST_F(SerialPortTest, WriteToALineThatIsNotReadGivesUpAfterItsTimeOut) {
    open_link();
    char block[64] = {};
    const auto test_start = Clock::now();
    for (int i = 0; ms_since(test_start) < 20000; ++i) {
        const auto start = Clock::now();
        const IoResult written = serial_link_write(&link_, block, sizeof(block));
        const int64_t took = ms_since(start);
        if (written.ok && written.count == sizeof(block)) continue;
        EXPECT_GT(i, 0) << "not even one block fitted";
        EXPECT_GE(took, 2400);
        EXPECT_LE(took, 6000);
        return;
    }
    FAIL() << "writes to a line that is never read went on for 20 s";
}

// ---- Exclusive use -------------------------------------------------------

TEST_F(SerialPortTest, PortIsHeldExclusivelyUntilClosed) {
    open_link();
    SerialLink second;
    testing::internal::CaptureStderr();
    EXPECT_FALSE(open_serial_link(device_.slave_path().c_str(), &second));
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Unable to open " + device_.slave_path() + "\n");
    EXPECT_FALSE(port_is_free(device_));

    close_serial_link(&link_);
    link_ = SerialLink{};
    // Also the terminal's exclusive-use mark must go with the player: the
    // test keeps the slave open, as any other program on the line might,
    // and a mark left behind would lock out every later user but root.
    EXPECT_TRUE(port_is_free(device_));
    ASSERT_TRUE(open_serial_link(device_.slave_path().c_str(), &second));
    close_serial_link(&second);
}

TEST_F(SerialPortTest, PortHeldByAnotherProgramDoesNotOpen) {
    PortHolder holder(device_.slave_path());
    ASSERT_TRUE(holder.held());
    testing::internal::CaptureStderr();
    EXPECT_FALSE(open_serial_link(device_.slave_path().c_str(), &link_));
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Unable to open " + device_.slave_path() + "\n");
}

}  // namespace
