#include "index/index_listing.h"

#include <cstdio>
#include <cstring>

#include "index/index_number.h"
#include "platform/platform.h"
#include "tape/tape_image.h"

namespace {

// Reads the file whole (up to the buffer's size less its NUL). False after a
// failed read. The bytes held are counted rather than measured with strlen:
// after a NUL in the file the next read would otherwise land on that NUL and
// splice bytes from further on in the file into the text.
bool read_index_text(PlatformHandle file, char* text) {
    uint32_t held = 0;
    text[0] = '\0';
    for (;;) {
        IoResult read = platform_read_file(file, text + held, kIndexBufferSize - 1 - held);
        if (!read.ok) return false;
        held += read.count;
        text[held] = '\0';
        if (read.count == 0) return true;
    }
}

}  // namespace

bool list_index_file(const char* index_path, uint32_t index_position, uint32_t* start_offset) {
    static char text[kIndexBufferSize];

    PlatformHandle file = platform_open_file(index_path);
    if (!platform_handle_valid(file)) {
        fprintf(stderr, "Unable to open index file %s\n", index_path);
        return false;
    }
    const bool read_ok = read_index_text(file, text);
    platform_close(file);
    if (!read_ok) {
        fprintf(stderr, "Error reading from index file %s\n", index_path);
        return false;
    }

    uint32_t entry_count = 0;
    char* line = text;
    while (line != nullptr) {
        char* line_feed = strchr(line, '\n');
        if (line_feed != nullptr) *line_feed = '\0';
        char* carriage_return = strchr(line, '\r');
        if (carriage_return != nullptr) *carriage_return = '\0';

        const char* cursor = line;
        int32_t value = 0;
        if (parse_index_number(&cursor, &value)) {
            const uint32_t offset = static_cast<uint32_t>(value);
            if (entry_count == index_position) {
                printf(">> ");
                *start_offset = offset;
                if (offset < kTapHeaderSize) {
                    printf("The selected index, %u, does not refer to a valid position\n",
                           index_position);
                    return false;
                }
            } else {
                printf("   ");
            }
            ++entry_count;
            while (*cursor == ' ' || *cursor == '\t') ++cursor;
            printf("%08lu (hex: %08lx): %s\n", static_cast<unsigned long>(offset),
                   static_cast<unsigned long>(offset), cursor);
        }

        if (line_feed == nullptr) break;
        line = line_feed + 1;
        while (*line == '\n' || *line == '\r') ++line;
    }
    printf("\n");

    if (index_position >= entry_count) {
        printf("The selected index, %u, does not exist in %s\n", index_position, index_path);
        return false;
    }
    return true;
}
