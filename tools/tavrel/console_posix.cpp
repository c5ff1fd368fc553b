#include <sys/ioctl.h>
#include <unistd.h>

#include "console.h"

bool stdout_is_terminal() { return isatty(STDOUT_FILENO) != 0; }

int terminal_columns() {
    winsize size{};
    if (ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) != 0 || size.ws_col == 0) return 80;
    return size.ws_col;
}

// Single quotes keep everything literal but a single quote, which is closed,
// escaped and reopened.
std::string quote_for_shell(const std::string& argument) {
    const bool plain = !argument.empty() &&
                       argument.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"
                                                  "0123456789_-+=.,/:@%") == std::string::npos;
    if (plain) return argument;
    std::string quoted = "'";
    for (char c : argument) {
        if (c == '\'') {
            quoted += "'\\''";
        } else {
            quoted += c;
        }
    }
    return quoted + "'";
}
