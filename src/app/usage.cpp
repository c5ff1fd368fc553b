#include "app/usage.h"

#include <cstdio>

void print_banner() {
    puts("Tavrel play utility, rel 1.3");
    puts("Communicates with a Tavrel device to play TAP files\n");
}

void print_usage(const char* program_name) {
    printf("Usage: %s [options] <virtual serial port> <file>\n", program_name);
    puts("\nOptions:");
    puts("  -i <index file>");
    puts("  -p <position in index file (default is 0)>");
    puts("\nExamples:");
    printf("  %s COM9 Vendetta.tap\n", program_name);
}
