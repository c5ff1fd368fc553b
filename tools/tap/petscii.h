// Tape names: PETSCII on tape, printable ASCII on the PC side.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

inline constexpr size_t kTapeNameLength = 16;
inline constexpr uint8_t kTapeNamePad = 0x20;

// The character the machine shows for a name byte in its power-up
// character set: unshifted letters upper case. The shifted letters, drawn
// as graphics there, become lower case so that they stay apart; the
// shifted blank is a blank; anything else without a printable ASCII
// counterpart is '?'.
char petscii_to_ascii(uint8_t code);

// The name as the machine shows it, trailing blanks dropped.
std::string tape_name_to_ascii(const uint8_t* name, size_t length);

// The PETSCII byte for a name character typed on the PC: letters of either
// case become the unshifted (upper case) letters. False for characters a
// tape name cannot hold.
bool ascii_to_petscii(char c, uint8_t* code);
