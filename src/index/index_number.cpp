#include "index/index_number.h"

namespace {

// Any byte of value 32 or less ends a number; bytes 128 and up do not.
bool is_end_byte(char c) { return static_cast<unsigned char>(c) <= ' '; }

// 0-9, then A-Z / a-z as 10-35; -1 for anything else.
int digit_value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'Z') return c - 'A' + 10;
    if (c >= 'a' && c <= 'z') return c - 'a' + 10;
    return -1;
}

}  // namespace

bool parse_index_number(const char** cursor, int32_t* result) {
    *result = 0;
    const char* p = *cursor;
    while (*p == ' ') ++p;

    bool negative = false;
    if (*p == '-') {
        negative = true;
        ++p;
    }

    uint32_t base = 10;
    if (*p == '0') {
        ++p;
        if (*p == 'b') {
            base = 2;
            ++p;
        } else if (*p == 'x') {
            base = 16;
            ++p;
        } else if (is_end_byte(*p)) {
            *cursor = p;
            return true;  // a lone zero, signed or not
        } else if (*p >= '0' && *p <= '9') {
            base = 8;
        } else {
            *cursor = p;
            return false;
        }
    } else if (*p < '1' || *p > '9') {
        *cursor = p;
        return false;
    }

    uint32_t value = 0;
    for (; !is_end_byte(*p); ++p) {
        const int digit = digit_value(*p);
        if (digit < 0 || static_cast<uint32_t>(digit) >= base) {
            *cursor = p;
            return false;
        }
        value = value * base + static_cast<uint32_t>(digit);  // wraps by design
    }
    if (negative) value = 0u - value;
    *cursor = p;
    *result = static_cast<int32_t>(value);
    return true;
}
