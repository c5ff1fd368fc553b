#include <cstdio>

#include "commands.h"
#include "tap_file.h"
#include "tape_catalog.h"

int run_index(int argc, char** argv) {
    TapeCatalog catalog;
    if (!catalog_tape_argument("index", argc, argv, &catalog)) return 1;
    const char* path = argv[0];
    if (!catalog.header.signature_ok) {
        fprintf(stderr, "tavrel: warning: %s does not start with %s; scanning it all the same\n",
                path, kTapSignature);
    }
    for (const CatalogEntry& entry : catalog.entries) puts(catalog_index_line(entry).c_str());
    for (const std::string& problem : catalog.problems) {
        fprintf(stderr, "tavrel: %s: %s\n", path, problem.c_str());
    }
    if (catalog.entries.empty()) {
        fprintf(stderr, "tavrel: %s: no file found (no block with a pilot)\n", path);
    }
    // The listing stands, but a file without the signature is not a sound TAP file.
    return catalog.header.signature_ok ? 0 : 1;
}
