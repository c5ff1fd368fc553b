// Tapes written by the encoder are indexed back by the scanner: exact names
// at the exact pilot offsets, through timing jitter, noise and damage.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "rom_encoder.h"
#include "tap/test_program.h"
#include "rom_scanner.h"
#include "tap_file.h"

namespace {


// A data block that looks like a header block: 192 bytes, type byte 3.
TapeProgram header_lookalike() {
    TapeProgram p = test_program("LOOKALIKE", 0x2000, 192, 9);
    TapeProgram fake = test_program("PHANTOM", 0x3000, 100, 10);
    p.body = header_block(fake);
    return p;
}

struct Expected {
    std::string name;
    size_t offset;
};

std::vector<Expected> found(const ScanResult& scan) {
    std::vector<Expected> list;
    for (const FoundProgram& p : scan.programs) list.push_back({p.name, p.pilot_offset});
    return list;
}

bool operator==(const Expected& a, const Expected& b) {
    return a.name == b.name && a.offset == b.offset;
}

void PrintTo(const Expected& e, std::ostream* os) { *os << "{" << e.name << " @" << e.offset << "}"; }

ScanResult scan(const std::vector<uint8_t>& tape) {
    return scan_rom_headers(tape.data(), tape.size(), read_tap_header(tape).version);
}

// The programs of the round trip: BASIC and machine code, 1 byte to 40 KiB,
// names with blanks, typed in lower case, in shifted PETSCII, at full length.
struct RoundTrip {
    std::vector<TapeProgram> programs;
    std::vector<std::string> names;
    MadeTape tape;
};

const RoundTrip& round_trip() {
    static const RoundTrip fixture = [] {
        RoundTrip r;
        r.programs.push_back(test_program("FIRST PROGRAM", 0x0801, 30, 1));
        r.programs.push_back(test_program("  SPACED  OUT ", 0x1000, 40 * 1024, 2));
        r.programs.push_back(test_program("mixed Case 1", 0x0801, 500, 3));
        TapeProgram shifted = test_program("", 0xC000, 1, 4);
        const uint8_t petscii[] = {0xC8, 0xC9, 0x20, 0x41, 0x5F, 0xA0, 0xA0};
        memcpy(shifted.name, petscii, sizeof petscii);
        r.programs.push_back(shifted);
        r.programs.push_back(header_lookalike());
        r.programs.push_back(test_program("ABCDEFGHIJKLMNOP", 0x0801, 2, 5));
        r.names = {"FIRST PROGRAM", "  SPACED  OUT", "MIXED CASE 1", "hi A_",
                   "LOOKALIKE",     "ABCDEFGHIJKLMNOP"};
        r.tape = make_tape(r.programs);
        return r;
    }();
    return fixture;
}

std::vector<Expected> expected_at(const std::vector<size_t>& offsets) {
    std::vector<Expected> list;
    for (size_t i = 0; i < offsets.size(); ++i) list.push_back({round_trip().names[i], offsets[i]});
    return list;
}

TEST(TapRoundTrip, IndexGivesEveryNameAtItsPilot) {
    const RoundTrip& r = round_trip();
    // The offsets are where the pilots really are: the first right after the
    // TAP header, the others right after the silence before them.
    ASSERT_EQ(r.tape.pilot_offsets.size(), r.programs.size());
    EXPECT_EQ(r.tape.pilot_offsets[0], kTapHeaderBytes);
    for (size_t i = 1; i < r.tape.pilot_offsets.size(); ++i) {
        const size_t at = r.tape.pilot_offsets[i];
        EXPECT_EQ(r.tape.bytes[at - 4], 0) << i;
        EXPECT_EQ(r.tape.bytes[at], kShortPulse) << i;
    }
    EXPECT_EQ(read_tap_header(r.tape.bytes).length_field, r.tape.bytes.size() - kTapHeaderBytes);

    const ScanResult result = scan(r.tape.bytes);
    EXPECT_EQ(found(result), expected_at(r.tape.pilot_offsets));
    EXPECT_TRUE(result.problems.empty()) << result.problems[0];
    EXPECT_EQ(result.programs[0].type, kBasicProgramType);
    EXPECT_EQ(result.programs[1].type, kMachineProgramType);
    EXPECT_EQ(result.programs[1].start_address, 0x1000);
    EXPECT_EQ(result.programs[1].end_address, 0x1000 + 40 * 1024);
    EXPECT_EQ(index_line(result.programs[0]), "0x14 FIRST PROGRAM");
}

// Every pulse off by up to 10% either way, and a few noise pulses of any
// length before each silence: the index stays the same, shifted by the
// noise bytes that come before each pilot.
std::vector<uint8_t> jitter(const std::vector<uint8_t>& tape, unsigned seed,
                            std::vector<size_t>* pilot_offsets) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> drift(-0.1, 0.1);
    std::uniform_int_distribution<int> noise_count(1, 3);
    std::uniform_int_distribution<int> noise_pulse(1, 255);
    std::vector<uint8_t> out(tape.begin(), tape.begin() + kTapHeaderBytes);
    size_t next_pilot = 0;
    for (size_t i = kTapHeaderBytes; i < tape.size();) {
        if (next_pilot < pilot_offsets->size() && (*pilot_offsets)[next_pilot] == i) {
            (*pilot_offsets)[next_pilot++] = out.size();
        }
        if (tape[i] == 0) {
            for (int n = noise_count(rng); n > 0; --n) out.push_back(static_cast<uint8_t>(noise_pulse(rng)));
            out.insert(out.end(), tape.begin() + static_cast<long>(i), tape.begin() + static_cast<long>(i) + 4);
            i += 4;
            continue;
        }
        const long value = std::lround(tape[i] * (1.0 + drift(rng)));
        out.push_back(static_cast<uint8_t>(std::clamp(value, 1L, 255L)));
        ++i;
    }
    write_tap_header(&out, 1, static_cast<uint32_t>(out.size() - kTapHeaderBytes));
    return out;
}

TEST(TapRoundTrip, JitterAndNoiseBetweenProgramsChangeNothing) {
    for (unsigned seed = 1; seed <= 8; ++seed) {
        std::vector<size_t> offsets = round_trip().tape.pilot_offsets;
        const std::vector<uint8_t> tape = jitter(round_trip().tape.bytes, seed, &offsets);
        ASSERT_NE(offsets, round_trip().tape.pilot_offsets) << "the noise must move the pilots";
        const ScanResult result = scan(tape);
        EXPECT_EQ(found(result), expected_at(offsets)) << "seed " << seed;
        EXPECT_TRUE(result.problems.empty()) << "seed " << seed << ": " << result.problems[0];
    }
}

// Version 0 writes a long pause as zero bytes, each one pulse; read the
// version-1 way they would swallow the start of the next pilot.
TEST(TapRoundTrip, VersionZeroPausesAreSinglePulses) {
    const MadeTape made = make_tape({test_program("ONE", 0x0801, 10, 1), test_program("TWO", 0xC000, 10, 2)});
    std::vector<uint8_t> tape(made.bytes.begin(), made.bytes.begin() + static_cast<long>(made.pilot_offsets[1]) - 4);
    tape.insert(tape.end(), 5, 0);
    const size_t second_pilot = tape.size();
    tape.insert(tape.end(), made.bytes.begin() + static_cast<long>(made.pilot_offsets[1]), made.bytes.end());
    write_tap_header(&tape, 0, static_cast<uint32_t>(tape.size() - kTapHeaderBytes));

    const std::vector<Expected> expected = {{"ONE", kTapHeaderBytes}, {"TWO", second_pilot}};
    EXPECT_EQ(found(scan(tape)), expected);
    tape[12] = 1;
    EXPECT_NE(found(scan(tape)), expected);
}

// Damage to the second of three programs' header copies.
enum class Damage { kNone, kFlipBit, kFlipBitAndParity, kBadPulse };

struct DamageCase {
    const char* label;
    Damage first_copy;
    Damage repeat_copy;
    bool kept;
    const char* problem;  // expected in the report, after "header at 0x...: "; empty: no report
};

// Where bit `bit` (8: parity) of header byte `index` of a copy lies.
size_t bit_position(size_t pilot, bool repeat, size_t index, size_t bit) {
    const size_t block_pulses = (kSyncLength + kHeaderBlockSize + 1) * 20 + 2;
    size_t at = pilot + kHeaderPilotPulses;
    if (repeat) at += block_pulses + kRepeatGapPulses;
    return at + (kSyncLength + index) * 20 + 2 + 2 * bit;
}

void damage(std::vector<uint8_t>* tape, size_t pilot, bool repeat, Damage how) {
    const size_t name_byte = 5;
    const size_t at = bit_position(pilot, repeat, name_byte, 0);
    switch (how) {
        case Damage::kNone:
            return;
        case Damage::kFlipBit:
            std::swap((*tape)[at], (*tape)[at + 1]);
            return;
        case Damage::kFlipBitAndParity: {
            std::swap((*tape)[at], (*tape)[at + 1]);
            const size_t parity = bit_position(pilot, repeat, name_byte, 8);
            std::swap((*tape)[parity], (*tape)[parity + 1]);
            return;
        }
        case Damage::kBadPulse:
            (*tape)[at + 1] = 0x10;
            return;
    }
}

class TapDamagedHeader : public ::testing::TestWithParam<DamageCase> {};

TEST_P(TapDamagedHeader, RepeatCopyStandsInOrTheProgramIsSkipped) {
    const DamageCase& c = GetParam();
    const MadeTape made = make_tape({test_program("BEFORE", 0x0801, 50, 1), test_program("TARGET", 0x0801, 60, 2),
                                     test_program("AFTER", 0xC000, 70, 3)});
    std::vector<uint8_t> tape = made.bytes;
    const size_t pilot = made.pilot_offsets[1];
    damage(&tape, pilot, false, c.first_copy);
    damage(&tape, pilot, true, c.repeat_copy);
    ASSERT_TRUE(c.first_copy == Damage::kNone || tape != made.bytes);

    const ScanResult result = scan(tape);
    std::vector<Expected> expected = {{"BEFORE", made.pilot_offsets[0]}};
    if (c.kept) expected.push_back({"TARGET", pilot});
    expected.push_back({"AFTER", made.pilot_offsets[2]});
    EXPECT_EQ(found(result), expected);
    if (*c.problem == '\0') {
        EXPECT_TRUE(result.problems.empty()) << result.problems[0];
    } else {
        char offset[32];
        snprintf(offset, sizeof offset, "0x%zx", pilot);
        ASSERT_EQ(result.problems.size(), 1u);
        EXPECT_EQ(result.problems[0], std::string("header at ") + offset + ": " + c.problem);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TapDamagedHeader,
    ::testing::Values(
        DamageCase{"ParityInFirst", Damage::kFlipBit, Damage::kNone, true,
                   "first copy has a parity error; the repeat copy is used"},
        DamageCase{"CheckByteInFirst", Damage::kFlipBitAndParity, Damage::kNone, true,
                   "first copy has a bad check byte; the repeat copy is used"},
        DamageCase{"PulseInFirst", Damage::kBadPulse, Damage::kNone, true,
                   "first copy unreadable; the repeat copy is used"},
        DamageCase{"OnlyRepeat", Damage::kNone, Damage::kBadPulse, true, ""},
        DamageCase{"BothParity", Damage::kFlipBit, Damage::kFlipBit, false,
                   "first copy has a parity error, repeat copy has a parity error; skipped"},
        DamageCase{"BothCheckByte", Damage::kFlipBitAndParity, Damage::kFlipBitAndParity, false,
                   "first copy has a bad check byte, repeat copy has a bad check byte; skipped"},
        DamageCase{"BothPulse", Damage::kBadPulse, Damage::kBadPulse, false,
                   "first copy unreadable, repeat copy missing or bad; skipped"}),
    [](const ::testing::TestParamInfo<DamageCase>& param_info) { return param_info.param.label; });

// Arbitrary bytes, and tapes cut anywhere: no crash, no invented program.
TEST(TapScanRobustness, CutTapesNeverInventPrograms) {
    const MadeTape made = make_tape({test_program("ALPHA", 0x0801, 20, 1), test_program("BETA", 0xC000, 20, 2)});
    // A header counts once its first copy has ended: 202 bytes of 20 pulses
    // and the end marker after the pilot.
    const size_t first_done = made.pilot_offsets[0] + kHeaderPilotPulses + 4042;
    const size_t second_done = made.pilot_offsets[1] + kHeaderPilotPulses + 4042;
    const struct {
        size_t cut;
        size_t programs;
    } cuts[] = {{20, 0},          {21, 0},          {first_done - 1, 0},
                {first_done, 1},  {second_done - 1, 1}, {second_done, 2},
                {made.bytes.size() - 1, 2}};
    for (const auto& c : cuts) {
        std::vector<uint8_t> tape(made.bytes.begin(), made.bytes.begin() + static_cast<long>(c.cut));
        const ScanResult result = scan(tape);
        EXPECT_EQ(result.programs.size(), c.programs) << "cut at " << c.cut;
        for (const FoundProgram& p : result.programs) {
            EXPECT_TRUE(p.name == "ALPHA" || p.name == "BETA") << "cut at " << c.cut;
        }
    }
    std::mt19937 rng(7);
    std::vector<uint8_t> noise(200000);
    for (uint8_t& b : noise) b = static_cast<uint8_t>(rng());
    write_tap_header(&noise, 1, 0);
    EXPECT_TRUE(scan(noise).programs.empty());
}

}  // namespace
