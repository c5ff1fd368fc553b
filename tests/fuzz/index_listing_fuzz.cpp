// list_index_file on arbitrary file contents and positions, through a
// scratch file and the real file backend. Its verdict and start offset are
// compared with a plain model of the listing rules: lines cut at line feeds
// (a run of line feeds and carriage returns after one is skipped), each line
// cut at its first carriage return, the first 16383 bytes only, the text
// ending at a NUL.
//
// Input: byte 0 selects the position (low nibble; bit 4: the next four bytes
// give it, little-endian) and bit 5 repeats the contents past the buffer's
// size; the rest is the file.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <unistd.h>

#include "index/index_listing.h"
#include "index/index_number.h"
#include "fuzz/scratch_file.h"

namespace {

std::string g_path;

void check(bool condition) {
    if (!condition) abort();
}

struct Expected {
    bool ok = false;
    uint32_t start_offset = 0;
};

// The text: the file's first 16383 bytes, ending at its first NUL.
std::string model_text(const std::string& file) {
    const std::string text = file.substr(0, kIndexBufferSize - 1);
    return text.substr(0, strlen(text.c_str()));
}

Expected model_listing(const std::string& file, uint32_t position) {
    const std::string text = model_text(file);

    std::vector<std::string> lines;
    size_t at = 0;
    for (;;) {
        const size_t line_feed = text.find('\n', at);
        std::string line = text.substr(at, line_feed == std::string::npos ? std::string::npos
                                                                          : line_feed - at);
        lines.push_back(line.substr(0, line.find('\r')));
        if (line_feed == std::string::npos) break;
        at = line_feed + 1;
        while (at < text.size() && (text[at] == '\n' || text[at] == '\r')) ++at;
    }

    uint32_t entries = 0;
    for (const std::string& line : lines) {
        const char* cursor = line.c_str();
        int32_t value = 0;
        if (!parse_index_number(&cursor, &value)) continue;
        if (entries == position) {
            Expected expected;
            expected.start_offset = static_cast<uint32_t>(value);
            expected.ok = expected.start_offset >= 20;
            return expected;
        }
        ++entries;
    }
    return Expected{};
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // The listing goes to standard output; libFuzzer reports on standard error.
    if (freopen("/dev/null", "w", stdout) == nullptr) abort();
    g_path = make_scratch_file("index");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const uint8_t mode = data[0];
    ++data;
    --size;
    uint32_t position = mode & 0x0F;
    if ((mode & 0x10) != 0) {
        if (size < 4) return 0;
        position = static_cast<uint32_t>(data[0]) | static_cast<uint32_t>(data[1]) << 8 |
                   static_cast<uint32_t>(data[2]) << 16 | static_cast<uint32_t>(data[3]) << 24;
        data += 4;
        size -= 4;
    }
    std::string contents(reinterpret_cast<const char*>(data), size);
    if ((mode & 0x20) != 0 && !contents.empty()) {
        while (contents.size() < kIndexBufferSize + 100) contents += contents;
    }

    FILE* file = fopen(g_path.c_str(), "wb");
    if (file == nullptr) abort();
    fwrite(contents.data(), 1, contents.size(), file);
    fclose(file);

    uint32_t start_offset = 0xDEADBEEF;
    const bool ok = list_index_file(g_path.c_str(), position, &start_offset);
    fflush(stdout);

    const Expected expected = model_listing(contents, position);
    check(ok == expected.ok);
    if (ok) {
        check(start_offset >= 20);
        check(start_offset == expected.start_offset);
    }
    return 0;
}
