// The tape time shown while pulse bytes go to the device.
#include <gtest/gtest.h>

#include <stdio_ext.h>

#include <cstdio>
#include <string>
#include <vector>

#include "tape/buffer_time_meter.h"

namespace {

using Block = std::vector<uint8_t>;

// A long pulse: a zero byte, then the cycle count in 24 bits, low byte first.
Block long_pulse(uint32_t cycles) {
    return {0, static_cast<uint8_t>(cycles), static_cast<uint8_t>(cycles >> 8),
            static_cast<uint8_t>(cycles >> 16)};
}

Block repeat(const Block& block, size_t times) {
    Block out;
    for (size_t i = 0; i < times; ++i) out.insert(out.end(), block.begin(), block.end());
    return out;
}

Block join(std::initializer_list<Block> parts) {
    Block out;
    for (const Block& part : parts) out.insert(out.end(), part.begin(), part.end());
    return out;
}

std::string line(const char* time) { return std::string("\rBuffer time=") + time + " "; }

// Feeds the blocks to a fresh meter and gives what it printed.
std::string shown(const std::vector<Block>& blocks, BufferTimeMeter* meter) {
    testing::internal::CaptureStdout();
    for (const Block& block : blocks) {
        feed(meter, block.data(), static_cast<uint32_t>(block.size()));
    }
    return testing::internal::GetCapturedStdout();
}

constexpr uint32_t kMaxLong = 0xFFFFFFu;
// 256 of the longest pulses and one of 255 cycles: 2^32 - 1 cycles.
const Block kAllCycles = join({repeat(long_pulse(kMaxLong), 256), long_pulse(255)});

struct MeterCase {
    const char* name;
    std::vector<Block> blocks;
    std::string expected;
};

const MeterCase kMeterCases[] = {
    {"EmptyFirstBlockShowsZero", {{}}, line("0:00")},
    {"FirstBlockWithOnlyStartOfLongCount", {{0, 0xFF, 0xFF}}, line("0:00")},
    {"UnchangedSecondPrintsOnce", {{1, 2, 3}, {0xFF}, {}, long_pulse(1000)}, line("0:00")},
    {"OneCycleShortOfASecond", {long_pulse(985247)}, line("0:00")},
    {"ExactlyOneSecond", {long_pulse(985247), long_pulse(1)}, line("0:00") + line("0:01")},
    // 123156 pulses of 8 cycles are exactly 985248 cycles.
    {"ShortPulsesReachOneSecond", {repeat({1}, 123155), {1}}, line("0:00") + line("0:01")},
    {"OneMinute", {{}, repeat(long_pulse(14778720), 4)}, line("0:00") + line("1:00")},
    {"SecondsShowTwoDigits", {repeat(long_pulse(985248), 9)}, line("0:09")},
    // A single long count of 2^24 - 1 cycles: from 0:00 straight to 0:17.
    {"LongCountJumpsSeconds", {{}, long_pulse(kMaxLong)}, line("0:00") + line("0:17")},
    // The unfinished count would have taken the total to 0:17.
    {"UnfinishedCountAtEndAddsNothing",
     {long_pulse(985247), {0, 0xFF, 0xFF}},
     line("0:00")},
    {"LargestTotal", {kAllCycles}, line("72:39")},
    {"TotalWrapsToZero", {kAllCycles, long_pulse(1)}, line("72:39") + line("0:00")},
    {"CountingGoesOnAfterWrap",
     {kAllCycles, long_pulse(1), long_pulse(985248)},
     line("72:39") + line("0:00") + line("0:01")},
};

class MeterTest : public testing::TestWithParam<MeterCase> {};

TEST_P(MeterTest, PrintsWhenTheWholeSecondChanges) {
    BufferTimeMeter meter;
    EXPECT_EQ(shown(GetParam().blocks, &meter), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Blocks, MeterTest, testing::ValuesIn(kMeterCases),
                         [](const testing::TestParamInfo<MeterCase>& param) {
                             return std::string(param.param.name);
                         });

// A long count straddling two blocks, wherever the cut falls, adds up to the
// same total as in one block.
TEST(MeterSplit, LongCountSplitAnywhereGivesTheSameTotal) {
    const Block whole = join({{5}, long_pulse(0x123456), {7}});
    BufferTimeMeter unsplit;
    shown({whole}, &unsplit);
    ASSERT_EQ(unsplit.total_cycles, 8u * 5 + 0x123456 + 8u * 7);

    for (size_t cut = 0; cut <= whole.size(); ++cut) {
        BufferTimeMeter meter;
        const Block first(whole.begin(), whole.begin() + static_cast<long>(cut));
        const Block second(whole.begin() + static_cast<long>(cut), whole.end());
        shown({first, second}, &meter);
        EXPECT_EQ(meter.total_cycles, unsplit.total_cycles) << "cut at " << cut;
        EXPECT_EQ(meter.decoder_state, 0u) << "cut at " << cut;
    }
}

// The line has no line break, so it must be pushed out as it is printed.
TEST(MeterFlush, TimeLineIsFlushedAtOnce) {
    BufferTimeMeter meter;
    testing::internal::CaptureStdout();
    const uint8_t pulse = 1;
    feed(&meter, &pulse, 1);
    const size_t pending = __fpending(stdout);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out, line("0:00"));
    EXPECT_EQ(pending, 0u);
}

}  // namespace
