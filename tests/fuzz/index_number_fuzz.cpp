// parse_index_number on arbitrary bytes. The text is copied into a buffer
// of exactly its length plus the NUL, so a read past the NUL is an ASan
// report; the checks below hold for every input.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "index/index_number.h"

namespace {

bool is_end_byte(char c) { return static_cast<unsigned char>(c) <= ' '; }

void check(bool condition) {
    if (!condition) abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<char> text(size + 1);
    if (size > 0) memcpy(text.data(), data, size);
    text[size] = '\0';
    const char* const begin = text.data();
    const char* const end = begin + strlen(begin);  // the NUL that ends the text

    const char* cursor = begin;
    int32_t result = 12345;
    const bool ok = parse_index_number(&cursor, &result);

    // The cursor only moves forward and never beyond the terminating NUL.
    check(cursor >= begin && cursor <= end);
    if (!ok) {
        check(result == 0);
        return 0;
    }
    // A number ends on an end byte, and nothing between the leading spaces
    // and that byte is one.
    check(is_end_byte(*cursor));
    const char* p = begin;
    while (*p == ' ') ++p;
    check(p < cursor);
    for (; p < cursor; ++p) check(!is_end_byte(*p));
    return 0;
}
