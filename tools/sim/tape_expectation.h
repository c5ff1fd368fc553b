// What the player ought to send for a TAP file played from a start offset,
// and the verdict on what it did send.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

inline constexpr size_t kTapHeaderSize = 20;
inline constexpr size_t kLengthFieldOffset = 16;

uint32_t read_length_field(const uint8_t* header);

struct TapeExpectation {
    bool enabled = false;  // false: any well-formed exchange passes
    std::vector<uint8_t> header;
    std::vector<uint8_t> data;  // the file from the start offset to its end
};

// Loads `path`. With `start` above 20 the length field is lowered by the
// pulse bytes skipped, as the player does. False with a reason in `error`.
bool load_tape_expectation(const std::string& path, uint32_t start, TapeExpectation* expected,
                           std::string* error);

struct Verdict {
    bool passed = false;
    std::string text;  // one line, without the program name
};

// Judges a header and the pulse bytes that came for it. `data` may be
// shorter than the header's length field when the player ran dry.
Verdict judge_tape(const TapeExpectation& expected, const std::vector<uint8_t>& header,
                   const std::vector<uint8_t>& data);
