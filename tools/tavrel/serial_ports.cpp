// What every backend shares: ordering, the one-line description, the lines
// `tavrel ports` prints, and the choice of the device's port for `play`.
#include "serial_ports.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

const char* const kLikelyDeviceLegend = "* a USB serial device: likely the Tavrel";

std::string system_root() {
    const char* value = std::getenv("TAVREL_SYSTEM_ROOT");
    std::string root = value != nullptr ? value : "";
    while (!root.empty() && root.back() == '/') root.pop_back();
    return root;
}

namespace {

bool is_digit(char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; }

std::string without_device_prefix(const std::string& name) {
    return name.rfind("\\\\.\\", 0) == 0 ? name.substr(4) : name;
}

}  // namespace

bool natural_less(const std::string& a_name, const std::string& b_name) {
    const std::string a = without_device_prefix(a_name);
    const std::string b = without_device_prefix(b_name);
    size_t i = 0;
    size_t j = 0;
    while (i < a.size() && j < b.size()) {
        if (is_digit(a[i]) && is_digit(b[j])) {
            // Compare the digit runs as numbers: leading zeros aside, the
            // longer run is the larger one; same length, by their digits.
            size_t a_end = i;
            size_t b_end = j;
            while (a_end < a.size() && is_digit(a[a_end])) ++a_end;
            while (b_end < b.size() && is_digit(b[b_end])) ++b_end;
            size_t a_from = i;
            size_t b_from = j;
            while (a_from + 1 < a_end && a[a_from] == '0') ++a_from;
            while (b_from + 1 < b_end && b[b_from] == '0') ++b_from;
            if (a_end - a_from != b_end - b_from) return a_end - a_from < b_end - b_from;
            const int order = a.compare(a_from, a_end - a_from, b, b_from, b_end - b_from);
            if (order != 0) return order < 0;
            i = a_end;
            j = b_end;
            continue;
        }
        if (a[i] != b[j]) return a[i] < b[j];
        ++i;
        ++j;
    }
    if (a.size() - i != b.size() - j) return a.size() - i < b.size() - j;
    return a_name < b_name;  // equal as numbers ("COM01", "COM1"): still a strict order
}

void sort_ports(std::vector<SerialPortInfo>& ports) {
    std::sort(ports.begin(), ports.end(), [](const SerialPortInfo& a, const SerialPortInfo& b) {
        return natural_less(a.name, b.name);
    });
}

std::string compose_description(const std::string& summary, const SerialPortInfo& port) {
    std::vector<std::string> parts;
    if (!summary.empty()) parts.push_back(summary);
    if (!port.vendor_id.empty() || !port.product_id.empty()) {
        parts.push_back("USB " + port.vendor_id + ":" + port.product_id);
    }
    if (!port.serial.empty()) parts.push_back("serial " + port.serial);
    if (!port.by_id.empty()) parts.push_back(port.by_id);
    std::string line;
    for (const std::string& part : parts) line += (line.empty() ? "" : ", ") + part;
    return line;
}

std::vector<std::string> port_lines(const std::vector<SerialPortInfo>& ports) {
    size_t width = 0;
    for (const SerialPortInfo& port : ports) width = std::max(width, port.name.size());
    std::vector<std::string> lines;
    for (const SerialPortInfo& port : ports) {
        std::string line = port.likely_device ? "* " : "  ";
        line += port.name;
        if (!port.description.empty()) {
            line += std::string(width - port.name.size() + 2, ' ');
            line += port.description;
        }
        lines.push_back(line);
    }
    return lines;
}

namespace {

std::string listed(const std::vector<SerialPortInfo>& ports) {
    std::string text;
    for (const std::string& line : port_lines(ports)) text += "  " + line + "\n";
    return text;
}

}  // namespace

PortChoice choose_device_port(const std::vector<SerialPortInfo>& ports) {
    std::vector<SerialPortInfo> candidates;
    for (const SerialPortInfo& port : ports) {
        if (port.likely_device) candidates.push_back(port);
    }
    PortChoice choice;
    if (candidates.size() == 1) {
        choice.found = true;
        choice.port = candidates.front();
        choice.message = "Using " + choice.port.name + ", the one USB serial port" +
                         (choice.port.description.empty() ? "" : ": " + choice.port.description);
        return choice;
    }
    if (ports.empty()) {
        choice.message =
            "No serial ports found: is the device plugged in? Give its port with --port PORT.";
    } else if (candidates.empty()) {
        choice.message = "None of the serial ports is a USB serial device, as the Tavrel is:\n" +
                         listed(ports) + "Give the device's port with --port PORT.";
    } else {
        choice.message = std::to_string(candidates.size()) +
                         " USB serial ports could be the device:\n" + listed(candidates) +
                         "Pick one with --port PORT.";
    }
    return choice;
}
