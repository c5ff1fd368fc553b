// tavrel-tap's scanner and tally on arbitrary TAP files: no crash, no
// out-of-bounds read, and every program found lies inside the file.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "player_tally.h"
#include "rom_scanner.h"
#include "tap_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < kTapHeaderBytes) return 0;
    // An exact-size copy, so that any read past the end is caught.
    const std::vector<uint8_t> file(data, data + size);
    const TapHeaderFields header = read_tap_header(file);
    const ScanResult scan = scan_rom_headers(file.data(), file.size(), header.version);
    std::vector<size_t> offsets;
    for (const FoundProgram& program : scan.programs) {
        if (program.pilot_offset < kTapHeaderBytes || program.pilot_offset >= size) abort();
        if (!offsets.empty() && program.pilot_offset <= offsets.back()) abort();
        for (char c : program.name) {
            if (c < 0x20 || c > 0x7E) abort();
        }
        offsets.push_back(program.pilot_offset);
    }
    const PlayerTally tally = tally_as_player(file.data(), file.size());
    const std::vector<uint32_t> at = cycles_at_offsets(file.data(), file.size(), offsets);
    if (at.size() != offsets.size()) abort();
    (void)tally;
    return 0;
}
