#include "start_choice.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <vector>

namespace {

constexpr uint32_t kFirstPulseOffset = 20;

std::string upper(const std::string& text) {
    std::string result = text;
    for (char& c : result) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
    return result;
}

bool all_digits(const std::string& text) {
    if (text.empty()) return false;
    for (char c : text) {
        if (isdigit(static_cast<unsigned char>(c)) == 0) return false;
    }
    return true;
}

StartChoice failure(std::string error, bool list_files) {
    StartChoice choice;
    choice.error = std::move(error);
    choice.list_files = list_files;
    return choice;
}

StartChoice at_file(const TapeCatalog& catalog, int file) {
    StartChoice choice;
    choice.ok = true;
    choice.file = file;
    choice.offset = static_cast<uint32_t>(catalog.entries[static_cast<size_t>(file)].pilot_offset);
    return choice;
}

StartChoice by_name(const TapeCatalog& catalog, const std::string& from) {
    const std::string wanted = upper(from);
    std::vector<int> prefixed;
    for (size_t i = 0; i < catalog.entries.size(); ++i) {
        const std::string name = upper(catalog.entries[i].name);
        if (name.empty()) continue;
        // A whole name wins over names it is the start of ("GAME" and "GAME 2").
        if (name == wanted) return at_file(catalog, static_cast<int>(i));
        if (name.compare(0, wanted.size(), wanted) == 0) prefixed.push_back(static_cast<int>(i));
    }
    if (prefixed.size() == 1) return at_file(catalog, prefixed[0]);
    if (prefixed.empty()) return failure("no file on the tape is named \"" + from + "\"", true);
    std::string names;
    for (int i : prefixed) {
        names += (names.empty() ? "" : ", ") + std::to_string(i + 1) + " " +
                 catalog.entries[static_cast<size_t>(i)].name;
    }
    return failure("\"" + from + "\" could be any of " + std::to_string(prefixed.size()) +
                       " files (" + names + "): give more of the name or the number",
                   true);
}

StartChoice by_offset(const TapeCatalog& catalog, const std::string& text) {
    const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    const std::string digits = hex ? text.substr(2) : text;
    const char* allowed = hex ? "0123456789abcdefABCDEF" : "0123456789";
    if (digits.empty() || digits.find_first_not_of(allowed) != std::string::npos) {
        return failure("--offset takes a byte offset in decimal or 0x hex, not \"" + text + "\"",
                       false);
    }
    errno = 0;
    const unsigned long long value = strtoull(digits.c_str(), nullptr, hex ? 16 : 10);
    if (errno != 0 || value < kFirstPulseOffset) {
        return failure("--offset " + text + " lies in the TAP file's 20-byte header: give 20 or more",
                       false);
    }
    if (value >= catalog.file_size) {
        return failure("--offset " + text + " lies past the end of the tape (" +
                           std::to_string(catalog.file_size) + " bytes)",
                       false);
    }
    StartChoice choice;
    choice.ok = true;
    choice.offset = static_cast<uint32_t>(value);
    choice.file = file_at_offset(catalog, value);
    return choice;
}

}  // namespace

StartChoice choose_start(const TapeCatalog& catalog, const std::string& from,
                         const std::string& offset) {
    if (!offset.empty()) return by_offset(catalog, offset);
    if (from.empty()) {
        StartChoice choice;
        choice.ok = true;
        choice.file = file_at_offset(catalog, kFirstPulseOffset);
        return choice;
    }
    if (catalog.entries.empty()) return failure("no file was found on the tape to start from", false);
    if (all_digits(from)) {
        const unsigned long number = strtoul(from.c_str(), nullptr, 10);
        if (number >= 1 && number <= catalog.entries.size()) {
            return at_file(catalog, static_cast<int>(number - 1));
        }
        // A name may be all digits ("1942"): look for it before giving up.
        StartChoice named = by_name(catalog, from);
        if (named.ok) return named;
        return failure("there is no file " + from + ": the tape holds " +
                           std::to_string(catalog.entries.size()) + " (numbered from 1)",
                       true);
    }
    return by_name(catalog, from);
}

int file_at_offset(const TapeCatalog& catalog, uint64_t offset) {
    int found = kNoFile;
    for (size_t i = 0; i < catalog.entries.size() && catalog.entries[i].pilot_offset <= offset; ++i) {
        found = static_cast<int>(i);
    }
    return found;
}

std::string file_label(const TapeCatalog& catalog, int file) {
    if (file == kNoFile) return "leader";
    const CatalogEntry& entry = catalog.entries[static_cast<size_t>(file)];
    if (!entry.name.empty()) return entry.name;
    return "file " + std::to_string(file + 1);
}
