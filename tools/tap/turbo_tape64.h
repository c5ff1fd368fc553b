// Turbo Tape 64's files: a header block (type, start and end address, one
// more byte, the name, blanks) and the data block after it (the data, then
// the XOR of the data as check byte). One catalog entry per file, at the
// header's pilot; a header that makes no sense is an unnamed block.
#pragma once

#include <cstddef>
#include <cstdint>

#include "two_width_decoder.h"

struct ScanEvents;

class TurboTape64Format final : public BlockFormat {
public:
    explicit TurboTape64Format(ScanEvents* events) : events_(events) {}

    void block_started(size_t pilot_offset, uint32_t pilot_cycles) override;
    bool take_byte(uint8_t value, uint32_t end_cycles) override;
    void block_broken(uint32_t last_cycles) override;

private:
    enum class Kind : uint8_t { kHeader, kData, kStrayData };
    static constexpr size_t kNone = ~size_t{0};
    static constexpr size_t kKeptHeaderBytes = kTurboNameOffset + 16;

    void end_header(bool whole, uint32_t end_cycles);
    size_t add_unnamed(uint32_t end_cycles);

    ScanEvents* events_;
    size_t pilot_offset_ = 0;
    uint32_t pilot_cycles_ = 0;
    Kind kind_ = Kind::kHeader;
    size_t count_ = 0;  // bytes of the block taken, the first included
    uint8_t header_[kKeptHeaderBytes] = {};
    uint8_t type_ = 0;
    uint8_t data_xor_ = 0;
    size_t data_size_ = 0;
    size_t waiting_ = kNone;   // entry whose header came and whose data block is due
    size_t stray_ = kNone;     // unnamed entry of a data block without header
};
