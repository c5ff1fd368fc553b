// What the toolbox needs to know of the console it writes to, and how its
// shell wants an argument written. One file per system: console_posix.cpp,
// console_win32.cpp.
#pragma once

#include <string>

// Standard output is a terminal (a console on Windows), not a pipe or file.
bool stdout_is_terminal();

// The terminal's width in columns; 80 when it cannot be told.
int terminal_columns();

// `argument` as the system's shell takes it back unchanged: quoted only when
// it must be.
std::string quote_for_shell(const std::string& argument);
