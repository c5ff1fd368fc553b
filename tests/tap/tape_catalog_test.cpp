// The catalog over tapes made by our own encoders: Turbo Tape 64 files by
// name, blocks of made-up two-width loaders as unnamed blocks, ROM files as
// before, all at their exact pilot offsets and player times, through jitter,
// drift, glitches, both kinds of silence, damage and noise.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "commands.h"
#include "loader_families.h"
#include "player_tally.h"
#include "rom_encoder.h"
#include "tap/test_program.h"
#include "tap_file.h"
#include "tape_catalog.h"
#include "turbo_encoder.h"

namespace {


// How the tape strays from the nominal pulses.
struct Distortion {
    const char* label = "clean";
    double jitter = 0;  // each pulse off by up to this share either way
    double drift = 0;   // slow speed change, this share at its peak
    int glitches = 0;   // up to this many stray pulses before each silence
    uint8_t version = 1;  // 0: silences as zero bytes
};

// Writes a tape file pulse by pulse, straying as told; here() is the
// offset the next pulse will have.
class TapeWriter {
public:
    explicit TapeWriter(const Distortion& distortion, unsigned seed = 1)
        : distortion_(distortion), rng_(seed) {
        write_tap_header(&bytes_, distortion.version, 0);
    }

    size_t here() const { return bytes_.size(); }

    // `most`: a cap on jitter and drift together (the ROM loader's pulses
    // tell three widths apart and stand about 10%).
    void pulses(const std::vector<uint8_t>& nominal, double most = 1) {
        const double drift = std::min(distortion_.drift, most);
        const double jitter = std::min(distortion_.jitter, most - drift);
        std::uniform_real_distribution<double> stray(-jitter, jitter);
        for (uint8_t p : nominal) {
            const double speed = 1 + drift * std::sin(static_cast<double>(count_++) / 4000.0);
            const long value = std::lround(p * speed * (1 + stray(rng_)));
            bytes_.push_back(static_cast<uint8_t>(std::clamp(value, 1L, 255L)));
        }
    }

    void silence() {
        std::uniform_int_distribution<int> how_many(1, std::max(1, distortion_.glitches));
        std::uniform_int_distribution<int> glitch(1, 255);
        if (distortion_.glitches > 0) {
            for (int n = how_many(rng_); n > 0; --n) bytes_.push_back(static_cast<uint8_t>(glitch(rng_)));
        }
        if (distortion_.version == 0) {
            bytes_.insert(bytes_.end(), 6, 0);
        } else {
            append_long_count(&bytes_, kSilenceCycles);
        }
    }

    std::vector<uint8_t> finish() {
        write_tap_header(&bytes_, distortion_.version, static_cast<uint32_t>(bytes_.size() - kTapHeaderBytes));
        return bytes_;
    }

private:
    Distortion distortion_;
    std::mt19937 rng_;
    std::vector<uint8_t> bytes_;
    size_t count_ = 0;
};

std::vector<uint8_t> turbo_file_pulses(const TapeProgram& p) {
    std::vector<uint8_t> pulses;
    append_turbo_tape_file(&pulses, p);
    return pulses;
}

std::vector<uint8_t> rom_file_pulses(const TapeProgram& p) {
    std::vector<uint8_t> pulses;
    append_rom_program(&pulses, p);
    return pulses;
}

struct Listed {
    size_t offset;
    LoaderFamily family;
    std::string name;  // empty for an unnamed block
};

bool operator==(const Listed& a, const Listed& b) {
    return a.offset == b.offset && a.family == b.family && a.name == b.name;
}

void PrintTo(const Listed& l, std::ostream* os) {
    *os << "{" << loader_family_name(l.family) << " '" << l.name << "' @0x" << std::hex << l.offset << "}";
}

std::vector<Listed> listed(const TapeCatalog& catalog) {
    std::vector<Listed> list;
    for (const CatalogEntry& e : catalog.entries) list.push_back({e.pilot_offset, e.family, e.name});
    return list;
}

TapeCatalog catalog_of(const std::vector<uint8_t>& tape) { return catalog_tape_bytes(tape.data(), tape.size()); }

// Every entry's times are the player's: its count up to the pilot, and the
// total; an entry ends before the next one starts.
void expect_player_times(const std::vector<uint8_t>& tape, const TapeCatalog& catalog) {
    EXPECT_EQ(catalog.total_cycles, tally_as_player(tape.data(), tape.size()).total_cycles);
    for (size_t i = 0; i < catalog.entries.size(); ++i) {
        const CatalogEntry& e = catalog.entries[i];
        EXPECT_EQ(e.start_cycles, tally_as_player(tape.data(), e.pilot_offset).total_cycles) << i;
        EXPECT_GT(e.end_cycles, e.start_cycles) << i;
        if (i + 1 < catalog.entries.size()) {
            EXPECT_LE(e.end_cycles, catalog.entries[i + 1].start_cycles) << i;
        }
    }
}

// Random tapes per case: the stray pulses fall differently on each.
constexpr unsigned kSeeds = 4;

const Distortion kDistortions[] = {
    {"clean", 0, 0, 0, 1},
    {"jitter", 0.15, 0, 0, 1},
    {"drift", 0.10, 0.05, 0, 1},
    {"glitches", 0.10, 0, 3, 1},
    {"version0", 0.10, 0.05, 2, 0},
};

class CatalogDistorted : public ::testing::TestWithParam<Distortion> {};

// Turbo Tape 64 only, and behind a ROM-loaded boot file: every file named
// at its header's pilot, its addresses and a fitting check byte. One body
// holds 300 equal bytes, longer than any pilot the unnamed-block search
// takes; the header and data of one file follow without silence.
TEST_P(CatalogDistorted, TurboTape64FilesAreNamedAtTheirPilots) {
    std::vector<TapeProgram> files = {test_program("LOADER", 0x0801, 1, 1), test_program("LEVEL 1", 0x2000, 4000, 2),
                                      test_program("level 2", 0xC000, 300, 3), test_program("ABCDEFGHIJKLMNOP", 0x1000, 700, 4)};
    std::fill(files[2].body.begin(), files[2].body.end(), 0x02);
    for (unsigned seed = 1; seed <= 2 * kSeeds; ++seed) {
        const bool boot = seed % 2 == 0;
        TapeWriter writer(GetParam(), seed);
        std::vector<Listed> expected;
        if (boot) {
            expected.push_back({writer.here(), LoaderFamily::kRomLoader, "BOOT"});
            writer.pulses(rom_file_pulses(test_program("BOOT", 0x0801, 200, 9)), 0.10);
            writer.silence();
        }
        for (const TapeProgram& p : files) {
            expected.push_back({writer.here(), LoaderFamily::kTurboTape64, ""});
            writer.pulses(turbo_file_pulses(p));
            writer.silence();
        }
        expected[boot ? 1 : 0].name = "LOADER";
        expected[boot ? 2 : 1].name = "LEVEL 1";
        expected[boot ? 3 : 2].name = "LEVEL 2";
        expected[boot ? 4 : 3].name = "ABCDEFGHIJKLMNOP";
        const std::vector<uint8_t> tape = writer.finish();

        const TapeCatalog catalog = catalog_of(tape);
        EXPECT_EQ(listed(catalog), expected) << "seed " << seed;
        EXPECT_TRUE(catalog.problems.empty()) << catalog.problems[0];
        for (const CatalogEntry& e : catalog.entries) {
            EXPECT_EQ(e.check, CheckState::kFits) << e.name << ", seed " << seed;
            EXPECT_TRUE(e.has_addresses) << e.name;
            EXPECT_EQ(e.description, e.name);
        }
        if (catalog.entries.size() == expected.size()) {
            const CatalogEntry& level1 = catalog.entries[boot ? 2 : 1];
            EXPECT_EQ(level1.start_address, 0x2000);
            EXPECT_EQ(level1.end_address, 0x2000 + 4000);
            EXPECT_EQ(level1.type, kTurboProgramType);
        }
        expect_player_times(tape, catalog);
    }
}

// Three made-up loaders: other widths, bit orders, pilot and sync bytes.
// Every block is one unnamed entry at its pilot, none inside the data,
// which holds runs of 40 equal bytes.
TwoWidthFamily made_up(uint8_t zero, uint8_t one, bool msb_first, uint8_t pilot,
                       std::initializer_list<uint8_t> sync) {
    TwoWidthFamily family;
    family.zero_pulse = zero;
    family.one_pulse = one;
    family.msb_first = msb_first;
    family.pilot_byte = pilot;
    for (uint8_t b : sync) family.sync[family.sync_length++] = b;
    return family;
}

TEST_P(CatalogDistorted, BlocksOfUnknownLoadersAreListedUnnamed) {
    const TwoWidthFamily families[] = {
        made_up(0x30, 0x50, false, 0x00, {0xFF, 0x16}),        // pilot of one width
        made_up(0x20, 0x38, true, 0xAA, {0x55, 0xAA, 0x5A}),  // alternating
        made_up(0x48, 0x18, true, 0xE3, {0xA5}),               // long pulse for 0
    };
    for (unsigned seed = 1; seed <= kSeeds; ++seed) {
      for (const TwoWidthFamily& family : families) {
        TapeWriter writer(GetParam(), seed * 1000 + family.pilot_byte);
        std::vector<Listed> expected;
        std::mt19937 rng(family.zero_pulse);
        const size_t pilots[] = {256, 1000, 300, 600};
        for (size_t block = 0; block < 4; ++block) {
            std::vector<uint8_t> data(200 + 500 * block);
            for (uint8_t& b : data) b = static_cast<uint8_t>(rng());
            std::fill(data.begin() + 50, data.begin() + 90, family.pilot_byte);
            std::fill(data.begin() + 100, data.begin() + 140, 0x00);
            // The third block follows the second without silence: the
            // second's last byte is one no pilot pulse can be mistaken for.
            data.back() = family.zero_pulse < family.one_pulse ? 0xFF : 0x00;
            expected.push_back({writer.here(), LoaderFamily::kUnknownTurbo, ""});
            std::vector<uint8_t> pulses;
            append_two_width_block(&pulses, family, pilots[block], data.data(), data.size());
            writer.pulses(pulses);
            if (block != 1) writer.silence();
        }
        const std::vector<uint8_t> tape = writer.finish();
        const TapeCatalog catalog = catalog_of(tape);
        EXPECT_EQ(listed(catalog), expected) << "pilot byte " << int{family.pilot_byte} << ", seed " << seed;
        for (const CatalogEntry& e : catalog.entries) {
            EXPECT_TRUE(e.unnamed);
            EXPECT_FALSE(e.has_addresses);
            EXPECT_EQ(e.check, CheckState::kNotChecked);
            EXPECT_EQ(e.description, "(unnamed block at " + format_tape_time(e.start_cycles) + ")");
        }
        expect_player_times(tape, catalog);
      }
    }
}

INSTANTIATE_TEST_SUITE_P(Tapes, CatalogDistorted, ::testing::ValuesIn(kDistortions),
                         [](const ::testing::TestParamInfo<Distortion>& param_info) { return param_info.param.label; });

// A Turbo Tape 64 file whose header makes no sense, or is cut short: its
// blocks are unnamed entries, the files around it keep their names. A bad
// check byte in the data keeps the name and says so.
TEST(CatalogDamage, TurboTape64HeaderOrDataSpoilt) {
    enum class Spoil { kEndBeforeStart, kHeaderCut, kDataByte };
    const struct {
        const char* label;
        Spoil spoil;
        bool named;
        const char* problem;
    } cases[] = {
        {"end before start", Spoil::kEndBeforeStart, false, "its addresses make no sense"},
        {"header cut", Spoil::kHeaderCut, false, "cut short"},
        {"data byte", Spoil::kDataByte, true, nullptr},
    };
    for (const auto& c : cases) {
        TapeWriter writer(Distortion{"jitter", 0.1, 0, 0, 1});
        const size_t before = writer.here();
        writer.pulses(turbo_file_pulses(test_program("BEFORE", 0x0801, 100, 1)));
        writer.silence();

        const TapeProgram target = test_program("TARGET", 0x4000, 500, 2);
        std::vector<uint8_t> header = turbo_header_block(target, kTurboProgramType);
        std::vector<uint8_t> data = turbo_data_block(target);
        if (c.spoil == Spoil::kEndBeforeStart) header[4] = 0x30;
        if (c.spoil == Spoil::kHeaderCut) header.resize(100);
        if (c.spoil == Spoil::kDataByte) data[10] ^= 0x40;
        const size_t header_pilot = writer.here();
        std::vector<uint8_t> pulses;
        append_two_width_block(&pulses, kTurboTape64, kTurboHeaderPilotBytes, header.data(), header.size());
        writer.pulses(pulses);
        writer.silence();
        const size_t data_pilot = writer.here();
        pulses.clear();
        append_two_width_block(&pulses, kTurboTape64, kTurboDataPilotBytes, data.data(), data.size());
        writer.pulses(pulses);
        writer.silence();

        const size_t after = writer.here();
        writer.pulses(turbo_file_pulses(test_program("AFTER", 0xC000, 100, 3)));
        const std::vector<uint8_t> tape = writer.finish();
        const TapeCatalog catalog = catalog_of(tape);

        std::vector<Listed> expected = {{before, LoaderFamily::kTurboTape64, "BEFORE"}};
        if (c.named) {
            expected.push_back({header_pilot, LoaderFamily::kTurboTape64, "TARGET"});
        } else {
            expected.push_back({header_pilot, LoaderFamily::kTurboTape64, ""});
            expected.push_back({data_pilot, LoaderFamily::kTurboTape64, ""});
        }
        expected.push_back({after, LoaderFamily::kTurboTape64, "AFTER"});
        ASSERT_EQ(listed(catalog), expected) << c.label;
        if (c.named) {
            EXPECT_EQ(catalog.entries[1].check, CheckState::kFails) << c.label;
            EXPECT_TRUE(catalog.problems.empty()) << c.label;
        } else {
            EXPECT_TRUE(catalog.entries[1].unnamed && catalog.entries[2].unnamed) << c.label;
            ASSERT_EQ(catalog.problems.size(), 1u) << c.label;
            char offset[32];
            snprintf(offset, sizeof offset, "0x%zx", header_pilot);
            EXPECT_EQ(catalog.problems[0], std::string("Turbo Tape 64 header at ") + offset + ": " + c.problem +
                                               "; listed as an unnamed block");
        }
        EXPECT_EQ(catalog.entries[0].check, CheckState::kFits) << c.label;
        expect_player_times(tape, catalog);
    }
}

// A file saved without a name is still a file of its format, not an
// unnamed block: it is listed where it is, with an empty name.
TEST(CatalogNames, TurboTape64FileSavedWithoutAName) {
    const MadeTape made = make_turbo_tape({test_program("FIRST", 0x0801, 50, 1),
                                           test_program("", 0x1000, 50, 2),
                                           test_program("LAST", 0x0801, 50, 3)});
    const TapeCatalog catalog = catalog_of(made.bytes);
    const std::vector<Listed> expected = {{made.pilot_offsets[0], LoaderFamily::kTurboTape64, "FIRST"},
                                          {made.pilot_offsets[1], LoaderFamily::kTurboTape64, ""},
                                          {made.pilot_offsets[2], LoaderFamily::kTurboTape64, "LAST"}};
    ASSERT_EQ(listed(catalog), expected);
    EXPECT_FALSE(catalog.entries[1].unnamed);
    EXPECT_EQ(catalog.entries[1].check, CheckState::kFits);
    EXPECT_TRUE(catalog.problems.empty());
}

// The ROM loader's data block: a damaged first copy is made good by the
// repeat; with both damaged the file keeps its name and its check fails.
TEST(CatalogDamage, RomDataCheck) {
    const size_t body = 100;
    const MadeTape made = make_tape({test_program("ROMFILE", 0x0801, body, 5)});
    const size_t block_pulses = (kSyncLength + kHeaderBlockSize + 1) * 20 + 2;
    const size_t data_pilot = kTapHeaderBytes + kHeaderPilotPulses + 2 * block_pulses + kRepeatGapPulses + kTrailerPulses;
    const size_t first_copy = data_pilot + kDataPilotPulses;
    const size_t repeat_copy = first_copy + (kSyncLength + body + 1) * 20 + 2 + kRepeatGapPulses;
    const size_t data_bit = (kSyncLength + 7) * 20 + 2;  // bit 0 of the eighth data byte
    const struct {
        bool first, repeat;
        CheckState check;
    } cases[] = {{false, false, CheckState::kFits}, {true, false, CheckState::kFits}, {true, true, CheckState::kFails}};
    for (const auto& c : cases) {
        std::vector<uint8_t> tape = made.bytes;
        if (c.first) std::swap(tape[first_copy + data_bit], tape[first_copy + data_bit + 1]);
        if (c.repeat) std::swap(tape[repeat_copy + data_bit], tape[repeat_copy + data_bit + 1]);
        ASSERT_EQ(tape[repeat_copy - 1], kShortPulse);
        const TapeCatalog catalog = catalog_of(tape);
        ASSERT_EQ(catalog.entries.size(), 1u);
        EXPECT_EQ(catalog.entries[0].name, "ROMFILE");
        EXPECT_EQ(catalog.entries[0].check, c.check) << c.first << c.repeat;
        EXPECT_EQ(catalog.entries[0].end_cycles, catalog.total_cycles - kTrailerPulses * 8 * kShortPulse);
    }
}

// Noise, in either version, with or without zero bytes: nothing listed,
// the time still the player's.
TEST(CatalogNoise, NoEntryFromNoise) {
    std::mt19937 rng(3);
    for (uint8_t version : {uint8_t{0}, uint8_t{1}}) {
        for (unsigned zero_every : {0u, 50u}) {
            std::vector<uint8_t> tape(kTapHeaderBytes + (1u << 20));
            for (size_t i = kTapHeaderBytes; i < tape.size(); ++i) {
                tape[i] = zero_every != 0 && rng() % zero_every == 0 ? 0 : static_cast<uint8_t>(1 + rng() % 255);
            }
            write_tap_header(&tape, version, static_cast<uint32_t>(tape.size() - kTapHeaderBytes));
            const TapeCatalog catalog = catalog_of(tape);
            EXPECT_TRUE(catalog.entries.empty()) << int{version} << " " << zero_every;
            EXPECT_EQ(catalog.total_cycles, tally_as_player(tape.data(), tape.size()).total_cycles);
        }
    }
}

std::string temp_path(const char* name) {
    return ::testing::TempDir() + "tape_catalog_test_" + name;
}

// Read from disk a chunk at a time, the catalog is the one made over the
// whole file in memory: long counts and version 0 zero bytes fall on chunk
// boundaries, and a count is cut off by the end of the file.
TEST(CatalogFile, ChunkedReadGivesTheSameCatalog) {
    for (uint8_t version : {uint8_t{0}, uint8_t{1}}) {
        TapeWriter writer(Distortion{"v", 0.1, 0, 1, version});
        writer.pulses(turbo_file_pulses(test_program("ONE", 0x0801, 30000, 1)));
        writer.silence();
        writer.pulses(turbo_file_pulses(test_program("TWO", 0x0801, 40000, 2)));
        std::vector<uint8_t> tape = writer.finish();
        // Zero bytes around the first chunk boundaries (64 KiB after the header).
        for (size_t chunk = 1; chunk <= 3; ++chunk) {
            for (size_t k = 0; k < 5; ++k) tape[kTapHeaderBytes + chunk * 65536 - 3 + k * 2] = 0;
        }
        tape.push_back(0);
        tape.push_back(0x10);

        const std::string path = temp_path("chunks.tap");
        ASSERT_TRUE(write_whole_file(path.c_str(), tape));
        TapeCatalog from_file;
        ASSERT_TRUE(catalog_tape_file(path.c_str(), &from_file));
        const TapeCatalog in_memory = catalog_of(tape);
        std::remove(path.c_str());

        EXPECT_EQ(from_file.file_size, tape.size());
        EXPECT_EQ(listed(from_file), listed(in_memory));
        ASSERT_EQ(from_file.entries.size(), in_memory.entries.size());
        for (size_t i = 0; i < from_file.entries.size(); ++i) {
            EXPECT_EQ(from_file.entries[i].start_cycles, in_memory.entries[i].start_cycles);
            EXPECT_EQ(from_file.entries[i].end_cycles, in_memory.entries[i].end_cycles);
        }
        const PlayerTally tally = tally_as_player(tape.data(), tape.size());
        EXPECT_EQ(from_file.total_cycles, tally.total_cycles);
        EXPECT_EQ(from_file.one_byte_pulses, tally.one_byte_pulses);
        EXPECT_EQ(from_file.long_counts, tally.long_counts);
        EXPECT_EQ(in_memory.total_cycles, tally.total_cycles);
        EXPECT_EQ(listed(from_file).size(), 2u) << "version " << int{version};
    }
    TapeCatalog none;
    testing::internal::CaptureStderr();
    EXPECT_FALSE(catalog_tape_file(temp_path("missing.tap").c_str(), &none));
    EXPECT_NE(testing::internal::GetCapturedStderr().find("tavrel: cannot read"), std::string::npos);
}

// What index and info print for a boot file and Turbo Tape 64 files.
TEST(CatalogCommands, IndexAndInfoListEveryFile) {
    const MadeTape made = make_turbo_tape({test_program("LEVEL 1", 0x2000, 100, 1), test_program("LEVEL 2", 0x3000, 100, 2)},
                                          {test_program("BOOT", 0x0801, 50, 3)});
    ASSERT_EQ(made.pilot_offsets.size(), 3u);
    const std::string path = temp_path("commands.tap");
    ASSERT_TRUE(write_whole_file(path.c_str(), made.bytes));
    std::vector<char> arg(path.begin(), path.end());
    arg.push_back('\0');
    char* argv[] = {arg.data()};

    testing::internal::CaptureStdout();
    EXPECT_EQ(run_index(1, argv), 0);
    const std::string index = testing::internal::GetCapturedStdout();
    char expected[200];
    snprintf(expected, sizeof expected, "0x14 BOOT\n0x%zx LEVEL 1\n0x%zx LEVEL 2\n", made.pilot_offsets[1],
             made.pilot_offsets[2]);
    EXPECT_EQ(index, expected);

    testing::internal::CaptureStdout();
    EXPECT_EQ(run_info(1, argv), 0);
    const std::string info = testing::internal::GetCapturedStdout();
    std::remove(path.c_str());
    EXPECT_NE(info.find("Files:      3\n"), std::string::npos) << info;
    const std::string line2 = info.substr(info.find("\n   2  "), 120);
    for (const char* part : {"Turbo Tape 64", "LEVEL 1", "$2000-$2064", "check fits", "tape 0:"}) {
        EXPECT_NE(line2.find(part), std::string::npos) << part << " in " << line2;
    }
    EXPECT_NE(info.find("   1  0x14       ROM loader     BOOT"), std::string::npos) << info;
}

}  // namespace
