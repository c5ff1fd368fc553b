// The subcommands; each gets the arguments after its own name and gives
// the exit status.
#pragma once

#include <cstdint>
#include <cstdio>
#include <vector>

int run_make(int argc, char** argv);
int run_index(int argc, char** argv);
int run_info(int argc, char** argv);


struct TapeCatalog;

// For the subcommands that read one tape: checks that exactly one argument
// names it and loads the file. False after a one-line message.
bool load_tape_argument(const char* command, int argc, char** argv, std::vector<uint8_t>* file);

// The same check, then the tape's catalog, read from disk a chunk at a time.
bool catalog_tape_argument(const char* command, int argc, char** argv, TapeCatalog* catalog);
