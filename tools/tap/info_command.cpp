#include <cstdint>
#include <cstdio>
#include <vector>

#include "commands.h"
#include "player_tally.h"
#include "rom_encoder.h"
#include "rom_scanner.h"
#include "tap_file.h"

namespace {

const char* platform_name(uint8_t platform) {
    switch (platform) {
        case 0: return "C64";
        case 1: return "VIC-20";
        case 2: return "C16/Plus4";
        case 3: return "PET";
        case 4: return "C5x0";
        case 5: return "C6x0/C7x0";
        default: return "unknown";
    }
}

const char* video_name(uint8_t video) {
    switch (video) {
        case 0: return "PAL";
        case 1: return "NTSC";
        case 2: return "old NTSC";
        case 3: return "PAL-N";
        default: return "unknown";
    }
}

const char* type_name(uint8_t type) {
    switch (type) {
        case kBasicProgramType: return "BASIC program";
        case kMachineProgramType: return "machine code";
        default: return "sequential file";
    }
}

}  // namespace

int run_info(int argc, char** argv) {
    std::vector<uint8_t> file;
    if (!load_tape_argument("info", argc, argv, &file)) return 1;
    const char* path = argv[0];
    const TapHeaderFields header = read_tap_header(file);
    const size_t held = file.size() - kTapHeaderBytes;

    printf("File:       %s\n", path);
    printf("Signature:  %.12s%s\n", reinterpret_cast<const char*>(file.data()),
           header.signature_ok ? "" : " (not C64-TAPE-RAW)");
    printf("Version:    %u\n", header.version);
    printf("Platform:   %u (%s)\n", header.platform, platform_name(header.platform));
    printf("Video:      %u (%s)\n", header.video, video_name(header.video));
    printf("Length:     %lu bytes in the header field, %zu in the file\n",
           static_cast<unsigned long>(header.length_field), held);
    if (!header.signature_ok) {
        fprintf(stderr, "tavrel-tap: warning: %s does not start with %s\n", path, kTapSignature);
    }
    if (header.length_field != held) {
        fprintf(stderr, "tavrel-tap: warning: %s: the length field says %lu bytes, the file holds %zu\n",
                path, static_cast<unsigned long>(header.length_field), held);
    }

    // Counted over every byte the player sends, read the way it reads them.
    const PlayerTally tally = tally_as_player(file.data(), file.size());
    printf("Pulses:     %lu one-byte pulses, %lu long counts\n",
           static_cast<unsigned long>(tally.one_byte_pulses),
           static_cast<unsigned long>(tally.long_counts));
    printf("Tape time:  %s (%lu cycles)\n", format_tape_time(tally.total_cycles).c_str(),
           static_cast<unsigned long>(tally.total_cycles));
    if (header.version == 0) {
        puts("            (version 0: counted as tavrel-play counts it, each zero byte\n"
             "            taken with the three bytes after it as a cycle count)");
    }

    const ScanResult scan = scan_rom_headers(file.data(), file.size(), header.version);
    std::vector<size_t> offsets;
    for (const FoundProgram& program : scan.programs) offsets.push_back(program.pilot_offset);
    const std::vector<uint32_t> starts = cycles_at_offsets(file.data(), file.size(), offsets);
    printf("Programs:   %zu\n", scan.programs.size());
    for (size_t i = 0; i < scan.programs.size(); ++i) {
        const FoundProgram& program = scan.programs[i];
        const uint32_t until = i + 1 < starts.size() ? starts[i + 1] : tally.total_cycles;
        printf("  %s\n", index_line(program).c_str());
        printf("      %s, $%04X-$%04X, tape %s to %s\n", type_name(program.type),
               program.start_address, program.end_address, format_tape_time(starts[i]).c_str(),
               format_tape_time(until).c_str());
    }
    for (const std::string& problem : scan.problems) {
        fprintf(stderr, "tavrel-tap: %s: %s\n", path, problem.c_str());
    }
    return header.signature_ok ? 0 : 1;
}
