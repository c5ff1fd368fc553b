#include "tap_file.h"

#include <cstdio>
#include <cstring>

namespace {

constexpr size_t kVersionOffset = 12;
constexpr size_t kPlatformOffset = 13;
constexpr size_t kVideoOffset = 14;
constexpr size_t kLengthOffset = 16;

}  // namespace

TapHeaderFields read_tap_header(const std::vector<uint8_t>& file) {
    return read_tap_header(file.data());
}

TapHeaderFields read_tap_header(const uint8_t* file) {
    TapHeaderFields fields;
    memcpy(fields.signature, file, kTapSignatureLength);
    fields.signature_ok = memcmp(file, kTapSignature, kTapSignatureLength) == 0;
    fields.version = file[kVersionOffset];
    fields.platform = file[kPlatformOffset];
    fields.video = file[kVideoOffset];
    fields.length_field = static_cast<uint32_t>(file[kLengthOffset]) |
                          static_cast<uint32_t>(file[kLengthOffset + 1]) << 8 |
                          static_cast<uint32_t>(file[kLengthOffset + 2]) << 16 |
                          static_cast<uint32_t>(file[kLengthOffset + 3]) << 24;
    return fields;
}

void write_tap_header(std::vector<uint8_t>* file, uint8_t version, uint32_t length_field) {
    if (file->size() < kTapHeaderBytes) file->resize(kTapHeaderBytes);
    uint8_t* header = file->data();
    memcpy(header, kTapSignature, kTapSignatureLength);
    header[kVersionOffset] = version;
    header[kPlatformOffset] = 0;  // C64
    header[kVideoOffset] = 0;     // PAL
    header[15] = 0;
    for (size_t i = 0; i < 4; ++i) {
        header[kLengthOffset + i] = static_cast<uint8_t>(length_field >> (8 * i));
    }
}

bool read_whole_file(const char* path, std::vector<uint8_t>* bytes) {
    bytes->clear();
    FILE* file = fopen(path, "rb");
    if (file == nullptr) return false;
    uint8_t buffer[65536];
    bool ok = true;
    for (;;) {
        const size_t got = fread(buffer, 1, sizeof buffer, file);
        bytes->insert(bytes->end(), buffer, buffer + got);
        if (got < sizeof buffer) {
            ok = ferror(file) == 0;  // a directory, for one, fails here
            break;
        }
    }
    fclose(file);
    return ok;
}

bool write_whole_file(const char* path, const std::vector<uint8_t>& bytes) {
    FILE* file = fopen(path, "wb");
    if (file == nullptr) return false;
    const bool written = fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    const bool closed = fclose(file) == 0;
    return written && closed;
}

TapLoadOutcome load_tap_file(const char* path, std::vector<uint8_t>* bytes) {
    if (!read_whole_file(path, bytes)) {
        fprintf(stderr, "tavrel: cannot read %s\n", path);
        return TapLoadOutcome::kCannotRead;
    }
    if (bytes->size() < kTapHeaderBytes) {
        fprintf(stderr, "tavrel: %s is too short for a TAP file (%zu bytes; the header alone takes %zu)\n",
                path, bytes->size(), kTapHeaderBytes);
        return TapLoadOutcome::kTooShort;
    }
    return TapLoadOutcome::kLoaded;
}
