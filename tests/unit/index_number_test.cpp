#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <ostream>
#include <string>
#include <vector>

#include "index/index_number.h"

namespace {

struct ParseCase {
    std::string text;
    bool ok;
    uint32_t value;  // the result as unsigned 32-bit; 0 after a failure
    size_t rest;     // where the cursor rests, as an offset into the text
};

// Control bytes and bytes from 128 up shown as \xNN, so a failing case says
// which text it was.
void PrintTo(const ParseCase& c, std::ostream* os) {
    *os << '"';
    for (const char ch : c.text) {
        const auto byte = static_cast<unsigned char>(ch);
        if (byte < 0x20 || byte >= 0x7F) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02x", byte);
            *os << hex;
        } else {
            *os << ch;
        }
    }
    *os << "\" -> " << (c.ok ? "true" : "false") << ", " << c.value << ", cursor at " << c.rest;
}

std::vector<ParseCase> parse_cases() {
    std::vector<ParseCase> cases = {
        // The worked examples.
        {"0", true, 0, 1},
        {"42 Intro", true, 42, 2},
        {"   7", true, 7, 4},
        {"-42", true, 4294967254u, 3},
        {"0x1A", true, 26, 4},
        {"0xff", true, 255, 4},
        {"0b101", true, 5, 5},
        {"017", true, 15, 3},
        {"0777", true, 511, 4},
        {"0x", true, 0, 2},
        {"0 x", true, 0, 1},
        {"-0x10", true, 4294967280u, 5},
        {"4294967295", true, 4294967295u, 10},
        {"4294967296", true, 0, 10},
        {"150\tLoader", true, 150, 3},
        {"0X1A", false, 0, 1},
        {"0B1", false, 0, 1},
        {"08", false, 0, 1},
        {"0b102", false, 0, 4},
        {"1a", false, 0, 1},
        {"12:", false, 0, 2},
        {"0x1A:", false, 0, 4},
        {"0xG", false, 0, 2},
        {"\t5", false, 0, 0},
        {"- 5", false, 0, 1},
        {"+5", false, 0, 0},
        {"", false, 0, 0},
        {"12\x80", false, 0, 2},

        // Wrap-around modulo 2^32 in every base.
        {"4294967297", true, 1, 10},
        {"0x100000000", true, 0, 11},
        {"0x100000001", true, 1, 11},
        {"0b100000000000000000000000000000000", true, 0, 35},
        {"0b100000000000000000000000000000011", true, 3, 35},
        {"040000000000", true, 0, 12},
        {"040000000007", true, 7, 12},
        {"-4294967295", true, 1, 11},
        {"0xffffffff", true, 4294967295u, 10},
        {"-1", true, 4294967295u, 2},

        // A lone zero, signed or not, before any end byte.
        {"0\t", true, 0, 1},
        {"0\v", true, 0, 1},
        {"0\x01", true, 0, 1},
        {"0\r", true, 0, 1},
        {"-0", true, 0, 2},
        {"-0\t", true, 0, 2},
        {"-0 x", true, 0, 2},

        // Any byte of value 32 or less ends a number; 128 and up do not.
        {"25\v", true, 25, 2},
        {"25\x1f", true, 25, 2},
        {"0x1f\x7f", false, 0, 4},
        {"0xf\xff", false, 0, 3},
        {"0b1\x80", false, 0, 3},

        // Prefixes and digits of each base.
        {"0xAbC", true, 2748, 5},
        {"0xabcdef", true, 0xabcdef, 8},
        {"010", true, 8, 3},
        {"09", false, 0, 1},
        {"0178", false, 0, 3},
        {"0b", true, 0, 2},
        {"0b ", true, 0, 2},
        {"0x\tTitle", true, 0, 2},
        {"0b2", false, 0, 2},
        {"0xg", false, 0, 2},
        {"1z", false, 0, 1},
        {"0a", false, 0, 1},
        {"0-", false, 0, 1},

        // Only spaces before the number, the sign directly in front of it.
        {"  -5 x", true, 4294967291u, 4},
        {"\v5", false, 0, 0},
        {"   ", false, 0, 3},
        {"-", false, 0, 1},
        {"--5", false, 0, 1},
        {"-+5", false, 0, 1},
        {"x12", false, 0, 0},
    };
    // The seven characters between 9 and A are digits in no base.
    for (const char between : std::string(":;<=>?@")) {
        cases.push_back({std::string("12") + between, false, 0, 2});
        cases.push_back({std::string("0x1A") + between, false, 0, 4});
        cases.push_back({std::string("017") + between, false, 0, 3});
    }
    return cases;
}

class ParseIndexNumber : public testing::TestWithParam<ParseCase> {};

TEST_P(ParseIndexNumber, GivesResultValueAndCursor) {
    const ParseCase& c = GetParam();
    const char* const start = c.text.c_str();
    const char* cursor = start;
    int32_t result = 1234;  // must be overwritten, by 0 on failure

    const bool ok = parse_index_number(&cursor, &result);

    EXPECT_EQ(ok, c.ok);
    EXPECT_EQ(static_cast<uint32_t>(result), c.value);
    EXPECT_EQ(static_cast<size_t>(cursor - start), c.rest);
}

INSTANTIATE_TEST_SUITE_P(Table, ParseIndexNumber, testing::ValuesIn(parse_cases()));

}  // namespace
