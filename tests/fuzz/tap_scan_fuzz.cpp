// The tape catalog (ROM loader, Turbo Tape 64, unnamed pilot-led blocks) on
// arbitrary TAP files: no crash, no out-of-bounds read, every entry inside
// the file and in tape order, the same catalog whether read from memory or
// from disk, and the player's total time.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "fuzz/scratch_file.h"
#include "player_tally.h"
#include "rom_scanner.h"
#include "tap_file.h"
#include "tape_catalog.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string scratch = make_scratch_file("tap-scan");
    // An exact-size copy, so that any read past the end is caught.
    const std::vector<uint8_t> file(data, data + size);
    const TapeCatalog catalog = catalog_tape_bytes(file.data(), file.size());
    if (catalog.file_size != size) abort();
    if (size < kTapHeaderBytes) {
        if (!catalog.entries.empty()) abort();
        return 0;
    }
    size_t last = 0;
    for (const CatalogEntry& entry : catalog.entries) {
        if (entry.pilot_offset < kTapHeaderBytes || entry.pilot_offset >= size) abort();
        if (entry.pilot_offset < last) abort();
        last = entry.pilot_offset;
        for (char c : entry.name) {
            if (c < 0x20 || c > 0x7E) abort();
        }
        // An unnamed block has no name; a file of a named format may have
        // been saved without one.
        if (entry.unnamed && !entry.name.empty()) abort();
        if (entry.description.empty() && entry.unnamed) abort();
    }
    if (catalog.total_cycles != tally_as_player(file.data(), file.size()).total_cycles) abort();

    if (!write_whole_file(scratch.c_str(), file)) abort();
    TapeCatalog from_disk;
    if (!catalog_tape_file(scratch.c_str(), &from_disk)) abort();
    if (from_disk.entries.size() != catalog.entries.size() || from_disk.total_cycles != catalog.total_cycles ||
        from_disk.problems != catalog.problems) {
        abort();
    }
    for (size_t i = 0; i < catalog.entries.size(); ++i) {
        const CatalogEntry& a = catalog.entries[i];
        const CatalogEntry& b = from_disk.entries[i];
        if (a.pilot_offset != b.pilot_offset || a.description != b.description ||
            a.start_cycles != b.start_cycles || a.end_cycles != b.end_cycles || a.check != b.check) {
            abort();
        }
    }

    // The ROM loader's scanner alone, as the tests drive it.
    const ScanResult scan = scan_rom_headers(file.data(), file.size(), catalog.header.version);
    for (const FoundProgram& program : scan.programs) {
        if (program.pilot_offset < kTapHeaderBytes || program.pilot_offset >= size) abort();
    }
    return 0;
}
