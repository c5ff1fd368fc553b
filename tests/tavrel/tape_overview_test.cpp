// What tavrel play says before it plays: the files, the total, and where it
// starts, one line each.
#include <gtest/gtest.h>

#include <string>

#include "start_choice.h"
#include "tape_catalog.h"
#include "tape_overview.h"

namespace {

constexpr uint32_t kSecond = 985248;

CatalogEntry entry(size_t offset, const char* name, uint32_t start_s, uint32_t end_s) {
    CatalogEntry made;
    made.pilot_offset = offset;
    made.name = name;
    made.description = name[0] != '\0' ? name : "(unnamed block at 0:20)";
    made.family = name[0] != '\0' ? LoaderFamily::kRomLoader : LoaderFamily::kUnknownTurbo;
    made.start_cycles = start_s * kSecond;
    made.end_cycles = end_s * kSecond;
    return made;
}

TEST(TapeOverview, FilesTotalAndStartOneLineEach) {
    TapeCatalog catalog;
    catalog.total_cycles = 65 * kSecond;
    catalog.file_size = 5000;
    catalog.entries = {entry(20, "HELLO", 0, 17), entry(3000, "", 20, 65)};
    const struct {
        const char* label;
        std::string from, offset;
        const char* text;
    } cases[] = {
        {"the tape's start", "", "",
         "t.tap: 2 files, 1:05 of tape\n"
         " >  1  0:00-0:17    HELLO             ROM loader\n"
         "    2  0:20-1:05    (unnamed block at 0:20)  unknown turbo\n"
         "Starting at file 1, HELLO (offset 0x14)\n"},
        {"inside an unnamed block", "", "3100",
         "t.tap: 2 files, 1:05 of tape\n"
         "    1  0:00-0:17    HELLO             ROM loader\n"
         " >  2  0:20-1:05    (unnamed block at 0:20)  unknown turbo\n"
         "Starting inside file 2 (offset 0xC1C)\n"},
    };
    for (const auto& c : cases) {
        const StartChoice start = choose_start(catalog, c.from, c.offset);
        ASSERT_TRUE(start.ok) << c.label << ": " << start.error;
        EXPECT_EQ(tape_overview(catalog, "t.tap", start), c.text) << c.label;
    }

    // Nothing found on the tape: no list, and the start said on one line.
    TapeCatalog empty;
    empty.total_cycles = 3 * kSecond;
    empty.file_size = 100;
    EXPECT_EQ(tape_overview(empty, "noise.tap", choose_start(empty, "", "")),
              "noise.tap: 0 files, 0:03 of tape\nStarting at the tape's start (offset 0x14)\n");
}

}  // namespace
