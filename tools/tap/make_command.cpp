#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "commands.h"
#include "demo_programs.h"
#include "player_tally.h"
#include "rom_encoder.h"
#include "tap_file.h"

namespace {

constexpr size_t kLoadAddressBytes = 2;
constexpr uint32_t kTopAddress = 0xFFFF;  // the end address (one past the last byte) must fit in 16 bits

bool ends_with_prg(const char* arg) {
    const size_t length = strlen(arg);
    if (length < 4) return false;
    const char* tail = arg + length - 4;
    return tail[0] == '.' && (tail[1] | 0x20) == 'p' && (tail[2] | 0x20) == 'r' &&
           (tail[3] | 0x20) == 'g';
}

// The file name without folder and extension, cut to a tape name's length.
std::string default_name(const char* path) {
    std::string name = path;
    const size_t slash = name.find_last_of("/\\");
    if (slash != std::string::npos) name.erase(0, slash + 1);
    name.erase(name.size() - 4);
    if (name.size() > kTapeNameLength) name.resize(kTapeNameLength);
    return name;
}

bool load_program(const char* path, const std::string& name, TapeProgram* program) {
    if (!set_program_name(program, name.c_str())) {
        fprintf(stderr,
                "tavrel: the name \"%s\" does not fit on tape (at most %zu characters: "
                "letters, digits, blanks and !\"#$%%&'()*+,-./:;<=>?@[\\]^_)\n",
                name.c_str(), kTapeNameLength);
        return false;
    }
    std::vector<uint8_t> bytes;
    if (!read_whole_file(path, &bytes)) {
        fprintf(stderr, "tavrel: cannot read %s\n", path);
        return false;
    }
    if (bytes.size() <= kLoadAddressBytes) {
        fprintf(stderr, "tavrel: %s holds no program (a load address and at least one byte)\n",
                path);
        return false;
    }
    program->load_address = static_cast<uint16_t>(bytes[0] | bytes[1] << 8);
    program->body.assign(bytes.begin() + kLoadAddressBytes, bytes.end());
    if (program->load_address + program->body.size() > kTopAddress) {
        fprintf(stderr, "tavrel: %s does not fit in memory below $FFFF from $%04X\n", path,
                program->load_address);
        return false;
    }
    return true;
}

}  // namespace

int run_make(int argc, char** argv) {
    const char* out_path = nullptr;
    bool demo = false;
    std::vector<const char*> inputs;
    for (int i = 0; i < argc; ++i) {
        if (strcmp(argv[i], "-o") == 0) {
            if (i + 1 >= argc) {
                fprintf(stderr, "tavrel: -o needs the name of the TAP file to write\n");
                return 1;
            }
            out_path = argv[++i];
        } else if (strcmp(argv[i], "--demo") == 0) {
            demo = true;
        } else {
            inputs.push_back(argv[i]);
        }
    }
    if (out_path == nullptr) {
        fprintf(stderr, "tavrel: make needs -o OUT.tap\n");
        return 1;
    }
    if (demo && !inputs.empty()) {
        fprintf(stderr, "tavrel: make --demo takes no program files\n");
        return 1;
    }
    if (!demo && inputs.empty()) {
        fprintf(stderr, "tavrel: make needs at least one program file (FILE.prg [NAME])\n");
        return 1;
    }

    std::vector<TapeProgram> programs;
    if (demo) {
        programs = demo_programs();
    }
    for (size_t i = 0; i < inputs.size(); ++i) {
        const char* path = inputs[i];
        if (!ends_with_prg(path)) {
            fprintf(stderr, "tavrel: %s: a program file's name must end in .prg\n", path);
            return 1;
        }
        std::string name = default_name(path);
        if (i + 1 < inputs.size() && !ends_with_prg(inputs[i + 1])) name = inputs[++i];
        TapeProgram program;
        if (!load_program(path, name, &program)) return 1;
        programs.push_back(std::move(program));
    }

    const MadeTape tape = make_tape(programs);
    if (!write_whole_file(out_path, tape.bytes)) {
        fprintf(stderr, "tavrel: cannot write %s\n", out_path);
        return 1;
    }
    const PlayerTally tally = tally_as_player(tape.bytes.data(), tape.bytes.size());
    printf("%s: %zu program%s, %zu bytes, tape time %s\n", out_path, programs.size(),
           programs.size() == 1 ? "" : "s", tape.bytes.size(),
           format_tape_time(tally.total_cycles).c_str());
    return 0;
}
