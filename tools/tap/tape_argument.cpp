#include <cstdio>

#include "commands.h"
#include "tap_file.h"

bool load_tape_argument(const char* command, int argc, char** argv, std::vector<uint8_t>* file) {
    if (argc != 1) {
        fprintf(stderr, "tavrel-tap: %s takes one TAP file\n", command);
        return false;
    }
    return load_tap_file(argv[0], file) == TapLoadOutcome::kLoaded;
}
