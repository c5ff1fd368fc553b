#include "rom_scanner.h"

#include <cstdio>

#include "pulse_reader.h"
#include "rom_encoder.h"
#include "scan_events.h"

namespace {

// Fewer short pulses in a row than this are not taken for a pilot. Inside a
// block at most two shorts follow each other, and the ROM's shortest pilot,
// the gap before a repeat, has 79.
constexpr size_t kMinPilotPulses = 16;
// Sync, a header block and its check byte: all a block's bytes that matter.
constexpr size_t kKeptBytes = kSyncLength + kHeaderBlockSize + 1;
constexpr size_t kHeaderPayload = kHeaderBlockSize + 1;
constexpr int kPulsesPerByte = 18;  // eight bits and parity, two pulses each, after the marker
// By the classes of a bit's two pulses (short, medium, long, other): the
// bit, or 2 for a pair that is no bit.
constexpr uint32_t kPairBit[16] = {2, 0, 2, 2, 1, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2};

enum class Phase : uint8_t { kSeekPilot, kMarker, kBits, kAfterByte };
enum class BlockKind : uint8_t { kUnknown, kFirstCopy, kRepeat };

struct Block {
    size_t pilot_offset = 0;
    uint32_t pilot_cycles = 0;  // tape time at pilot_offset
    uint32_t end_cycles = 0;    // tape time where the block's last pulse ends
    size_t end_offset = 0;
    uint8_t kept[kKeptBytes] = {};
    size_t count = 0;           // bytes decoded, sync included
    uint8_t payload_xor = 0;    // XOR of every byte after the sync: 0 when the check byte fits
    bool parity_error = false;
    bool ended_clean = false;   // closed by the end of data marker
};

struct Attempt {
    bool active = false;  // the last block was a first copy that gave no header
    size_t pilot_offset = 0;
    uint32_t pilot_cycles = 0;
    bool header = false;  // it was a header, spoilt
    const char* fault = "";
};

}  // namespace

struct RomScanner {
    Phase phase = Phase::kSeekPilot;
    size_t run_start = 0;
    uint32_t run_start_cycles = 0;
    size_t run_length = 0;
    Block block;
    PulseClass pair_first = PulseClass::kOther;
    int byte_pulses = 0;
    uint32_t bits = 0;

    Attempt attempt;
    bool awaiting_repeat = false;  // a good first header copy was taken; its repeat is due
    size_t expected_data_payload = 0;  // size of the data block the last header announced, check byte included
    ScanEvents* events = nullptr;
    size_t current = kNoEntry;  // the entry in events->named of the last header taken

    static constexpr size_t kNoEntry = ~size_t{0};
};

namespace {

using Scanner = RomScanner;

BlockKind block_kind(const Block& block) {
    if (block.count < kSyncLength) return BlockKind::kUnknown;
    bool first = true;
    bool repeat = true;
    for (size_t i = 0; i < kSyncLength; ++i) {
        first = first && block.kept[i] == kFirstSyncStart - i;
        repeat = repeat && block.kept[i] == kRepeatSyncStart - i;
    }
    return first ? BlockKind::kFirstCopy : repeat ? BlockKind::kRepeat : BlockKind::kUnknown;
}

void report(Scanner* scanner, size_t offset, const std::string& what) {
    scanner->events->problems.push_back("header at " + hex_offset(offset) + ": " + what);
}

// The attempt found no good repeat: say so if it was a header.
void drop_attempt(Scanner* scanner) {
    if (scanner->attempt.active && scanner->attempt.header) {
        report(scanner, scanner->attempt.pilot_offset,
               std::string("first copy ") + scanner->attempt.fault +
                   ", repeat copy missing or bad; skipped");
    }
    scanner->attempt = Attempt{};
}

void take_header(Scanner* scanner, const uint8_t* payload, size_t pilot_offset,
                 uint32_t pilot_cycles) {
    CatalogEntry entry;
    entry.pilot_offset = pilot_offset;
    entry.family = LoaderFamily::kRomLoader;
    entry.type = payload[0];
    entry.has_addresses = true;
    entry.start_address = static_cast<uint16_t>(payload[1] | payload[2] << 8);
    entry.end_address = static_cast<uint16_t>(payload[3] | payload[4] << 8);
    entry.name = tape_name_to_ascii(payload + 5, kTapeNameLength);
    entry.description = entry.name;
    entry.start_cycles = pilot_cycles;
    entry.end_cycles = scanner->block.end_cycles;
    scanner->expected_data_payload =
        entry.type != kSequentialFileType && entry.end_address > entry.start_address
            ? static_cast<size_t>(entry.end_address - entry.start_address) + 1
            : 0;
    scanner->current = scanner->events->named.size();
    scanner->events->named.push_back(entry);
}

// A copy of the data block the current header announced, whole or cut short.
void take_data_copy(Scanner* scanner, bool whole, bool sound) {
    CatalogEntry& entry = scanner->events->named[scanner->current];
    if (entry.check != CheckState::kFits) {
        entry.check = whole && sound ? CheckState::kFits : CheckState::kFails;
    }
    entry.end_cycles = scanner->block.end_cycles;
}

void finish_block(Scanner* scanner) {
    const Block& block = scanner->block;
    if (block.count >= 1) scanner->events->claims.push_back({block.pilot_offset, block.end_offset});
    const BlockKind kind = block_kind(block);
    const size_t payload_size = block.count >= kSyncLength ? block.count - kSyncLength : 0;
    const uint8_t* payload = block.kept + kSyncLength;
    const bool data_sized =
        scanner->expected_data_payload != 0 && payload_size == scanner->expected_data_payload;
    const bool header_like = block.ended_clean && payload_size == kHeaderPayload &&
                             (payload[0] == kBasicProgramType || payload[0] == kMachineProgramType ||
                              payload[0] == kSequentialFileType);
    const bool sound = block.ended_clean && !block.parity_error && block.payload_xor == 0;
    // A first copy cut off early counts as a header when its type byte says
    // so and no header has just announced a data block.
    const bool header_start = !block.ended_clean && payload_size >= 1 &&
                              payload_size <= kHeaderPayload &&
                              scanner->expected_data_payload == 0 &&
                              (payload[0] == kBasicProgramType ||
                               payload[0] == kMachineProgramType ||
                               payload[0] == kSequentialFileType);
    const char* fault = !block.ended_clean   ? "unreadable"
                        : block.parity_error ? "has a parity error"
                                             : "has a bad check byte";
    const bool header_repeat_due = kind == BlockKind::kRepeat && scanner->awaiting_repeat;
    if (scanner->current != Scanner::kNoEntry && scanner->expected_data_payload != 0 &&
        kind != BlockKind::kUnknown && !header_repeat_due) {
        if (data_sized) {
            take_data_copy(scanner, true, sound);
        } else if (!block.ended_clean && payload_size < scanner->expected_data_payload &&
                   !header_start) {
            take_data_copy(scanner, false, false);
        }
    }

    if (kind == BlockKind::kFirstCopy) {
        scanner->awaiting_repeat = false;
        if (data_sized) {
            drop_attempt(scanner);
            return;
        }
        if (block.ended_clean) scanner->expected_data_payload = 0;
        drop_attempt(scanner);
        if (header_like && sound) {
            take_header(scanner, payload, block.pilot_offset, block.pilot_cycles);
            scanner->awaiting_repeat = true;
            return;
        }
        scanner->attempt.active = true;
        scanner->attempt.pilot_offset = block.pilot_offset;
        scanner->attempt.pilot_cycles = block.pilot_cycles;
        scanner->attempt.header = header_like || header_start;
        scanner->attempt.fault = fault;
        return;
    }

    if (kind == BlockKind::kRepeat) {
        if (scanner->awaiting_repeat) {
            scanner->awaiting_repeat = false;
            scanner->attempt = Attempt{};  // the first copy was good: nothing is missing
            if (scanner->current != Scanner::kNoEntry) {
                scanner->events->named[scanner->current].end_cycles = block.end_cycles;
            }
            return;
        }
        if (data_sized) {
            scanner->expected_data_payload = 0;
            drop_attempt(scanner);
            return;
        }
        if (header_like && sound) {
            const size_t pilot = scanner->attempt.active ? scanner->attempt.pilot_offset
                                                         : block.pilot_offset;
            const uint32_t pilot_cycles = scanner->attempt.active ? scanner->attempt.pilot_cycles
                                                                  : block.pilot_cycles;
            if (scanner->attempt.active) {
                report(scanner, pilot,
                       std::string("first copy ") +
                           (scanner->attempt.header ? scanner->attempt.fault : "unreadable") +
                           "; the repeat copy is used");
            } else {
                report(scanner, pilot, "no first copy; the repeat copy is used");
            }
            scanner->attempt = Attempt{};
            take_header(scanner, payload, pilot, pilot_cycles);
            return;
        }
        if (header_like) {
            if (scanner->attempt.active) {
                report(scanner, scanner->attempt.pilot_offset,
                       std::string("first copy ") +
                           (scanner->attempt.header ? scanner->attempt.fault : "unreadable") +
                           ", repeat copy " + fault + "; skipped");
            } else {
                report(scanner, block.pilot_offset,
                       std::string("repeat copy ") + fault + " and no first copy; skipped");
            }
            scanner->attempt = Attempt{};
            return;
        }
        drop_attempt(scanner);
        return;
    }

    // No countdown: noise, or a copy spoilt before its data began.
    drop_attempt(scanner);
    scanner->attempt.active = true;
    scanner->attempt.pilot_offset = block.pilot_offset;
    scanner->attempt.pilot_cycles = block.pilot_cycles;
    scanner->attempt.header = false;
}

// Without branches: on a turbo tape short pulses and others alternate at
// random, and every pulse passes here.
inline void count_pilot_pulse(Scanner* scanner, const Pulse& pulse, PulseClass kind) {
    const size_t counted = kind == PulseClass::kShort ? 1 : 0;
    const size_t first = counted & (scanner->run_length == 0 ? 1 : 0);
    const size_t mask = size_t{0} - first;
    const uint32_t mask32 = static_cast<uint32_t>(mask);
    scanner->run_start = (pulse.offset & mask) | (scanner->run_start & ~mask);
    scanner->run_start_cycles = (pulse.tape_cycles & mask32) | (scanner->run_start_cycles & ~mask32);
    scanner->run_length = (scanner->run_length + 1) * counted;
}

void seek_pilot(Scanner* scanner, const Pulse& pulse, PulseClass kind) {
    if (kind == PulseClass::kLong && scanner->run_length >= kMinPilotPulses) {
        scanner->block = Block{};
        scanner->block.pilot_offset = scanner->run_start;
        scanner->block.pilot_cycles = scanner->run_start_cycles;
        scanner->phase = Phase::kMarker;
        scanner->run_length = 0;
        return;
    }
    count_pilot_pulse(scanner, pulse, kind);
}

// Ends the block without its end marker and looks at the pulse afresh.
void break_block(Scanner* scanner, const Pulse& pulse, PulseClass kind) {
    scanner->block.end_cycles = pulse.tape_cycles;
    scanner->block.end_offset = pulse.offset;
    finish_block(scanner);
    scanner->phase = Phase::kSeekPilot;
    scanner->run_length = 0;
    seek_pilot(scanner, pulse, kind);
}

void take_byte(Scanner* scanner) {
    Block& block = scanner->block;
    const uint8_t value = static_cast<uint8_t>(scanner->bits);
    const uint32_t parity = scanner->bits >> 8;
    uint32_t expected = 1;
    for (int bit = 0; bit < 8; ++bit) expected ^= (value >> bit) & 1u;
    if (parity != expected) block.parity_error = true;
    if (block.count < kKeptBytes) block.kept[block.count] = value;
    if (block.count >= kSyncLength) block.payload_xor ^= value;
    ++block.count;
}

void step(Scanner* scanner, const Pulse& pulse) {
    const PulseClass kind = classify_pulse(pulse.cycles);
    switch (scanner->phase) {
        case Phase::kSeekPilot:
            seek_pilot(scanner, pulse, kind);
            return;
        case Phase::kMarker:
            if (kind == PulseClass::kMedium) {
                scanner->phase = Phase::kBits;
                scanner->byte_pulses = 0;
                scanner->bits = 0;
                return;
            }
            // (long, short) ends the data; anything else spoils the block.
            scanner->block.ended_clean = kind == PulseClass::kShort;
            scanner->block.end_cycles = pulse.tape_cycles + (scanner->block.ended_clean ? pulse.cycles : 0);
            scanner->block.end_offset = pulse.offset;
            finish_block(scanner);
            scanner->phase = Phase::kSeekPilot;
            scanner->run_length = 0;
            return;
        case Phase::kBits: {
            if (scanner->byte_pulses % 2 == 0) {
                scanner->pair_first = kind;
                ++scanner->byte_pulses;
                return;
            }
            // (short, medium) is 0, (medium, short) 1, any other pair breaks
            // the block; looked up, as the bits of data come at random.
            const uint32_t bit = kPairBit[static_cast<size_t>(scanner->pair_first) * 4 +
                                          static_cast<size_t>(kind)];
            if (bit > 1) {
                break_block(scanner, pulse, kind);
                return;
            }
            scanner->bits |= bit << (scanner->byte_pulses / 2);
            ++scanner->byte_pulses;
            if (scanner->byte_pulses == kPulsesPerByte) {
                take_byte(scanner);
                scanner->phase = Phase::kAfterByte;
            }
            return;
        }
        case Phase::kAfterByte:
            if (kind == PulseClass::kLong) {
                scanner->phase = Phase::kMarker;
                return;
            }
            break_block(scanner, pulse, kind);
            return;
    }
}

}  // namespace

std::unique_ptr<RomScanner, void (*)(RomScanner*)> make_rom_scanner(ScanEvents* events) {
    RomScanner* scanner = new RomScanner;
    scanner->events = events;
    return {scanner, [](RomScanner* p) { delete p; }};
}

void rom_scanner_steps(RomScanner* scanner, const PulseWindow& window, uint64_t from, uint64_t end) {
    for (uint64_t n = from; n < end; ++n) {
        const Pulse& pulse = window.at(n);
        const PulseClass kind = classify_pulse(pulse.cycles);
        if (scanner->phase == Phase::kSeekPilot && kind != PulseClass::kLong) {
            count_pilot_pulse(scanner, pulse, kind);  // the common case, kept inline
        } else {
            step(scanner, pulse);
        }
    }
}

void rom_scanner_finish(RomScanner* scanner, size_t end_offset, uint32_t end_cycles) {
    if (scanner->phase != Phase::kSeekPilot) {
        scanner->block.end_cycles = end_cycles;
        scanner->block.end_offset = end_offset;
        finish_block(scanner);
    }
    drop_attempt(scanner);
    scanner->phase = Phase::kSeekPilot;
}

ScanResult scan_rom_headers(const uint8_t* file, size_t size, uint8_t version) {
    ScanEvents events;
    auto scanner = make_rom_scanner(&events);
    PulseReader reader = make_pulse_reader(file, size, version);
    Pulse pulse;
    while (next_pulse(&reader, &pulse)) step(scanner.get(), pulse);
    rom_scanner_finish(scanner.get(), size, 0);
    ScanResult result;
    for (const CatalogEntry& entry : events.named) {
        FoundProgram program;
        program.pilot_offset = entry.pilot_offset;
        program.type = entry.type;
        program.start_address = entry.start_address;
        program.end_address = entry.end_address;
        program.name = entry.name;
        result.programs.push_back(program);
    }
    result.problems = std::move(events.problems);
    return result;
}

std::string index_line(const FoundProgram& program) {
    return hex_offset(program.pilot_offset) + " " + program.name;
}

std::string hex_offset(size_t offset) {
    char text[32];
    snprintf(text, sizeof text, "0x%zx", offset);
    return text;
}
