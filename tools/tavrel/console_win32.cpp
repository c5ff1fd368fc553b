#include <windows.h>

#include "console.h"

bool stdout_is_terminal() {
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode) != 0;
}

int terminal_columns() {
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (GetConsoleScreenBufferInfo(GetStdHandle(STD_OUTPUT_HANDLE), &info) == 0) return 80;
    const int columns = info.srWindow.Right - info.srWindow.Left + 1;
    return columns > 0 ? columns : 80;
}

// cmd.exe and PowerShell both take a double-quoted argument whole; paths
// cannot hold a double quote.
std::string quote_for_shell(const std::string& argument) {
    const bool plain = !argument.empty() && argument.find_first_of(" \t&|<>^()%!;,'\"") == std::string::npos;
    return plain ? argument : "\"" + argument + "\"";
}
