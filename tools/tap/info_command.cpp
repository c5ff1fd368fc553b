#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "commands.h"
#include "player_tally.h"
#include "tap_file.h"
#include "scan_events.h"
#include "tape_catalog.h"

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

const char* check_text(CheckState check) {
    switch (check) {
        case CheckState::kFits: return "check fits";
        case CheckState::kFails: return "check fails";
        case CheckState::kNotChecked: return "not checked";
    }
    return "";
}

}  // namespace

int run_info(int argc, char** argv) {
    TapeCatalog catalog;
    if (!catalog_tape_argument("info", argc, argv, &catalog)) return 1;
    const char* path = argv[0];
    const TapHeaderFields& header = catalog.header;
    const uint64_t held = catalog.file_size - kTapHeaderBytes;

    printf("File:       %s\n", path);
    printf("Signature:  %.12s%s\n", header.signature,
           header.signature_ok ? "" : " (not C64-TAPE-RAW)");
    printf("Version:    %u\n", header.version);
    printf("Platform:   %u (%s)\n", header.platform, platform_name(header.platform));
    printf("Video:      %u (%s)\n", header.video, video_name(header.video));
    printf("Length:     %lu bytes in the header field, %llu in the file\n",
           static_cast<unsigned long>(header.length_field), static_cast<unsigned long long>(held));
    if (!header.signature_ok) {
        fprintf(stderr, "tavrel: warning: %s does not start with %s\n", path, kTapSignature);
    }
    if (header.length_field != held) {
        fprintf(stderr, "tavrel: warning: %s: the length field says %lu bytes, the file holds %llu\n",
                path, static_cast<unsigned long>(header.length_field),
                static_cast<unsigned long long>(held));
    }

    // Counted over every byte the player sends, read the way it reads them.
    printf("Pulses:     %lu one-byte pulses, %lu long counts\n",
           static_cast<unsigned long>(catalog.one_byte_pulses),
           static_cast<unsigned long>(catalog.long_counts));
    printf("Tape time:  %s (%lu cycles)\n", format_tape_time(catalog.total_cycles).c_str(),
           static_cast<unsigned long>(catalog.total_cycles));
    if (header.version == 0) {
        puts("            (version 0: counted as tavrel-play counts it, each zero byte\n"
             "            taken with the three bytes after it as a cycle count)");
    }

    // Numbered from 1: the number play --from takes.
    printf("Files:      %zu\n", catalog.entries.size());
    for (size_t i = 0; i < catalog.entries.size(); ++i) {
        const CatalogEntry& entry = catalog.entries[i];
        char addresses[16] = "";
        if (entry.has_addresses) {
            snprintf(addresses, sizeof addresses, "$%04X-$%04X", entry.start_address, entry.end_address);
        }
        const std::string offset = hex_offset(entry.pilot_offset);
        printf("%4zu  %-9s  %-13s  %-24s  %-11s  %-11s  tape %s to %s\n", i + 1, offset.c_str(),
               loader_family_name(entry.family), entry.description.c_str(), addresses,
               check_text(entry.check), format_tape_time(entry.start_cycles).c_str(),
               format_tape_time(entry.end_cycles).c_str());
    }
    for (const std::string& problem : catalog.problems) {
        fprintf(stderr, "tavrel: %s: %s\n", path, problem.c_str());
    }
    return header.signature_ok ? 0 : 1;
}
