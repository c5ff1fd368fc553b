// The subcommands; each gets the arguments after its own name and gives
// the exit status.
#pragma once

#include <cstdio>

int run_make(int argc, char** argv);
int run_index(int argc, char** argv);
int run_info(int argc, char** argv);

void print_tap_usage(FILE* stream);
