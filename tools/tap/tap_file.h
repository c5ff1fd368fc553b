// The TAP container: the 20-byte header and whole-file reads and writes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

inline constexpr size_t kTapHeaderBytes = 20;
inline constexpr size_t kTapSignatureLength = 12;
inline constexpr char kTapSignature[] = "C64-TAPE-RAW";

struct TapHeaderFields {
    char signature[kTapSignatureLength + 1] = {};  // the first twelve bytes, as they are
    bool signature_ok = false;
    uint8_t version = 0;
    uint8_t platform = 0;  // byte 13
    uint8_t video = 0;     // byte 14
    uint32_t length_field = 0;
};

// `file` must hold at least kTapHeaderBytes bytes.
TapHeaderFields read_tap_header(const std::vector<uint8_t>& file);
// `header` points at kTapHeaderBytes bytes.
TapHeaderFields read_tap_header(const uint8_t* header);

// Overwrites the first kTapHeaderBytes bytes (growing `file` if needed).
void write_tap_header(std::vector<uint8_t>* file, uint8_t version, uint32_t length_field);

enum class TapLoadOutcome { kLoaded, kCannotRead, kTooShort };

// Reads the whole file and checks that it holds at least the header; prints
// one line on stderr when it cannot.
TapLoadOutcome load_tap_file(const char* path, std::vector<uint8_t>* bytes);

bool read_whole_file(const char* path, std::vector<uint8_t>* bytes);
bool write_whole_file(const char* path, const std::vector<uint8_t>& bytes);
