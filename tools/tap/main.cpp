// tavrel-tap: makes TAP files, and indexes and describes them for tavrel-play.
#include <cstdio>
#include <cstring>

#include "commands.h"

int main(int argc, char** argv) {
    if (argc < 2) {
        print_tap_usage(stderr);
        return 1;
    }
    const char* command = argv[1];
    if (strcmp(command, "--help") == 0 || strcmp(command, "-h") == 0 ||
        strcmp(command, "help") == 0) {
        print_tap_usage(stdout);
        return 0;
    }
    if (strcmp(command, "make") == 0) return run_make(argc - 2, argv + 2);
    if (strcmp(command, "index") == 0) return run_index(argc - 2, argv + 2);
    if (strcmp(command, "info") == 0) return run_info(argc - 2, argv + 2);
    fprintf(stderr, "tavrel-tap: unknown command %s\n\n", command);
    print_tap_usage(stderr);
    return 1;
}
