#include "status_line.h"

#include <cstdio>

#include "player_tally.h"

namespace {

constexpr int kWidestBar = 40;
constexpr int kNarrowestBar = 10;

std::string rate_text(double bytes_per_second) {
    if (bytes_per_second < 0) return "";
    char text[32];
    snprintf(text, sizeof text, "%.1f KiB/s", bytes_per_second / 1024.0);
    return text;
}

std::string percent_text(const StatusSnapshot& status) {
    char text[8];
    snprintf(text, sizeof text, "%3u%%", percent_reached(status));
    return text;
}

std::string times_text(const StatusSnapshot& status) {
    return format_tape_time(status.position_cycles) + " / " + format_tape_time(status.total_cycles);
}

std::string bar(const StatusSnapshot& status, int width) {
    const int inner = width - 2;
    const int filled = static_cast<int>(percent_reached(status)) * inner / 100;
    return "[" + std::string(static_cast<size_t>(filled), '#') +
           std::string(static_cast<size_t>(inner - filled), '-') + "]";
}

}  // namespace

unsigned percent_reached(const StatusSnapshot& status) {
    if (status.total_cycles == 0) return 0;
    if (status.position_cycles >= status.total_cycles) return 100;
    return static_cast<unsigned>(static_cast<uint64_t>(status.position_cycles) * 100 /
                                 status.total_cycles);
}

std::string terminal_status_line(const StatusSnapshot& status, int columns) {
    const int width = columns > 1 ? columns - 1 : 0;
    const std::string middle = percent_text(status) + "  " + times_text(status);
    std::string file = status.file;
    std::string rate = rate_text(status.bytes_per_second);

    // The fixed parts first; then the bar takes what is left, up to its width.
    auto length_without_bar = [&] {
        return static_cast<int>(middle.size() + (file.empty() ? 0 : 2 + file.size()) +
                                (rate.empty() ? 0 : 2 + rate.size()));
    };
    if (width - length_without_bar() - 1 < kNarrowestBar) rate.clear();
    int bar_width = width - length_without_bar() - 1;
    if (bar_width < kNarrowestBar) {
        // Keep a short bar and cut the name instead, down to nothing.
        const int over = kNarrowestBar - bar_width;
        file = static_cast<int>(file.size()) > over ? file.substr(0, file.size() - static_cast<size_t>(over))
                                                    : std::string();
        bar_width = width - length_without_bar() - 1;
    }
    if (bar_width > kWidestBar) bar_width = kWidestBar;

    std::string line;
    if (bar_width >= kNarrowestBar) line = bar(status, bar_width) + " ";
    line += middle;
    if (!file.empty()) line += "  " + file;
    if (!rate.empty()) line += "  " + rate;
    // Exactly the width: cut what still does not fit, pad what is short, so
    // that a redraw covers every character of the line before.
    if (static_cast<int>(line.size()) > width) line.resize(static_cast<size_t>(width));
    line.append(static_cast<size_t>(width) - line.size(), ' ');
    return line;
}

std::string plain_status_line(const StatusSnapshot& status) {
    std::string line = percent_text(status) + "  " + times_text(status);
    if (!status.file.empty()) line += "  " + status.file;
    const std::string rate = rate_text(status.bytes_per_second);
    return rate.empty() ? line : line + "  " + rate;
}
