// What the toolbox needs to know of the console it writes to, and how its
// shell wants an argument written. One file per system: console_posix.cpp,
// console_win32.cpp.
#pragma once

#include <string>

// Standard output is a terminal (a console on Windows), not a pipe or file.
bool stdout_is_terminal();

// The terminal's width in columns; 80 when it cannot be told.
int terminal_columns();

// Writes `line` to standard error after `milliseconds`, unless
// cancel_delayed_warning() comes first. One at a time. It needs no thread
// of the program's (on POSIX a timer signal writes it), so the program's
// own system calls stay as cheap as a single-threaded program's.
void warn_after(unsigned milliseconds, const std::string& line);
void cancel_delayed_warning();

// `argument` as the system's shell takes it back unchanged: quoted only when
// it must be.
std::string quote_for_shell(const std::string& argument);
