#include "commands.h"

void print_tap_usage(FILE* stream) {
    fputs(
        "Usage: tavrel-tap <command> ...\n"
        "\n"
        "  tavrel-tap make -o OUT.tap FILE.prg [NAME] [FILE.prg [NAME]] ...\n"
        "      Writes the programs to a version 1 TAP file in the C64 ROM loader's\n"
        "      encoding, header and data each twice, two seconds of silence between\n"
        "      programs. A .prg file starts with its two-byte load address; $0801\n"
        "      makes a BASIC program, any other address a machine code one. NAME\n"
        "      (at most 16 characters) defaults to the file name; an argument that\n"
        "      does not end in .prg is the name of the file before it.\n"
        "  tavrel-tap make --demo -o OUT.tap\n"
        "      Writes the demo tape: three small programs, no input file needed.\n"
        "  tavrel-tap index TAPE.tap\n"
        "      Prints one line per program, \"0x<offset> NAME\", where the offset is\n"
        "      the byte at which the program's pilot tone begins: an index file for\n"
        "      tavrel-play -i. Finds only programs saved by the C64's standard ROM\n"
        "      loader; those saved with a custom (turbo) loader are not found.\n"
        "      Damaged headers are reported on standard error.\n"
        "  tavrel-tap info TAPE.tap\n"
        "      Shows the header fields, the pulse counts, the tape time as\n"
        "      tavrel-play counts it, and the programs that index finds.\n"
        "\n"
        "Example:\n"
        "  tavrel-tap index game.tap > game.idx\n"
        "  tavrel-play -i game.idx -p 2 COM9 game.tap\n",
        stream);
}
