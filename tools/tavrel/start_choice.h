// Where `tavrel play` starts: a file chosen by number or name, or a byte
// offset, checked against what is on the tape.
#pragma once

#include <cstdint>
#include <string>

#include "tape_catalog.h"

inline constexpr int kNoFile = -1;

struct StartChoice {
    bool ok = false;
    uint32_t offset = 20;   // the start offset handed to the playback
    int file = kNoFile;     // index into the catalog's entries of the file played first
    std::string error;      // when not ok: one line, then the files when list_files
    bool list_files = false;
};

// `from` is a file's number as info shows it (from 1) or its name (case
// insensitive; a unique prefix will do); `offset` a byte offset in decimal
// or 0x hex, 20 or more. Both empty: the tape's start.
StartChoice choose_start(const TapeCatalog& catalog, const std::string& from,
                         const std::string& offset);

// The entry whose file holds `offset`: the last one starting at or before
// it, or kNoFile before the first.
int file_at_offset(const TapeCatalog& catalog, uint64_t offset);

// What a person calls the file: its name, or "file N" for an unnamed block.
std::string file_label(const TapeCatalog& catalog, int file);
