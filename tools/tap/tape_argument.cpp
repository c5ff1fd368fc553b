#include <cstdio>

#include "commands.h"
#include "tap_file.h"
#include "tape_catalog.h"

namespace {

bool one_tape(const char* command, int argc) {
    if (argc == 1) return true;
    fprintf(stderr, "tavrel: %s takes one TAP file\n", command);
    return false;
}

}  // namespace

bool load_tape_argument(const char* command, int argc, char** argv, std::vector<uint8_t>* file) {
    return one_tape(command, argc) && load_tap_file(argv[0], file) == TapLoadOutcome::kLoaded;
}

bool catalog_tape_argument(const char* command, int argc, char** argv, TapeCatalog* catalog) {
    return one_tape(command, argc) && catalog_tape_file(argv[0], catalog);
}
