// The command line: [-i <index file>] [-p <position>] <port> <file>.
#pragma once

#include <cstdint>

struct PlayOptions {
    const char* program_name = nullptr;
    const char* index_path = nullptr;  // null unless -i was given
    uint32_t index_position = 0;
    const char* port_name = nullptr;
    const char* tape_path = nullptr;
};

struct PositionalArguments {
    int count = 0;
    const char* first = nullptr;
    const char* second = nullptr;
};

// Scans the options before the first positional argument. Returns false when
// -i or -p is the last argument and so has no value.
bool parse_options(int argc, char** argv, PlayOptions* options, PositionalArguments* positional);

// Reads a position the way "%u" does: leading white space, an optional sign,
// decimal digits, the rest ignored. Values beyond 32 bits saturate before the
// sign is applied. Returns false, leaving *value alone, when no digit comes.
bool parse_position_value(const char* text, uint32_t* value);
