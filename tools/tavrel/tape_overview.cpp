#include "tape_overview.h"

#include <cstdio>

#include "player_tally.h"

std::string file_table(const TapeCatalog& catalog, int marked) {
    std::string table;
    for (size_t i = 0; i < catalog.entries.size(); ++i) {
        const CatalogEntry& entry = catalog.entries[i];
        const std::string times = format_tape_time(entry.start_cycles) + "-" + format_tape_time(entry.end_cycles);
        const std::string name = entry.name.empty() ? entry.description : entry.name;
        char line[160];
        snprintf(line, sizeof line, "%s%3zu  %-11s  %-16s  %s\n",
                 static_cast<int>(i) == marked ? " >" : "  ", i + 1, times.c_str(), name.c_str(),
                 loader_family_name(entry.family));
        table += line;
    }
    return table;
}

std::string tape_overview(const TapeCatalog& catalog, const std::string& tape_path,
                          const StartChoice& start) {
    const size_t count = catalog.entries.size();
    std::string text = tape_path + ": " + std::to_string(count) + (count == 1 ? " file" : " files") +
                       ", " + format_tape_time(catalog.total_cycles) + " of tape\n";
    text += file_table(catalog, start.file);
    char offset[16];
    snprintf(offset, sizeof offset, "0x%X", start.offset);
    if (start.file == kNoFile) {
        text += start.offset == 20 ? "Starting at the tape's start" : "Starting before the first file";
    } else {
        const CatalogEntry& entry = catalog.entries[static_cast<size_t>(start.file)];
        text += "Starting " + std::string(entry.pilot_offset == start.offset ? "at" : "inside") +
                " file " + std::to_string(start.file + 1);
        if (!entry.name.empty()) text += ", " + entry.name;
    }
    text += " (offset " + std::string(offset) + ")\n";
    return text;
}
