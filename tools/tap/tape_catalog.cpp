#include "tape_catalog.h"

#include <algorithm>
#include <cstdio>
#include <memory>

#include "loader_families.h"
#include "pilot_detector.h"
#include "player_tally.h"
#include "pulse_reader.h"
#include "rom_scanner.h"
#include "scan_events.h"
#include "turbo_tape64.h"
#include "two_width_decoder.h"

namespace {

// Read at a time from disk; the pulses' state carries over between chunks.
constexpr size_t kChunkBytes = 1 << 16;

// Every family's detector, each fed every pulse once.
struct Detectors {
    explicit Detectors(ScanEvents* events)
        : rom(make_rom_scanner(events)), turbo_tape64(events) {
        start_two_width_decoder(tt64.get(), &kTurboTape64, &turbo_tape64, events, window.get());
        start_pilot_detector(pilots.get(), events, window.get());
    }

    // Pulses go into the window and on to the detectors a batch at a time:
    // each detector's loop stays in the cache, and the window still holds
    // the pulses before the batch that the detectors look back at.
    void operator()(const Pulse& pulse) {
        window->ring[count % PulseWindow::kSize] = pulse;
        if (++count - handed == kBatch) flush();
    }

    void flush() {
        rom_scanner_steps(rom.get(), *window, handed, count);
        two_width_steps(tt64.get(), count);
        pilot_detector_steps(pilots.get(), count);
        handed = count;
    }

    void finish(size_t end_offset, uint32_t total_cycles) {
        flush();
        rom_scanner_finish(rom.get(), end_offset, total_cycles);
        two_width_finish(tt64.get(), end_offset);
        pilot_detector_finish(pilots.get());
    }

    static constexpr uint64_t kBatch = 1024;
    static_assert(PulseWindow::kSize >= kBatch + kDetectorHistory && PulseWindow::kSize >= kBatch + kDecoderHistory);

    std::unique_ptr<PulseWindow> window = std::make_unique<PulseWindow>();
    uint64_t count = 0;   // pulses put in the window
    uint64_t handed = 0;  // pulses handed to the detectors
    std::unique_ptr<RomScanner, void (*)(RomScanner*)> rom;
    TurboTape64Format turbo_tape64;
    std::unique_ptr<TwoWidthDecoder> tt64 = std::make_unique<TwoWidthDecoder>();
    std::unique_ptr<PilotDetector> pilots = std::make_unique<PilotDetector>();
};

std::string unnamed_description(uint32_t start_cycles) {
    return "(unnamed block at " + format_tape_time(start_cycles) + ")";
}

// The named formats' entries, and the unnamed blocks no named format
// claimed, in tape order.
std::vector<CatalogEntry> merge(ScanEvents* events) {
    std::vector<ClaimedSpan>& claims = events->claims;
    std::sort(claims.begin(), claims.end(),
              [](const ClaimedSpan& a, const ClaimedSpan& b) { return a.from < b.from; });
    std::vector<size_t> reach(claims.size());  // the furthest end among claims[0..i]
    for (size_t i = 0; i < claims.size(); ++i) {
        reach[i] = std::max(claims[i].to, i > 0 ? reach[i - 1] : 0);
    }
    std::vector<CatalogEntry> entries = std::move(events->named);
    for (size_t i = 0; i < events->unnamed.size(); ++i) {
        const size_t from = events->unnamed[i].pilot_offset;
        const size_t to = events->unnamed_pilot_ends[i];
        // Claims that begin before the pilot ends; does any reach its start?
        const auto after = std::upper_bound(
            claims.begin(), claims.end(), to,
            [](size_t offset, const ClaimedSpan& claim) { return offset < claim.from; });
        const size_t before = static_cast<size_t>(after - claims.begin());
        if (before > 0 && reach[before - 1] >= from) continue;
        entries.push_back(std::move(events->unnamed[i]));
    }
    std::stable_sort(entries.begin(), entries.end(), [](const CatalogEntry& a, const CatalogEntry& b) {
        return a.pilot_offset < b.pilot_offset;
    });
    for (CatalogEntry& entry : entries) {
        if (entry.unnamed) entry.description = unnamed_description(entry.start_cycles);
    }
    return entries;
}

void finish_catalog(TapeCatalog* catalog, ScanEvents* events, Detectors* detectors,
                    const PulseStream& stream) {
    detectors->finish(stream.offset, stream.total_cycles);
    catalog->total_cycles = stream.total_cycles;
    catalog->one_byte_pulses = stream.one_byte_pulses;
    catalog->long_counts = stream.long_counts;
    catalog->entries = merge(events);
    catalog->problems = std::move(events->problems);
}

}  // namespace

TapeCatalog catalog_tape_bytes(const uint8_t* file, size_t size) {
    TapeCatalog catalog;
    catalog.file_size = size;
    if (size < kTapHeaderBytes) return catalog;
    catalog.header = read_tap_header(file);
    ScanEvents events;
    Detectors detectors(&events);
    PulseStream stream;
    stream.version = catalog.header.version;
    feed_pulse_stream(&stream, file + kTapHeaderBytes, size - kTapHeaderBytes, detectors);
    finish_catalog(&catalog, &events, &detectors, stream);
    return catalog;
}

bool catalog_tape_file(const char* path, TapeCatalog* catalog) {
    *catalog = TapeCatalog{};
    FILE* file = fopen(path, "rb");
    if (file == nullptr) {
        fprintf(stderr, "tavrel: cannot read %s\n", path);
        return false;
    }
    std::vector<uint8_t> buffer(kChunkBytes);
    const size_t got = fread(buffer.data(), 1, kTapHeaderBytes, file);
    if (ferror(file) != 0) {
        fclose(file);
        fprintf(stderr, "tavrel: cannot read %s\n", path);
        return false;
    }
    if (got < kTapHeaderBytes) {
        fclose(file);
        fprintf(stderr, "tavrel: %s is too short for a TAP file (%zu bytes; the header alone takes %zu)\n",
                path, got, kTapHeaderBytes);
        return false;
    }
    catalog->header = read_tap_header(buffer.data());
    ScanEvents events;
    Detectors detectors(&events);
    PulseStream stream;
    stream.version = catalog->header.version;
    uint64_t size = kTapHeaderBytes;
    for (;;) {
        const size_t read = fread(buffer.data(), 1, buffer.size(), file);
        if (ferror(file) != 0) {
            fclose(file);
            fprintf(stderr, "tavrel: cannot read %s\n", path);
            return false;
        }
        size += read;
        feed_pulse_stream(&stream, buffer.data(), read, detectors);
        if (read < buffer.size()) break;
    }
    fclose(file);
    catalog->file_size = size;
    finish_catalog(catalog, &events, &detectors, stream);
    return true;
}

const char* loader_family_name(LoaderFamily family) {
    switch (family) {
        case LoaderFamily::kRomLoader: return "ROM loader";
        case LoaderFamily::kTurboTape64: return "Turbo Tape 64";
        case LoaderFamily::kUnknownTurbo: return "unknown turbo";
    }
    return "unknown turbo";
}

std::string catalog_index_line(const CatalogEntry& entry) {
    return hex_offset(entry.pilot_offset) + " " + entry.description;
}
