// What `tavrel play` says of the tape before it plays.
#pragma once

#include <string>

#include "start_choice.h"
#include "tape_catalog.h"

// One line per file: its number (from 1), tape times, name and format; the
// file at `marked` (an entry index, or kNoFile) carries a ">".
std::string file_table(const TapeCatalog& catalog, int marked);

// The tape's name, its files and total time, and where playing starts.
std::string tape_overview(const TapeCatalog& catalog, const std::string& tape_path,
                          const StartChoice& start);
