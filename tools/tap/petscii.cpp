#include "petscii.h"

char petscii_to_ascii(uint8_t code) {
    if (code >= 0x20 && code <= 0x5F) return static_cast<char>(code);
    if (code >= 0x61 && code <= 0x7A) return static_cast<char>(code);  // shifted letters
    if (code >= 0xC1 && code <= 0xDA) return static_cast<char>(code - 0xC1 + 'a');
    if (code == 0xA0) return ' ';
    return '?';
}

std::string tape_name_to_ascii(const uint8_t* name, size_t length) {
    std::string text;
    for (size_t i = 0; i < length; ++i) text += petscii_to_ascii(name[i]);
    const size_t last = text.find_last_not_of(' ');
    text.erase(last == std::string::npos ? 0 : last + 1);
    return text;
}

bool ascii_to_petscii(char c, uint8_t* code) {
    if (c >= 'a' && c <= 'z') {
        *code = static_cast<uint8_t>(c - 'a' + 'A');
        return true;
    }
    if (c >= 0x20 && c <= 0x5F) {
        *code = static_cast<uint8_t>(c);
        return true;
    }
    return false;
}
