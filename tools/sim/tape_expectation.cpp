#include "tape_expectation.h"

#include <cstdio>
#include <fstream>
#include <iterator>

namespace {

std::string byte_text(uint8_t byte) {
    char text[8];
    snprintf(text, sizeof(text), "0x%02x", byte);
    return text;
}

}  // namespace

uint32_t read_length_field(const uint8_t* header) {
    const uint8_t* field = header + kLengthFieldOffset;
    return static_cast<uint32_t>(field[0]) | static_cast<uint32_t>(field[1]) << 8 |
           static_cast<uint32_t>(field[2]) << 16 | static_cast<uint32_t>(field[3]) << 24;
}

bool load_tape_expectation(const std::string& path, uint32_t start, TapeExpectation* expected,
                           std::string* error) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        *error = "cannot open " + path;
        return false;
    }
    const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(file)),
                                     std::istreambuf_iterator<char>());
    if (bytes.size() < kTapHeaderSize) {
        *error = path + " is shorter than a TAP header";
        return false;
    }
    expected->enabled = true;
    expected->header.assign(bytes.begin(), bytes.begin() + kTapHeaderSize);
    const uint32_t length = read_length_field(bytes.data());
    const uint32_t skipped = start - static_cast<uint32_t>(kTapHeaderSize);
    if (skipped >= length && skipped > 0) {
        *error = "start offset " + std::to_string(start) + " lies beyond the " +
                 std::to_string(length) + " pulse bytes of " + path;
        return false;
    }
    const uint32_t lowered = length - skipped;
    for (size_t i = 0; i < 4; ++i) {
        expected->header[kLengthFieldOffset + i] = static_cast<uint8_t>(lowered >> (8 * i));
    }
    if (start < bytes.size()) expected->data.assign(bytes.begin() + start, bytes.end());
    return true;
}

Verdict judge_tape(const TapeExpectation& expected, const std::vector<uint8_t>& header,
                   const std::vector<uint8_t>& data) {
    Verdict verdict;
    const uint32_t length = read_length_field(header.data());
    const std::string received = "received " + std::to_string(data.size());
    if (expected.enabled) {
        for (size_t i = 0; i < kTapHeaderSize; ++i) {
            if (header[i] != expected.header[i]) {
                verdict.text = "header mismatch at byte " + std::to_string(i) + ": got " +
                               byte_text(header[i]) + ", expected " +
                               byte_text(expected.header[i]);
                return verdict;
            }
        }
        for (size_t i = 0; i < data.size(); ++i) {
            if (i >= expected.data.size()) {
                verdict.text = received + " pulse bytes, but only " +
                               std::to_string(expected.data.size()) + " were expected";
                return verdict;
            }
            if (data[i] != expected.data[i]) {
                verdict.text = "mismatch at pulse byte " + std::to_string(i) + ": got " +
                               byte_text(data[i]) + ", expected " +
                               byte_text(expected.data[i]);
                return verdict;
            }
        }
    }
    if (data.size() < length) {
        verdict.text = received + " of " + std::to_string(length) + " pulse bytes";
        return verdict;
    }
    verdict.passed = true;
    verdict.text = received + " pulse bytes, " +
                   (expected.enabled ? "all match" : "nothing to compare with");
    return verdict;
}
