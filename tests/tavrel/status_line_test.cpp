// The status line keeps its promise at every width: exactly one character
// short of the terminal (no wrap, a redraw covers the line before), and the
// parts given up in order when space is short.
#include <gtest/gtest.h>

#include <string>

#include "status_line.h"

namespace {

constexpr uint32_t kSecond = 985248;

StatusSnapshot playing() {
    StatusSnapshot status;
    status.position_cycles = 83 * kSecond;   // 1:23
    status.total_cycles = 197 * kSecond;     // 3:17
    status.file = "2 COUNTDOWN";
    status.bytes_per_second = 5734.4;        // 5.6 KiB/s
    return status;
}

TEST(TerminalStatusLine, FitsEveryWidthAndGivesUpPartsInOrder) {
    const struct {
        int columns;
        bool bar, file, rate;
        const char* file_shown;  // when not the whole name
    } cases[] = {
        {200, true, true, true, nullptr},  // the bar stops growing at 40
        {80, true, true, true, nullptr},
        {50, true, true, false, nullptr},  // the rate goes first
        {36, true, true, false, "2 COU"},  // then the name is cut
        {29, true, false, false, nullptr},   // then the name goes
        {20, false, false, false, nullptr},  // no room for a bar: the count alone
        {8, false, false, false, nullptr},
        {1, false, false, false, nullptr},
    };
    for (const auto& c : cases) {
        const std::string line = terminal_status_line(playing(), c.columns);
        SCOPED_TRACE(std::to_string(c.columns) + " columns: \"" + line + "\"");
        EXPECT_EQ(line.size(), static_cast<size_t>(c.columns - 1));
        EXPECT_EQ(line.rfind("[", 0) == 0, c.bar);
        EXPECT_EQ(line.find("KiB/s") != std::string::npos, c.rate);
        if (c.file_shown != nullptr) {
            EXPECT_NE(line.find(std::string("  ") + c.file_shown), std::string::npos);
            EXPECT_EQ(line.find("COUNTDOWN"), std::string::npos);
        } else {
            EXPECT_EQ(line.find("2 COUNTDOWN") != std::string::npos, c.file);
        }
        if (c.columns >= 20) {
            EXPECT_NE(line.find(" 42%  1:23 / 3:17"), std::string::npos);
        }
    }
    const std::string wide = terminal_status_line(playing(), 200);
    EXPECT_EQ(wide.substr(0, 40), "[###############-----------------------]");
}

TEST(TerminalStatusLine, PercentageAndBarAtTheEnds) {
    StatusSnapshot status = playing();
    const struct {
        uint32_t position, total;
        const char* percent;
    } cases[] = {
        {0, 197 * kSecond, "  0%"},
        {197 * kSecond - 1, 197 * kSecond, " 99%"},  // not 100% before the end
        {197 * kSecond, 197 * kSecond, "100%"},
        {200 * kSecond, 197 * kSecond, "100%"},  // never past the end
        {5, 0, "  0%"},                          // a tape without time
    };
    for (const auto& c : cases) {
        status.position_cycles = c.position;
        status.total_cycles = c.total;
        const std::string line = terminal_status_line(status, 80);
        EXPECT_NE(line.find(std::string("] ") + c.percent), std::string::npos) << line;
        EXPECT_EQ(plain_status_line(status).substr(0, 4), c.percent);
    }
}

TEST(PlainStatusLine, NoControlCodesAndNoRateBeforeItIsKnown) {
    StatusSnapshot status = playing();
    EXPECT_EQ(plain_status_line(status), " 42%  1:23 / 3:17  2 COUNTDOWN  5.6 KiB/s");
    status.bytes_per_second = -1;
    EXPECT_EQ(plain_status_line(status), " 42%  1:23 / 3:17  2 COUNTDOWN");
    EXPECT_EQ(terminal_status_line(status, 80).find("KiB/s"), std::string::npos);
}

}  // namespace
