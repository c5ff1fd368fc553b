// Writes programs in the C64 ROM loader's tape encoding.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "petscii.h"

// Nominal pulse bytes (8 cycles each).
inline constexpr uint8_t kShortPulse = 0x30;
inline constexpr uint8_t kMediumPulse = 0x42;
inline constexpr uint8_t kLongPulse = 0x56;

// Pilot lengths in short pulses, as the ROM writes them.
inline constexpr size_t kHeaderPilotPulses = 0x6A00;
inline constexpr size_t kDataPilotPulses = 0x1A00;
inline constexpr size_t kRepeatGapPulses = 0x4F;  // between a block and its repeat
inline constexpr size_t kTrailerPulses = 0x4E;    // after a repeat

// Quiet tape between two programs: two seconds, as one long count.
inline constexpr uint32_t kSilenceCycles = 2 * 985248;

inline constexpr size_t kHeaderBlockSize = 192;
inline constexpr size_t kSyncLength = 9;
inline constexpr uint8_t kFirstSyncStart = 0x89;   // counts down to $81
inline constexpr uint8_t kRepeatSyncStart = 0x09;  // counts down to $01

inline constexpr uint8_t kBasicProgramType = 1;       // relocatable, loads to $0801
inline constexpr uint8_t kMachineProgramType = 3;     // loads where it was saved
inline constexpr uint8_t kSequentialFileType = 4;
inline constexpr uint16_t kBasicStart = 0x0801;

struct TapeProgram {
    uint8_t name[kTapeNameLength] = {};  // PETSCII, padded with blanks
    uint16_t load_address = 0;
    std::vector<uint8_t> body;  // what is loaded at load_address; load_address + size <= $FFFF
};

struct MadeTape {
    std::vector<uint8_t> bytes;         // the whole TAP file, version 1
    std::vector<size_t> pilot_offsets;  // where each program's first pilot begins
};

// The header block's 192 bytes: type, start and end (one past the last byte)
// addresses, the name, blanks.
std::vector<uint8_t> header_block(const TapeProgram& program);

// A marker, the eight bits least significant first and the odd parity bit.
void append_encoded_byte(std::vector<uint8_t>* out, uint8_t value);

// Sync countdown, the data, its check byte (XOR of the data) and the end
// of data marker.
void append_block(std::vector<uint8_t>* out, uint8_t sync_start, const uint8_t* data,
                  size_t size);

void append_pulses(std::vector<uint8_t>* out, uint8_t pulse, size_t count);

// A zero byte and the cycle count in 24 bits, least significant first.
void append_long_count(std::vector<uint8_t>* out, uint32_t cycles);

// Header and data, each twice, with their pilots.
void append_rom_program(std::vector<uint8_t>* out, const TapeProgram& program);

// Header and data, each twice, with their pilots; silence between programs.
MadeTape make_tape(const std::vector<TapeProgram>& programs);

// Sets the name from typed text, which must fit and map to PETSCII.
bool set_program_name(TapeProgram* program, const char* text);
