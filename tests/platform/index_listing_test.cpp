// The index listing on real files through the POSIX backend, checked byte
// for byte on both output streams.
#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "common/index_example.h"
#include "harness/temp_files.h"
#include "index/index_listing.h"
#include "platform/platform.h"

namespace {

struct Listed {
    bool ok = false;
    uint32_t offset = 0;
    std::string out;
    std::string err;
};

Listed list(const std::string& path, uint32_t position) {
    Listed listed;
    listed.offset = 0xDEADBEEFu;
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    listed.ok = list_index_file(path.c_str(), position, &listed.offset);
    listed.out = testing::internal::GetCapturedStdout();
    listed.err = testing::internal::GetCapturedStderr();
    return listed;
}

// Expected texts name the index file as "{path}".
std::string with_path(std::string text, const std::string& path) {
    const std::string marker = "{path}";
    for (size_t at = text.find(marker); at != std::string::npos; at = text.find(marker, at)) {
        text.replace(at, marker.size(), path);
        at += path.size();
    }
    return text;
}

std::string crlf(const std::string& text) {
    std::string out;
    for (const char c : text) {
        if (c == '\n') out += '\r';
        out += c;
    }
    return out;
}

// A comment line that fills `count` bytes, its line feed included.
std::string filler(size_t count) { return "#" + std::string(count - 2, '-') + "\n"; }

const std::string& kWorked = kExampleIndex;

const std::string kWorkedEntries[] = {
    "00000000 (hex: 00000000): Start of tape\n",
    "00000025 (hex: 00000019): First file\n",
    "00000500 (hex: 000001f4): Second file\n",
    "00001000 (hex: 000003e8): Fourth\n",
};

// The worked listing with the entry at `selected` marked.
std::string worked_listing(int selected) {
    std::string out;
    for (int i = 0; i < 4; ++i) out += (i == selected ? ">> " : "   ") + kWorkedEntries[i];
    return out + "\n";
}

struct ListingCase {
    const char* name;
    std::string content;
    uint32_t position;
    bool ok;
    uint32_t offset;  // checked only when ok
    std::string out;
    std::string err;
};

void PrintTo(const ListingCase& c, std::ostream* os) { *os << c.name; }

constexpr size_t kTextLimit = kIndexBufferSize - 1;  // 16383 bytes of the file are read

std::vector<ListingCase> listing_cases() {
    return {
        {"WorkedExampleSelectsPositionTwo", kWorked, 2, true, 500, worked_listing(2), ""},
        {"WorkedExampleFirstEntryBelowTwenty", kWorked, 0, false, 0,
         ">> The selected index, 0, does not refer to a valid position\n", ""},
        {"WorkedExampleEntriesBeforeAnInvalidOneAreListed", kWorked, 1, true, 25,
         worked_listing(1), ""},
        {"WorkedExamplePositionBeyondTheEntries", kWorked, 4, false, 0,
         worked_listing(-1) + "The selected index, 4, does not exist in {path}\n", ""},
        {"CrLfListsLikeLf", crlf(kWorked), 2, true, 500, worked_listing(2), ""},
        {"TextBehindACarriageReturnIsDropped", "100 First\rhidden\n200 Second\r\n", 1, true, 200,
         "   00000100 (hex: 00000064): First\n>> 00000200 (hex: 000000c8): Second\n\n", ""},
        {"CarriageReturnsAloneMakeOneLine", "100 First\r200 Second\r300 Third\r", 1, false, 0,
         "   00000100 (hex: 00000064): First\n\n"
         "The selected index, 1, does not exist in {path}\n",
         ""},
        {"LastLineWithoutLineEnd", "100 First\n200 Last", 1, true, 200,
         "   00000100 (hex: 00000064): First\n>> 00000200 (hex: 000000c8): Last\n\n", ""},
        {"NonEntriesAreNeitherListedNorCounted",
         "Heading\n# comment\n\t300 tabbed\n180: colon\n; note\n   \n\n\n\r\n"
         "100 One\n-x\n0x1G bad\n200 Two\n",
         1, true, 200,
         "   00000100 (hex: 00000064): One\n>> 00000200 (hex: 000000c8): Two\n\n", ""},
        {"MinusOneIsTheLargestOffset", "-1 End of tape\n", 0, true, 4294967295u,
         ">> 4294967295 (hex: ffffffff): End of tape\n\n", ""},
        {"EntryWithoutDescription", "100\n200 \t \n300", 2, true, 300,
         "   00000100 (hex: 00000064): \n   00000200 (hex: 000000c8): \n"
         ">> 00000300 (hex: 0000012c): \n\n",
         ""},
        {"BlanksBeforeDescriptionDroppedTrailingKept", "100 \t \tTitle  \n", 0, true, 100,
         ">> 00000100 (hex: 00000064): Title  \n\n", ""},
        {"TwentyIsTheFirstValidOffset", "20 Start\n", 0, true, 20,
         ">> 00000020 (hex: 00000014): Start\n\n", ""},
        {"NineteenIsNot", "19 Start\n", 0, false, 0,
         ">> The selected index, 0, does not refer to a valid position\n", ""},
        {"EntriesAfterTheSelectedOneAreListed", "0x20 A\n0x30 B\n0x40 C\n", 0, true, 32,
         ">> 00000032 (hex: 00000020): A\n   00000048 (hex: 00000030): B\n"
         "   00000064 (hex: 00000040): C\n\n",
         ""},
        {"EmptyFile", "", 0, false, 0, "\nThe selected index, 0, does not exist in {path}\n", ""},
        {"FileWithoutEntries", "Nothing here\n\n", 3, false, 0,
         "\nThe selected index, 3, does not exist in {path}\n", ""},
        {"NulEndsTheText", std::string("100 A\n\0" "200 B\n", 13), 1, false, 0,
         "   00000100 (hex: 00000064): A\n\nThe selected index, 1, does not exist in {path}\n",
         ""},
        // The line that straddles byte 16383 is cut there and listed as a
        // last line; nothing behind it is read.
        {"OnlyTheFirst16383BytesAreRead",
         "100 First\n" + filler(kTextLimit - 10 - 14) + "200 Cut off at the limit\n300 Beyond\n",
         1, true, 200,
         "   00000100 (hex: 00000064): First\n>> 00000200 (hex: 000000c8): Cut off at\n\n", ""},
        {"ExactlyTheLimitIsReadWhole", "100 First\n" + filler(kTextLimit - 10 - 6) + "200 Ab",
         1, true, 200,
         "   00000100 (hex: 00000064): First\n>> 00000200 (hex: 000000c8): Ab\n\n", ""},
        // A NUL must end the text also in a long file: the bytes beyond the
        // limit must not be read in behind it.
        {"NulInALongFileEndsTheText",
         std::string("100 A\n\0", 7) + std::string(kTextLimit - 7, '#') + "\n200 Spliced\n", 0,
         true, 100, ">> 00000100 (hex: 00000064): A\n\n", ""},
    };
}

class IndexListing : public testing::TestWithParam<ListingCase> {};

TEST_P(IndexListing, PrintsListingAndGivesStartOffset) {
    const ListingCase& c = GetParam();
    TempDir dir;
    const std::string path = dir.write("tape.idx", c.content);

    const Listed listed = list(path, c.position);

    EXPECT_EQ(listed.ok, c.ok);
    if (c.ok) {
        EXPECT_EQ(listed.offset, c.offset);
    }
    EXPECT_EQ(listed.out, with_path(c.out, path));
    EXPECT_EQ(listed.err, with_path(c.err, path));
}

INSTANTIATE_TEST_SUITE_P(Files, IndexListing, testing::ValuesIn(listing_cases()),
                         [](const testing::TestParamInfo<ListingCase>& case_info) {
                             return std::string(case_info.param.name);
                         });

// Whatever the outcome, the file is closed again: the exclusive open of the
// backend would refuse a second opener while it is held.
TEST(IndexListingFile, IsClosedAfterListing) {
    TempDir dir;
    const std::string path = dir.write("tape.idx", kWorked);
    for (const uint32_t position : {0u, 2u, 4u}) {
        SCOPED_TRACE(position);
        list(path, position);
        const PlatformHandle again = platform_open_file(path.c_str());
        EXPECT_TRUE(platform_handle_valid(again));
        platform_close(again);
    }
}

TEST(IndexListingFile, UnopenableFileIsReportedAndNothingListed) {
    TempDir dir;
    const std::vector<std::string> paths = {
        dir.file("absent.idx"),
        dir.file("no-such-folder/tape.idx"),
        dir.path(),  // a folder is no index file
    };
    for (const std::string& path : paths) {
        SCOPED_TRACE(path);
        const Listed listed = list(path, 0);
        EXPECT_FALSE(listed.ok);
        EXPECT_EQ(listed.out, "");
        EXPECT_EQ(listed.err, "Unable to open index file " + path + "\n");
    }
}

TEST(IndexListingFile, FileHeldByAnotherOpenerIsNotOpened) {
    TempDir dir;
    const std::string path = dir.write("tape.idx", kWorked);
    const PlatformHandle holder = platform_open_file(path.c_str());
    ASSERT_TRUE(platform_handle_valid(holder));

    const Listed listed = list(path, 2);

    platform_close(holder);
    EXPECT_FALSE(listed.ok);
    EXPECT_EQ(listed.out, "");
    EXPECT_EQ(listed.err, "Unable to open index file " + path + "\n");
}

#ifdef __linux__
// The process's own memory opens like a file, but reading its first page
// fails: nothing may be listed then.
TEST(IndexListingFile, FailedReadIsReportedAndNothingListed) {
    const std::string path = "/proc/self/mem";
    const Listed listed = list(path, 0);
    EXPECT_FALSE(listed.ok);
    EXPECT_EQ(listed.out, "");
    EXPECT_EQ(listed.err, "Error reading from index file " + path + "\n");
}
#endif

}  // namespace
