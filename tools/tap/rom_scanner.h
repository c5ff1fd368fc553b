// Finds the C64 ROM loader's header blocks among a TAP file's pulses, in
// one pass. Blocks written by custom (turbo) loaders are not recognised.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "petscii.h"

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

ScanResult scan_rom_headers(const uint8_t* file, size_t size, uint8_t version);

// The line `index` prints: "0x" + hex offset, a blank, the name.
std::string index_line(const FoundProgram& program);
