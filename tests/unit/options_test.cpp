// The command-line scan and the -p value.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/options.h"

namespace {

constexpr uint32_t kMax = 0xFFFFFFFFu;

struct ScanCase {
    const char* name;
    std::vector<std::string> args;  // after the program name
    bool ok;
    const char* index_path;  // null: absent
    uint32_t position;
    int count;
    const char* first;  // null: none
    const char* second;
};

const ScanCase kScanCases[] = {
    {"PositionalsOnly", {"COM9", "game.tap"}, true, nullptr, 0, 2, "COM9", "game.tap"},
    {"NoArguments", {}, true, nullptr, 0, 0, nullptr, nullptr},
    {"IndexAndPosition", {"-i", "idx.txt", "-p", "3", "COM9", "game.tap"}, true, "idx.txt", 3, 2,
     "COM9", "game.tap"},
    {"UpperCaseIIsSkippedAlone", {"-I", "idx.txt", "COM9", "game.tap"}, true, nullptr, 0, 3,
     "idx.txt", "COM9"},
    {"OnlySecondCharCounts", {"-index", "idx.txt", "COM9", "game.tap"}, true, "idx.txt", 0, 2,
     "COM9", "game.tap"},
    {"PGluedValueIgnoredNextTaken", {"-p5", "7", "COM9", "game.tap"}, true, nullptr, 7, 2, "COM9",
     "game.tap"},
    {"LoneDashSkipped", {"-", "COM9", "game.tap"}, true, nullptr, 0, 2, "COM9", "game.tap"},
    {"IndexPathMayLookLikeAnOption", {"-i", "-p", "4", "COM9", "game.tap"}, true, "-p", 0, 3, "4",
     "COM9"},
    {"OptionsAfterPositionalsArePositional", {"COM9", "game.tap", "-i", "idx.txt"}, true, nullptr,
     0, 4, "COM9", "game.tap"},
    {"TapNameWithDash", {"COM9", "-game.tap"}, true, nullptr, 0, 2, "COM9", "-game.tap"},
    {"PortNameWithDashTakenForOption", {"-COM9", "game.tap"}, true, nullptr, 0, 1, "game.tap",
     nullptr},
    {"LaterPOverrides", {"-p", "3", "-p", "9", "COM9", "game.tap"}, true, nullptr, 9, 2, "COM9",
     "game.tap"},
    {"LaterIOverrides", {"-i", "a.txt", "-i", "b.txt", "COM9", "game.tap"}, true, "b.txt", 0, 2,
     "COM9", "game.tap"},
    {"PWithoutNumberKeepsEarlierValue", {"-p", "5", "-p", "abc", "COM9", "game.tap"}, true,
     nullptr, 5, 2, "COM9", "game.tap"},
    {"IAsLastArgument", {"-i"}, false, nullptr, 0, 0, nullptr, nullptr},
    {"PAsLastArgument", {"-i", "idx.txt", "-p"}, false, "idx.txt", 0, 0, nullptr, nullptr},
};

class OptionScanTest : public testing::TestWithParam<ScanCase> {};

TEST_P(OptionScanTest, Scan) {
    const ScanCase& c = GetParam();
    std::vector<std::string> words = {"tavrel-play"};
    words.insert(words.end(), c.args.begin(), c.args.end());
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);

    PlayOptions options;
    PositionalArguments positional;
    ASSERT_EQ(parse_options(static_cast<int>(words.size()), argv.data(), &options, &positional),
              c.ok);
    EXPECT_STREQ(options.program_name, "tavrel-play");
    EXPECT_STREQ(options.index_path, c.index_path);
    if (!c.ok) return;  // the run ends with the usage text: nothing else matters
    EXPECT_EQ(options.index_position, c.position);
    EXPECT_EQ(positional.count, c.count);
    EXPECT_STREQ(positional.first, c.first);
    EXPECT_STREQ(positional.second, c.second);
}

INSTANTIATE_TEST_SUITE_P(Arguments, OptionScanTest, testing::ValuesIn(kScanCases),
                         [](const testing::TestParamInfo<ScanCase>& param) {
                             return std::string(param.param.name);
                         });

struct ValueCase {
    const char* name;
    const char* text;
    bool converts;
    uint32_t value;  // when it converts
};

const ValueCase kValueCases[] = {
    {"Plain", "5", true, 5},
    {"Zero", "0", true, 0},
    {"LeadingZerosAreDecimal", "010", true, 10},
    {"TrailingTextIgnored", "12xyz", true, 12},
    {"LeadingBlank", " 7", true, 7},
    {"LeadingTabAndNewline", "\t\n7", true, 7},
    {"PlusSign", "+3", true, 3},
    {"MinusOneWraps", "-1", true, kMax},
    {"MinusWrapsModulo32Bits", "-4294967295", true, 1},
    {"Largest", "4294967295", true, kMax},
    {"OneBeyondSaturates", "4294967296", true, kMax},
    {"FarBeyondSaturates", "99999999999", true, kMax},
    // 2^64 + 5: must not wrap onto 5 in a 64-bit accumulator either.
    {"BeyondSixtyFourBitsSaturates", "18446744073709551621", true, kMax},
    // The magnitude saturates first, then the sign wraps it.
    {"NegativeFarBeyond", "-99999999999", true, 1},
    {"Letters", "abc", false, 0},
    {"Empty", "", false, 0},
    {"SignOnly", "-", false, 0},
    {"BlankAfterSign", "- 3", false, 0},
    {"TwoSigns", "+-3", false, 0},
    {"HexPrefixStopsAtX", "0x10", true, 0},
};

class PositionValueTest : public testing::TestWithParam<ValueCase> {};

TEST_P(PositionValueTest, ReadsLikePercentU) {
    const ValueCase& c = GetParam();
    uint32_t value = 4242;
    EXPECT_EQ(parse_position_value(c.text, &value), c.converts);
    EXPECT_EQ(value, c.converts ? c.value : 4242u);
}

INSTANTIATE_TEST_SUITE_P(Texts, PositionValueTest, testing::ValuesIn(kValueCases),
                         [](const testing::TestParamInfo<ValueCase>& param) {
                             return std::string(param.param.name);
                         });

}  // namespace
