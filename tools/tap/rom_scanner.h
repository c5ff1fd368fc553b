// Finds the C64 ROM loader's header blocks among a TAP file's pulses, in
// one pass, and checks the data block each header announces.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "petscii.h"
#include "pulse_reader.h"

struct ScanEvents;

struct FoundProgram {
    size_t pilot_offset = 0;  // where the first copy's pilot begins
    uint8_t type = 0;         // 1 BASIC, 3 machine code, 4 sequential file
    uint16_t start_address = 0;
    uint16_t end_address = 0;  // one past the last byte
    std::string name;          // as the machine shows it, trailing blanks dropped
};

struct ScanResult {
    std::vector<FoundProgram> programs;  // in tape order
    std::vector<std::string> problems;   // one line each, about bad headers
};

// The scanner as one of the catalog's detectors: it adds each header as a
// named entry, a claim for every block it decoded, and its problems.
struct RomScanner;
std::unique_ptr<RomScanner, void (*)(RomScanner*)> make_rom_scanner(ScanEvents* events);
// Pulses number `from` up to `end` (exclusive) of the window, in file order.
void rom_scanner_steps(RomScanner* scanner, const PulseWindow& window, uint64_t from, uint64_t end);
// At the end of the tape: `end_offset` is the file size, `end_cycles` the
// player's total.
void rom_scanner_finish(RomScanner* scanner, size_t end_offset, uint32_t end_cycles);

// The ROM loader's programs alone, over a whole file in memory.
ScanResult scan_rom_headers(const uint8_t* file, size_t size, uint8_t version);

// The line `index` prints: "0x" + hex offset, a blank, the name.
std::string index_line(const FoundProgram& program);
