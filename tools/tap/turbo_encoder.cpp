#include "turbo_encoder.h"

#include <cstring>

#include "tap_file.h"

void append_two_width_byte(std::vector<uint8_t>* out, const TwoWidthFamily& family, uint8_t value) {
    for (int i = 0; i < 8; ++i) {
        const int bit = family.msb_first ? 7 - i : i;
        out->push_back(((value >> bit) & 1) != 0 ? family.one_pulse : family.zero_pulse);
    }
}

void append_two_width_block(std::vector<uint8_t>* out, const TwoWidthFamily& family,
                            size_t pilot_bytes, const uint8_t* payload, size_t size) {
    for (size_t i = 0; i < pilot_bytes; ++i) append_two_width_byte(out, family, family.pilot_byte);
    for (size_t i = 0; i < family.sync_length; ++i) append_two_width_byte(out, family, family.sync[i]);
    for (size_t i = 0; i < size; ++i) append_two_width_byte(out, family, payload[i]);
}

std::vector<uint8_t> turbo_header_block(const TapeProgram& program, uint8_t type) {
    std::vector<uint8_t> block(1 + kTurboHeaderSize, kTapeNamePad);
    const uint32_t end = program.load_address + static_cast<uint32_t>(program.body.size());
    block[0] = type;
    block[1] = static_cast<uint8_t>(program.load_address);
    block[2] = static_cast<uint8_t>(program.load_address >> 8);
    block[3] = static_cast<uint8_t>(end);
    block[4] = static_cast<uint8_t>(end >> 8);
    block[5] = 0;
    memcpy(block.data() + 1 + kTurboNameOffset, program.name, kTapeNameLength);
    return block;
}

std::vector<uint8_t> turbo_data_block(const TapeProgram& program) {
    std::vector<uint8_t> block(1, 0);
    uint8_t check = 0;
    for (uint8_t value : program.body) {
        block.push_back(value);
        check ^= value;
    }
    block.push_back(check);
    return block;
}

void append_turbo_tape_file(std::vector<uint8_t>* out, const TapeProgram& program, uint8_t type) {
    const std::vector<uint8_t> trailer(kTurboTrailerBytes, 0);
    const std::vector<uint8_t> header = turbo_header_block(program, type);
    append_two_width_block(out, kTurboTape64, kTurboHeaderPilotBytes, header.data(), header.size());
    for (uint8_t value : trailer) append_two_width_byte(out, kTurboTape64, value);
    const std::vector<uint8_t> data = turbo_data_block(program);
    append_two_width_block(out, kTurboTape64, kTurboDataPilotBytes, data.data(), data.size());
    for (uint8_t value : trailer) append_two_width_byte(out, kTurboTape64, value);
}

MadeTape make_turbo_tape(const std::vector<TapeProgram>& turbo_programs,
                         const std::vector<TapeProgram>& rom_programs) {
    MadeTape tape;
    std::vector<uint8_t>* out = &tape.bytes;
    write_tap_header(out, 1, 0);
    for (const TapeProgram& program : rom_programs) {
        if (out->size() > kTapHeaderBytes) append_long_count(out, kSilenceCycles);
        tape.pilot_offsets.push_back(out->size());
        append_rom_program(out, program);
    }
    for (const TapeProgram& program : turbo_programs) {
        if (out->size() > kTapHeaderBytes) append_long_count(out, kSilenceCycles);
        tape.pilot_offsets.push_back(out->size());
        append_turbo_tape_file(out, program);
    }
    write_tap_header(out, 1, static_cast<uint32_t>(out->size() - kTapHeaderBytes));
    return tape;
}
