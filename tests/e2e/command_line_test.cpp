// What the user sees of the command line: the usage text, and which
// argument the option scan takes for what, told by where the run ends.
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "harness/player_process.h"
#include "harness/pty_device.h"
#include "harness/temp_files.h"

namespace {

// The program name in the usage text is argv[0] as the player received it.
// Run directly that is the path we started; through a launcher it is what
// the launcher passes on, so it is read back from the first line and must
// then recur in the last.
void expect_usage_after_banner(const std::string& out) {
    const std::string banner = banner_text();
    ASSERT_EQ(out.substr(0, banner.size()), banner);
    std::string program = player_path();
    if (player_under_launcher()) {
        const std::string lead = "Usage: ";
        const size_t end = out.find(" [options]", banner.size());
        ASSERT_EQ(out.compare(banner.size(), lead.size(), lead), 0) << out;
        ASSERT_NE(end, std::string::npos) << out;
        program = out.substr(banner.size() + lead.size(), end - banner.size() - lead.size());
        EXPECT_FALSE(program.empty());
    }
    EXPECT_EQ(out, banner + usage_text(program));
}

TEST(CommandLine, NoArgumentGivesBannerAndUsage) {
    const PlayerResult result = run_player({});
    EXPECT_EQ(result.exit_status, 1);
    EXPECT_EQ(result.err, "");
    expect_usage_after_banner(result.out);
}

// One row per way of reading the arguments. {port} is a port that does not
// exist, {other} a second one, so "Unable to open" shows which argument was
// taken as the port; {pty} is a port that opens; {index} an index file with
// one entry at offset 20.
struct ScanCase {
    const char* name;
    std::vector<std::string> args;
    // What ends the run: "" for the usage text, else the exact standard
    // error text.
    std::string err;
};

std::vector<ScanCase> scan_cases() {
    return {
        // Only the second character counts, and upper case is not lower.
        {"UpperCaseIIsSkippedAlone", {"-I", "{port}", "x.tap"}, "Unable to open {port}\n"},
        {"UpperCaseILeavesThreePositionals", {"-I", "{index}", "{port}", "x.tap"}, ""},
        {"LongSpellingActsAsI", {"-index", "{index}", "{port}", "x.tap"}, "Unable to open {port}\n"},
        {"DigitsGluedToPAreIgnored", {"-p5", "7", "{port}", "x.tap"}, "Unable to open {port}\n"},
        {"GluedPStillTakesTheNextArgument", {"-p5", "{port}", "x.tap"}, ""},
        {"LoneDashIsSkipped", {"-", "{port}", "x.tap"}, "Unable to open {port}\n"},
        // A port named with a leading dash is an option to the scan.
        {"PortNameWithDashIsTakenForAnOption", {"-ttyS0", "x.tap"}, ""},
        // "-p" after -i is the index file's name, not an option.
        {"IndexNamedLikeAnOption", {"-i", "-p", "{port}", "x.tap"}, "Unable to open index file -p\n"},
        {"LaterOptionOverridesEarlier", {"-i", "{other}", "-i", "{index}", "{port}", "x.tap"},
         "Unable to open {port}\n"},
        {"OptionsAfterPositionalsArePositionals", {"{port}", "x.tap", "-p", "3"}, ""},
        {"OnePositionalIsTooFew", {"{port}"}, ""},
        {"TapNameWithDashIsAccepted", {"{pty}", "-x.tap"}, "Unable to open file -x.tap for read\n"},
        // An option with nothing left to be its value.
        {"ILast", {"-i"}, ""},
        {"PLast", {"-p"}, ""},
        {"PLastAfterAValue", {"-p", "3", "-i"}, ""},
        {"ILastAfterPositionalsIsPositional", {"{port}", "x.tap", "-i"}, ""},
    };
}

std::string expand(std::string text, const std::string& key, const std::string& value) {
    for (size_t at = text.find(key); at != std::string::npos; at = text.find(key, at + value.size())) {
        text.replace(at, key.size(), value);
    }
    return text;
}

// Failure reports name the case, not its bytes.
void PrintTo(const ScanCase& c, std::ostream* os) { *os << c.name; }

class OptionScan : public testing::TestWithParam<ScanCase> {};

TEST_P(OptionScan, RunEndsWhereTheArgumentsSay) {
    TempDir dir;
    PtyDevice device;
    const std::vector<std::pair<std::string, std::string>> names = {
        {"{port}", dir.file("no-such-port")},
        {"{other}", dir.file("no-such-index")},
        {"{pty}", device.port_name()},
        {"{index}", dir.write("game.idx", "20 Start\n")},
    };
    std::vector<std::string> args;
    for (std::string arg : GetParam().args) {
        for (const auto& [key, value] : names) arg = expand(arg, key, value);
        args.push_back(arg);
    }
    std::string err = GetParam().err;
    for (const auto& [key, value] : names) err = expand(err, key, value);

    const PlayerResult result = run_player(args, static_cast<int>(10000 * time_scale()));
    EXPECT_FALSE(result.timed_out);
    EXPECT_EQ(result.exit_status, 1);
    EXPECT_EQ(result.err, err);
    if (err.empty()) {
        expect_usage_after_banner(result.out);
    } else {
        EXPECT_EQ(result.out.find("Usage:"), std::string::npos) << result.out;
    }
    EXPECT_EQ(device.drain(50), "") << "bytes sent to the port";
}

INSTANTIATE_TEST_SUITE_P(CommandLine, OptionScan, testing::ValuesIn(scan_cases()),
                         [](const auto& param_info) { return std::string(param_info.param.name); });

}  // namespace
