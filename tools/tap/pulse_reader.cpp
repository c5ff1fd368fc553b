#include "pulse_reader.h"

#include "tap_file.h"

PulseReader make_pulse_reader(const uint8_t* file, size_t size, uint8_t version) {
    PulseReader reader;
    reader.data = file;
    reader.size = size;
    reader.position = kTapHeaderBytes;
    reader.version = version;
    return reader;
}

bool next_pulse(PulseReader* reader, Pulse* pulse) {
    if (reader->position >= reader->size) return false;
    const uint8_t first = reader->data[reader->position];
    pulse->offset = reader->position;
    if (first != 0) {
        pulse->cycles = 8u * first;
        pulse->long_count = false;
        reader->position += 1;
        return true;
    }
    pulse->long_count = true;
    if (reader->version == 0) {
        pulse->cycles = kOverflowPulseCycles;
        reader->position += 1;
        return true;
    }
    if (reader->size - reader->position < 4) {
        reader->position = reader->size;
        return false;
    }
    const uint8_t* count = reader->data + reader->position + 1;
    pulse->cycles = static_cast<uint32_t>(count[0]) | static_cast<uint32_t>(count[1]) << 8 |
                    static_cast<uint32_t>(count[2]) << 16;
    reader->position += 4;
    return true;
}

