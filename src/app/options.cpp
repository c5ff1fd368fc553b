#include "app/options.h"

namespace {

bool is_scan_space(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

}  // namespace

bool parse_position_value(const char* text, uint32_t* value) {
    const char* p = text;
    while (is_scan_space(*p)) ++p;
    bool negative = false;
    if (*p == '+' || *p == '-') {
        negative = *p == '-';
        ++p;
    }
    if (*p < '0' || *p > '9') return false;
    uint64_t number = 0;
    for (; *p >= '0' && *p <= '9'; ++p) {
        // Saturate, so that an oversized number cannot wrap onto a low
        // entry; a minus sign is applied afterwards, as the scan does.
        number = number * 10 + static_cast<uint64_t>(*p - '0');
        if (number > 0xFFFFFFFFu) number = 0xFFFFFFFFu + uint64_t{1};
    }
    uint32_t result = number > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<uint32_t>(number);
    *value = negative ? 0u - result : result;
    return true;
}

bool parse_options(int argc, char** argv, PlayOptions* options, PositionalArguments* positional) {
    options->program_name = argc > 0 ? argv[0] : "";
    int i = 1;
    while (i < argc && argv[i][0] == '-') {
        // Only the second character names the option.
        const char name = argv[i][1];
        if (name == 'i' || name == 'p') {
            if (i + 1 >= argc) return false;
            if (name == 'i') {
                options->index_path = argv[i + 1];
            } else {
                parse_position_value(argv[i + 1], &options->index_position);
            }
            i += 2;
        } else {
            i += 1;
        }
    }
    positional->count = argc - i;
    positional->first = i < argc ? argv[i] : nullptr;
    positional->second = i + 1 < argc ? argv[i + 1] : nullptr;
    return true;
}
