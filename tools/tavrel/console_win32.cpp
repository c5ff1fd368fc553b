#include <windows.h>

#include <cstdio>

#include "console.h"

namespace {

// The timer runs on a thread of the system's pool; the two may only race
// for the one flag.
std::string warning_text;
volatile LONG warning_due = 0;
HANDLE warning_timer = nullptr;

VOID CALLBACK write_warning(PVOID, BOOLEAN) {
    if (InterlockedExchange(&warning_due, 0) == 0) return;
    fputs(warning_text.c_str(), stderr);
    fflush(stderr);
}

}  // namespace

void warn_after(unsigned milliseconds, const std::string& line) {
    warning_text = line;
    InterlockedExchange(&warning_due, 1);
    CreateTimerQueueTimer(&warning_timer, nullptr, write_warning, nullptr, milliseconds, 0,
                          WT_EXECUTEONLYONCE);
}

void cancel_delayed_warning() {
    InterlockedExchange(&warning_due, 0);
    if (warning_timer != nullptr) {
        // Waits for a callback under way, so that the text outlives it.
        DeleteTimerQueueTimer(nullptr, warning_timer, INVALID_HANDLE_VALUE);
        warning_timer = nullptr;
    }
}

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
