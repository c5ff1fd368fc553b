#include <cstdint>
#include <cstdio>
#include <vector>

#include "commands.h"
#include "rom_scanner.h"
#include "tap_file.h"

int run_index(int argc, char** argv) {
    std::vector<uint8_t> file;
    if (!load_tape_argument("index", argc, argv, &file)) return 1;
    const char* path = argv[0];
    const TapHeaderFields header = read_tap_header(file);
    if (!header.signature_ok) {
        fprintf(stderr, "tavrel-tap: warning: %s does not start with %s; scanning it all the same\n",
                path, kTapSignature);
    }

    const ScanResult scan = scan_rom_headers(file.data(), file.size(), header.version);
    for (const FoundProgram& program : scan.programs) puts(index_line(program).c_str());
    for (const std::string& problem : scan.problems) {
        fprintf(stderr, "tavrel-tap: %s: %s\n", path, problem.c_str());
    }
    if (scan.programs.empty()) {
        fprintf(stderr, "tavrel-tap: %s: no program saved by the ROM loader found\n", path);
    }
    // The listing stands, but a file without the signature is not a sound TAP file.
    return header.signature_ok ? 0 : 1;
}
