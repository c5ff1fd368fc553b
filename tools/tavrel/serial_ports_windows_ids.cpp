// Windows' device identifiers taken apart. Pure string work, so that it is
// built and tested everywhere.
#include "serial_ports.h"

#include <cctype>
#include <cstdlib>

namespace {

char lower(char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); }

// Four hex digits after `key` (VID_ or PID_, in any case), lower-cased as
// Linux shows them; "" when the key or its digits are missing.
std::string hex_after(const std::string& text, const std::string& key) {
    for (size_t at = 0; at + key.size() + 4 <= text.size(); ++at) {
        bool match = true;
        for (size_t k = 0; k < key.size() && match; ++k) match = lower(text[at + k]) == lower(key[k]);
        if (!match) continue;
        std::string digits;
        for (size_t k = 0; k < 4; ++k) {
            const char c = text[at + key.size() + k];
            if (std::isxdigit(static_cast<unsigned char>(c)) == 0) return "";
            digits += lower(c);
        }
        return digits;
    }
    return "";
}

}  // namespace

UsbIds parse_hardware_id(const std::string& hardware_id) {
    return {hex_after(hardware_id, "VID_"), hex_after(hardware_id, "PID_")};
}

std::string serial_from_instance_id(const std::string& instance_id) {
    const size_t first = instance_id.find('\\');
    if (first == std::string::npos) return "";
    std::string enumerator = instance_id.substr(0, first);
    for (char& c : enumerator) c = lower(c);
    const size_t second = instance_id.find('\\', first + 1);
    if (enumerator != "usb" || second == std::string::npos) return "";
    const std::string last = instance_id.substr(second + 1);
    // Without a serial number of its own, a device gets an id made up by
    // Windows, with '&' in it; that one says nothing to the user.
    if (last.empty() || last.find('&') != std::string::npos) return "";
    return last;
}

std::string windows_port_path(const std::string& com_name) {
    if (com_name.size() < 4 || com_name.rfind("COM", 0) != 0) return com_name;
    const int number = std::atoi(com_name.c_str() + 3);
    return number >= 10 ? "\\\\.\\" + com_name : com_name;
}
