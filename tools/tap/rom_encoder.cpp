#include "rom_encoder.h"

#include <cstring>

#include "tap_file.h"

namespace {

void append_bit(std::vector<uint8_t>* out, bool bit) {
    out->push_back(bit ? kMediumPulse : kShortPulse);
    out->push_back(bit ? kShortPulse : kMediumPulse);
}

}  // namespace

std::vector<uint8_t> header_block(const TapeProgram& program) {
    std::vector<uint8_t> block(kHeaderBlockSize, kTapeNamePad);
    const uint32_t end = program.load_address + static_cast<uint32_t>(program.body.size());
    block[0] = program.load_address == kBasicStart ? kBasicProgramType : kMachineProgramType;
    block[1] = static_cast<uint8_t>(program.load_address);
    block[2] = static_cast<uint8_t>(program.load_address >> 8);
    block[3] = static_cast<uint8_t>(end);
    block[4] = static_cast<uint8_t>(end >> 8);
    memcpy(block.data() + 5, program.name, kTapeNameLength);
    return block;
}

void append_encoded_byte(std::vector<uint8_t>* out, uint8_t value) {
    out->push_back(kLongPulse);
    out->push_back(kMediumPulse);
    bool parity = true;
    for (int bit = 0; bit < 8; ++bit) {
        const bool set = ((value >> bit) & 1) != 0;
        parity ^= set;
        append_bit(out, set);
    }
    append_bit(out, parity);
}

void append_block(std::vector<uint8_t>* out, uint8_t sync_start, const uint8_t* data,
                  size_t size) {
    for (size_t i = 0; i < kSyncLength; ++i) {
        append_encoded_byte(out, static_cast<uint8_t>(sync_start - i));
    }
    uint8_t check = 0;
    for (size_t i = 0; i < size; ++i) {
        append_encoded_byte(out, data[i]);
        check ^= data[i];
    }
    append_encoded_byte(out, check);
    out->push_back(kLongPulse);
    out->push_back(kShortPulse);
}

void append_pulses(std::vector<uint8_t>* out, uint8_t pulse, size_t count) {
    out->insert(out->end(), count, pulse);
}

void append_long_count(std::vector<uint8_t>* out, uint32_t cycles) {
    out->push_back(0);
    out->push_back(static_cast<uint8_t>(cycles));
    out->push_back(static_cast<uint8_t>(cycles >> 8));
    out->push_back(static_cast<uint8_t>(cycles >> 16));
}

void append_rom_program(std::vector<uint8_t>* out, const TapeProgram& program) {
    const std::vector<uint8_t> header = header_block(program);
    append_pulses(out, kShortPulse, kHeaderPilotPulses);
    append_block(out, kFirstSyncStart, header.data(), header.size());
    append_pulses(out, kShortPulse, kRepeatGapPulses);
    append_block(out, kRepeatSyncStart, header.data(), header.size());
    append_pulses(out, kShortPulse, kTrailerPulses);

    const std::vector<uint8_t>& body = program.body;
    append_pulses(out, kShortPulse, kDataPilotPulses);
    append_block(out, kFirstSyncStart, body.data(), body.size());
    append_pulses(out, kShortPulse, kRepeatGapPulses);
    append_block(out, kRepeatSyncStart, body.data(), body.size());
    append_pulses(out, kShortPulse, kTrailerPulses);
}

MadeTape make_tape(const std::vector<TapeProgram>& programs) {
    MadeTape tape;
    std::vector<uint8_t>* out = &tape.bytes;
    write_tap_header(out, 1, 0);
    for (size_t i = 0; i < programs.size(); ++i) {
        if (i > 0) append_long_count(out, kSilenceCycles);
        tape.pilot_offsets.push_back(out->size());
        append_rom_program(out, programs[i]);
    }
    write_tap_header(out, 1, static_cast<uint32_t>(out->size() - kTapHeaderBytes));
    return tape;
}

bool set_program_name(TapeProgram* program, const char* text) {
    const size_t length = strlen(text);
    if (length > kTapeNameLength) return false;
    memset(program->name, kTapeNamePad, kTapeNameLength);
    for (size_t i = 0; i < length; ++i) {
        if (!ascii_to_petscii(text[i], &program->name[i])) return false;
    }
    return true;
}
