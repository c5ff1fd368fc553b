#include "demo_programs.h"

#include <cstdint>
#include <string>

namespace {

// BASIC V2 tokens used below.
constexpr uint8_t kFor = 0x81;
constexpr uint8_t kNext = 0x82;
constexpr uint8_t kGoto = 0x89;
constexpr uint8_t kPrint = 0x99;
constexpr uint8_t kTo = 0xA4;
constexpr uint8_t kStep = 0xA9;
constexpr uint8_t kMinus = 0xAB;
constexpr uint8_t kEquals = 0xB2;

struct BasicLine {
    uint16_t number;
    std::vector<uint8_t> text;  // tokens and PETSCII
};

std::vector<uint8_t> text(const std::string& s) { return {s.begin(), s.end()}; }

std::vector<uint8_t> join(std::initializer_list<std::vector<uint8_t>> parts) {
    std::vector<uint8_t> all;
    for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

// Tokenised lines as they lie in memory from $0801: the address of the next
// line, the line number, the text, a zero; two zeros end the program.
std::vector<uint8_t> basic_program(const std::vector<BasicLine>& lines) {
    std::vector<uint8_t> memory;
    uint32_t address = kBasicStart;
    for (const BasicLine& line : lines) {
        const uint32_t next = address + 4 + static_cast<uint32_t>(line.text.size()) + 1;
        memory.push_back(static_cast<uint8_t>(next));
        memory.push_back(static_cast<uint8_t>(next >> 8));
        memory.push_back(static_cast<uint8_t>(line.number));
        memory.push_back(static_cast<uint8_t>(line.number >> 8));
        memory.insert(memory.end(), line.text.begin(), line.text.end());
        memory.push_back(0);
        address = next;
    }
    memory.push_back(0);
    memory.push_back(0);
    return memory;
}

TapeProgram named(const char* name, uint16_t load_address, std::vector<uint8_t> body) {
    TapeProgram program;
    set_program_name(&program, name);
    program.load_address = load_address;
    program.body = std::move(body);
    return program;
}

}  // namespace

std::vector<TapeProgram> demo_programs() {
    std::vector<TapeProgram> programs;
    // 10 PRINT "HELLO, WORLD"
    // 20 GOTO 10
    programs.push_back(named("HELLO", kBasicStart,
                             basic_program({{10, join({{kPrint}, text(" \"HELLO, WORLD\"")})},
                                            {20, join({{kGoto}, text(" 10")})}})));
    // 10 FOR I=10 TO 1 STEP -1
    // 20 PRINT I
    // 30 NEXT
    // 40 PRINT "LIFT OFF"
    programs.push_back(named(
        "COUNTDOWN", kBasicStart,
        basic_program({{10, join({{kFor}, text(" I"), {kEquals}, text("10 "), {kTo}, text(" 1 "),
                                  {kStep}, text(" "), {kMinus}, text("1")})},
                       {20, join({{kPrint}, text(" I")})},
                       {30, {kNext}},
                       {40, join({{kPrint}, text(" \"LIFT OFF\"")})}})));
    // SYS 49152 flashes the border 256 times:
    //   LDX #0; loop: INC $D020; DEX; BNE loop; RTS
    programs.push_back(named("BORDER FLASH", 0xC000,
                             {0xA2, 0x00, 0xEE, 0x20, 0xD0, 0xCA, 0xD0, 0xFA, 0x60}));
    return programs;
}
