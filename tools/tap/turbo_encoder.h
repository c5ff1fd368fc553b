// Writes programs in a two-width turbo loader's encoding (loader_families.h),
// Turbo Tape 64 by default: for tapes made by the tests and by make.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "loader_families.h"
#include "rom_encoder.h"

// Pilot lengths in bytes, as Turbo Tape 64 tapes carry them.
inline constexpr size_t kTurboHeaderPilotBytes = 640;
inline constexpr size_t kTurboDataPilotBytes = 256;
inline constexpr size_t kTurboTrailerBytes = 8;  // $00 after each block
inline constexpr uint8_t kTurboProgramType = 1;

// Eight pulses, in the family's bit order.
void append_two_width_byte(std::vector<uint8_t>* out, const TwoWidthFamily& family, uint8_t value);

// `pilot_bytes` pilot bytes, the sync, then `size` bytes of payload.
void append_two_width_block(std::vector<uint8_t>* out, const TwoWidthFamily& family,
                            size_t pilot_bytes, const uint8_t* payload, size_t size);

// Turbo Tape 64's header block after the sync: the type byte, start and
// end (exclusive) address, one more byte, the name, blanks to 192 bytes
// after the type byte.
std::vector<uint8_t> turbo_header_block(const TapeProgram& program, uint8_t type);

// Turbo Tape 64's data block after the sync: $00, the body, the XOR of the
// body.
std::vector<uint8_t> turbo_data_block(const TapeProgram& program);

// One Turbo Tape 64 file: the header block and, right after its trailer,
// the data block, each with its pilot and followed by kTurboTrailerBytes
// of $00. The file's pilot (where an index entry points) is where `out`
// ended before the call.
void append_turbo_tape_file(std::vector<uint8_t>* out, const TapeProgram& program,
                            uint8_t type = kTurboProgramType);

// A version 1 tape: first `rom_programs` as the ROM saves them (a boot
// file, say), then `turbo_programs` in Turbo Tape 64, two seconds of
// silence between files. pilot_offsets lists every file in tape order.
MadeTape make_turbo_tape(const std::vector<TapeProgram>& turbo_programs,
                         const std::vector<TapeProgram>& rom_programs = {});
