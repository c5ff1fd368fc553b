// What a tape holds, found in one pass over its pulses: every file a loader
// can start from, whatever saved it, named where the format is known, with
// its place on the tape in bytes and in the player's tape time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "tap_file.h"

enum class LoaderFamily : uint8_t { kRomLoader, kTurboTape64, kUnknownTurbo };
enum class CheckState : uint8_t { kFits, kFails, kNotChecked };

struct CatalogEntry {
    // File offset of the first pulse of the file's (first) pilot: where the
    // player starts when this entry is chosen.
    size_t pilot_offset = 0;
    LoaderFamily family = LoaderFamily::kRomLoader;
    // As the machine shows it, trailing blanks dropped; empty for an unnamed block.
    std::string name;
    // What the index line carries after the offset: the name, or for an
    // unnamed block "(unnamed block at m:ss)".
    std::string description;
    bool unnamed = false;  // a pilot-led block no known format names
    bool has_addresses = false;
    uint16_t start_address = 0, end_address = 0;  // end exclusive
    uint8_t type = 0;  // file type byte where the format has one
    // The data's check byte (ROM loader: the data block, first copy or repeat;
    // Turbo Tape 64: the data block); not checked when there is no data block.
    CheckState check = CheckState::kNotChecked;
    // Tape time at pilot_offset, counted as the player's meter counts from
    // offset 20 (player_tally.h): every pulse that begins before it.
    uint32_t start_cycles = 0;
    // Tape time at the end of the last pulse of this file's last block: the
    // data block's end marker (ROM loader, the repeat when there is one), the
    // data block's check byte (Turbo Tape 64), or the last pulse before the
    // silence or the next pilot that ends an unnamed block.
    uint32_t end_cycles = 0;
};

struct TapeCatalog {
    TapHeaderFields header;
    std::vector<CatalogEntry> entries;  // tape order
    // One line each (damaged headers etc.), without the "tavrel: " prefix.
    std::vector<std::string> problems;
    uint32_t total_cycles = 0;  // as the player's last time line ends
    uint32_t one_byte_pulses = 0;  // read the player's way, as info shows them
    uint32_t long_counts = 0;
    uint64_t file_size = 0;
};

// Over bytes in memory: the whole TAP file, header included. Fewer than
// kTapHeaderBytes bytes give an empty catalog.
TapeCatalog catalog_tape_bytes(const uint8_t* file, size_t size);

// Over a file on disk, read in fixed-size chunks so that memory stays
// bounded whatever the tape's size. False after one line on stderr
// ("tavrel: cannot read PATH", too short for a TAP file).
bool catalog_tape_file(const char* path, TapeCatalog* catalog);

// The family as info shows it: "ROM loader", "Turbo Tape 64", "unknown turbo".
const char* loader_family_name(LoaderFamily family);

// "0x" + hex offset, a blank, the description: one line of an index file.
std::string catalog_index_line(const CatalogEntry& entry);
