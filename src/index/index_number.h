// Reads the number at the start of an index line: decimal, "0x" hex, "0b"
// binary or octal with a leading 0, with an optional minus sign, wrapping
// modulo 2^32.
#pragma once

#include <cstdint>

// Sets *result to 0, then parses at *cursor and moves it forward. True with
// the number in *result and the cursor on the first byte of value 32 or less
// behind it; false (with *result 0) when no number can be read there.
bool parse_index_number(const char** cursor, int32_t* result);
