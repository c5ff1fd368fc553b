// The tape commands' time count must agree with the player's meter to the cycle,
// and its name mapping with what the machine shows.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "demo_programs.h"
#include "petscii.h"
#include "player_tally.h"
#include "rom_encoder.h"
#include "tap_file.h"
#include "tape/buffer_time_meter.h"
#include "tape_catalog.h"

namespace {

constexpr size_t kPlayerBlock = 64;

// What the player's meter holds after the whole file went out in blocks.
uint32_t meter_total(const std::vector<uint8_t>& file) {
    BufferTimeMeter meter;
    testing::internal::CaptureStdout();  // the meter prints its time line
    for (size_t at = kTapHeaderBytes; at < file.size(); at += kPlayerBlock) {
        const size_t n = std::min(kPlayerBlock, file.size() - at);
        feed(&meter, file.data() + at, static_cast<uint32_t>(n));
    }
    testing::internal::GetCapturedStdout();
    return meter.total_cycles;
}

std::vector<uint8_t> tap_of(const std::vector<uint8_t>& pulses) {
    std::vector<uint8_t> file;
    write_tap_header(&file, 1, static_cast<uint32_t>(pulses.size()));
    file.insert(file.end(), pulses.begin(), pulses.end());
    return file;
}

TEST(TapTally, CountsPulsesAndLongCountsAndDropsACutCount) {
    const std::vector<uint8_t> file = tap_of({0x30, 0x00, 0x01, 0x02, 0x03, 0x42, 0x00, 0x09});
    const PlayerTally tally = tally_as_player(file.data(), file.size());
    EXPECT_EQ(tally.one_byte_pulses, 2u);
    EXPECT_EQ(tally.long_counts, 1u);
    EXPECT_EQ(tally.total_cycles, 0x30u * 8 + 0x030201u + 0x42u * 8);
}

// Random pulse data rich in long counts, which straddle the player's blocks
// and the end of the file; and enough long counts to wrap 32 bits.
TEST(TapTally, TotalEqualsThePlayersMeter) {
    std::mt19937 rng(11);
    for (int round = 0; round < 40; ++round) {
        std::vector<uint8_t> pulses(static_cast<size_t>(rng() % 3000));
        for (uint8_t& b : pulses) b = rng() % 6 == 0 ? 0 : static_cast<uint8_t>(rng());
        const std::vector<uint8_t> file = tap_of(pulses);
        EXPECT_EQ(tally_as_player(file.data(), file.size()).total_cycles, meter_total(file))
            << "round " << round;
    }
    std::vector<uint8_t> wrapping;
    for (int i = 0; i < 300; ++i) wrapping.insert(wrapping.end(), {0x00, 0xFF, 0xFF, 0xFF, 0x56});
    const std::vector<uint8_t> file = tap_of(wrapping);
    const uint32_t total = tally_as_player(file.data(), file.size()).total_cycles;
    EXPECT_EQ(total, meter_total(file));
    EXPECT_EQ(total, static_cast<uint32_t>(300ull * (0xFFFFFF + 0x56 * 8)));
}

TEST(TapTally, TimeReadsLikeThePlayersLine) {
    const struct {
        uint32_t cycles;
        const char* shown;
    } cases[] = {{985247, "0:00"}, {985248, "0:01"}, {60 * 985248, "1:00"}, {0xFFFFFFFFu, "72:39"}};
    for (const auto& c : cases) EXPECT_EQ(format_tape_time(c.cycles), c.shown) << c.cycles;
}

TEST(TapTally, RunningTotalsAtOffsetsMatchWholeCounts) {
    const MadeTape tape = make_tape(demo_programs());
    const TapeCatalog catalog = catalog_tape_bytes(tape.bytes.data(), tape.bytes.size());
    std::vector<uint32_t> at;
    for (const CatalogEntry& entry : catalog.entries) at.push_back(entry.start_cycles);
    ASSERT_EQ(at.size(), tape.pilot_offsets.size());
    for (size_t i = 0; i < at.size(); ++i) {
        EXPECT_EQ(at[i], tally_as_player(tape.bytes.data(), tape.pilot_offsets[i]).total_cycles) << i;
    }
    EXPECT_GT(at[1], 0u);
}

TEST(TapNames, PetsciiShowsAsTheMachineShowsIt) {
    const struct {
        uint8_t code;
        char shown;
    } cases[] = {{0x41, 'A'}, {0x5A, 'Z'}, {0x30, '0'}, {0x20, ' '}, {0xC1, 'a'}, {0x61, 'a'},
                 {0xA0, ' '}, {0x0D, '?'}, {0x93, '?'}, {0xFF, '?'}};
    for (const auto& c : cases) EXPECT_EQ(petscii_to_ascii(c.code), c.shown) << int{c.code};
    const uint8_t name[] = {0x41, 0x20, 0x42, 0x20, 0xA0, 0x20};
    EXPECT_EQ(tape_name_to_ascii(name, sizeof name), "A B");
}

TEST(TapNames, TypedNamesBecomeUpperCasePetscii) {
    TapeProgram p;
    ASSERT_TRUE(set_program_name(&p, "Game 2"));
    const uint8_t expected[kTapeNameLength] = {'G', 'A', 'M', 'E', ' ', '2', 0x20, 0x20,
                                               0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20};
    EXPECT_EQ(0, memcmp(p.name, expected, kTapeNameLength));
    EXPECT_TRUE(set_program_name(&p, "SIXTEEN CHARS OK"));
    EXPECT_FALSE(set_program_name(&p, "SEVENTEEN CHARS!!"));
    EXPECT_FALSE(set_program_name(&p, "tilde~"));
    EXPECT_FALSE(set_program_name(&p, "caf\xC3\xA9"));
}

}  // namespace
