#include "turbo_tape64.h"

#include "petscii.h"
#include "scan_events.h"

void TurboTape64Format::block_started(size_t pilot_offset, uint32_t pilot_cycles) {
    pilot_offset_ = pilot_offset;
    pilot_cycles_ = pilot_cycles;
    count_ = 0;
    data_xor_ = 0;
    stray_ = kNone;
}

size_t TurboTape64Format::add_unnamed(uint32_t end_cycles) {
    CatalogEntry entry;
    entry.pilot_offset = pilot_offset_;
    entry.family = LoaderFamily::kTurboTape64;
    entry.unnamed = true;
    entry.start_cycles = pilot_cycles_;
    entry.end_cycles = end_cycles;
    events_->named.push_back(entry);
    return events_->named.size() - 1;
}

void TurboTape64Format::end_header(bool whole, uint32_t end_cycles) {
    const uint16_t start = static_cast<uint16_t>(header_[0] | header_[1] << 8);
    const uint16_t end = static_cast<uint16_t>(header_[2] | header_[3] << 8);
    if (!whole || end <= start) {
        add_unnamed(end_cycles);
        events_->problems.push_back("Turbo Tape 64 header at " + hex_offset(pilot_offset_) + ": " +
                                    (whole ? "its addresses make no sense" : "cut short") +
                                    "; listed as an unnamed block");
        waiting_ = kNone;
        return;
    }
    CatalogEntry entry;
    entry.pilot_offset = pilot_offset_;
    entry.family = LoaderFamily::kTurboTape64;
    entry.name = tape_name_to_ascii(header_ + kTurboNameOffset, kTapeNameLength);
    entry.description = entry.name;
    entry.has_addresses = true;
    entry.start_address = start;
    entry.end_address = end;
    entry.type = type_;
    entry.start_cycles = pilot_cycles_;
    entry.end_cycles = end_cycles;
    waiting_ = events_->named.size();
    data_size_ = static_cast<size_t>(end - start);
    events_->named.push_back(entry);
}

bool TurboTape64Format::take_byte(uint8_t value, uint32_t end_cycles) {
    const size_t index = count_++;
    if (index == 0) {
        if (value != 0) {
            kind_ = Kind::kHeader;
            type_ = value;
        } else if (waiting_ != kNone) {
            kind_ = Kind::kData;
        } else {
            // Data without its header: the pulses say where it ends.
            kind_ = Kind::kStrayData;
            stray_ = add_unnamed(end_cycles);
        }
        return true;
    }
    switch (kind_) {
        case Kind::kHeader:
            if (index - 1 < kKeptHeaderBytes) header_[index - 1] = value;
            if (index < kTurboHeaderSize) return true;
            end_header(true, end_cycles);
            return false;
        case Kind::kData: {
            if (index <= data_size_) {
                data_xor_ ^= value;
                return true;
            }
            CatalogEntry& entry = events_->named[waiting_];
            entry.check = value == data_xor_ ? CheckState::kFits : CheckState::kFails;
            entry.end_cycles = end_cycles;
            waiting_ = kNone;
            return false;
        }
        case Kind::kStrayData:
            events_->named[stray_].end_cycles = end_cycles;
            return true;
    }
    return false;
}

void TurboTape64Format::block_broken(uint32_t last_cycles) {
    if (count_ == 0) {
        add_unnamed(last_cycles);  // a sync and nothing after it
        return;
    }
    switch (kind_) {
        case Kind::kHeader:
            end_header(false, last_cycles);
            return;
        case Kind::kData: {
            CatalogEntry& entry = events_->named[waiting_];
            entry.check = CheckState::kFails;
            entry.end_cycles = last_cycles;
            waiting_ = kNone;
            return;
        }
        case Kind::kStrayData:
            events_->named[stray_].end_cycles = last_cycles;
            stray_ = kNone;
            return;
    }
}
