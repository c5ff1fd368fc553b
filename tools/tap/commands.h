// The subcommands; each gets the arguments after its own name and gives
// the exit status.
#pragma once

#include <cstdint>
#include <cstdio>
#include <vector>

int run_make(int argc, char** argv);
int run_index(int argc, char** argv);
int run_info(int argc, char** argv);

void print_tap_usage(FILE* stream);

// For the subcommands that read one tape: checks that exactly one argument
// names it and loads the file. False after a one-line message.
bool load_tape_argument(const char* command, int argc, char** argv, std::vector<uint8_t>* file);
