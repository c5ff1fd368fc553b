#include "pilot_detector.h"

#include <algorithm>

#include "scan_events.h"

namespace {

// Pulses outside these widths (TAP units) are silence or glitches, in no
// loader's two-width code.
constexpr uint32_t kMinUnits = 4;
constexpr uint32_t kMaxUnits = 0x90;
// A pulse fits a settled run when within -20%/+25% of the run's width at
// its phase: pulses of one width stray ±15%, and the two widths a loader
// tells apart lie 1.5 times or more apart.
bool fits(int32_t value256, int32_t reference256) {
    return (5 * value256 >= 4 * reference256) & (4 * value256 <= 5 * reference256);
}
// Before a run is followed, a pulse is only compared with the one eight
// before it: both stray, so -30%/+43% lets a pilot's pulses through. In
// data this fails every few pulses, cheaply.
bool alike(uint32_t units, uint32_t before) {
    return (10 * units >= 7 * before) & (7 * units <= 10 * before);
}
// Pulses alike in a row before the run is followed: eight per phase, from
// which its widths are taken.
constexpr uint32_t kAlikeRun = 64;
// Glitch or end of pilot: a broken run goes on when this many of the next
// eight pulses still fit it.
constexpr uint32_t kGlitchFits = 6;
// Once the run is this long its widths are settled: find where it began.
constexpr uint32_t kSettledAt = 256;

struct UsableTable {
    uint8_t units[256];
    constexpr UsableTable() : units() {
        for (uint32_t u = kMinUnits; u <= kMaxUnits; ++u) units[u] = static_cast<uint8_t>(u);
    }
};
constexpr UsableTable kUsable;

// The pulse's width in TAP units, 0 when it is no part of any run.
uint32_t usable_units(const Pulse& pulse) { return kUsable.units[width_index(pulse)]; }

int32_t reference_at(const PilotDetector* d, uint64_t pulse) {
    return d->reference256[(pulse - d->run_origin) % 8];
}

// The run is followed only once kAlikeRun pulses matched loosely, so it is
// found late, and may take in a few pulses before the pilot. Once its widths
// are settled, walk back from the newest pulse with them: the run begins at
// the earliest pulse that fits, one stray pulse forgiven when a whole byte
// of fitting pulses lies before it.
void find_run_start(PilotDetector* d) {
    d->run_extended = true;
    const uint64_t oldest = d->pulses > kDetectorHistory ? d->pulses - kDetectorHistory : 0;
    uint64_t start = d->pulses;
    bool owed = false;  // a stray pulse passed, not yet made good
    uint32_t streak = 0;
    for (uint64_t at = d->pulses; at > oldest;) {
        --at;
        const uint32_t units = usable_units(d->window->at(at));
        if (units == 0) break;
        if (fits(256 * static_cast<int32_t>(units), reference_at(d, at))) {
            if (!owed || ++streak >= 8) {
                owed = false;
                start = at;
            }
            continue;
        }
        if (owed) break;
        owed = true;
        streak = 0;
    }
    d->run_length = static_cast<uint32_t>(d->pulses - start);
    d->run_start = start;
    d->run_start_offset = d->window->at(start).offset;
    d->run_start_cycles = d->window->at(start).tape_cycles;
}

// The open unnamed block ends: at the last pulse before silence, before
// the next pilot, or at the end of the tape.
void close_block(PilotDetector* d, uint32_t end_cycles) {
    if (!d->block_open) return;
    CatalogEntry& entry = d->events->unnamed[d->open_entry];
    entry.end_cycles = end_cycles;
    d->block_open = false;
}

void pilot_ended(PilotDetector* d) {
    if (d->block_open) close_block(d, std::min(d->open_end_cycles, d->run_start_cycles));
    CatalogEntry entry;
    entry.pilot_offset = d->run_start_offset;
    entry.start_cycles = d->run_start_cycles;
    entry.family = LoaderFamily::kUnknownTurbo;
    entry.unnamed = true;
    d->events->unnamed.push_back(entry);
    d->events->unnamed_pilot_ends.push_back(d->break_offset);
    d->block_open = true;
    d->open_entry = d->events->unnamed.size() - 1;
}

// Follows the run that the last kAlikeRun pulses began: each phase's
// width is the mean of its pulses so far.
void follow_run(PilotDetector* d, uint64_t n) {
    d->following = true;
    d->run_origin = n + 1 - kAlikeRun;
    d->run_length = kAlikeRun;
    d->run_extended = false;
    for (size_t phase = 0; phase < 8; ++phase) {
        int32_t sum = 0;
        for (uint64_t k = d->run_origin + phase; k <= n; k += 8) {
            sum += 256 * static_cast<int32_t>(usable_units(d->window->at(k)));
        }
        d->reference256[phase] = sum / static_cast<int32_t>(kAlikeRun / 8);
    }
}

void step(PilotDetector* d, const Pulse& pulse) {
    const uint64_t n = d->pulses++;
    const uint32_t units = usable_units(pulse);
    if (units == 0) {
        d->last_units[n % 8] = 0;
        // Silence: a pilot it ends has no block.
        d->alike_run = 0;
        d->following = false;
        d->ending = false;
        close_block(d, d->open_end_cycles);
        return;
    }
    d->open_end_cycles = pulse.tape_cycles + pulse.cycles;

    uint8_t& slot = d->last_units[n % 8];  // the pulse eight before, on its way out
    const uint32_t before = slot;
    slot = static_cast<uint8_t>(units);
    if (!d->following) {
        d->alike_run = (d->alike_run + 1) * static_cast<uint32_t>(alike(units, before));
        if (d->alike_run >= kAlikeRun) follow_run(d, n);
        return;
    }

    const int32_t value = 256 * static_cast<int32_t>(units);
    int32_t& reference = d->reference256[(n - d->run_origin) % 8];
    const bool fit = fits(value, reference);
    if (d->ending) {
        ++d->ending_seen;
        d->ending_fits += fit ? 1u : 0u;
        if (d->ending_seen < 8) return;
        d->ending = false;
        if (d->ending_fits >= kGlitchFits) {
            d->run_length = static_cast<uint32_t>(n + 1 - d->run_start);  // a glitch: the pilot goes on
            return;
        }
        pilot_ended(d);
        d->following = false;
        d->alike_run = 0;
        return;
    }
    if (fit) {
        reference += (value - reference) / 16;  // the tape's speed drifts
        ++d->run_length;
        if (d->run_length >= kSettledAt && !d->run_extended) find_run_start(d);
        return;
    }
    if (d->run_length >= kMinPilotPulses) {
        d->ending = true;
        d->break_offset = pulse.offset;
        d->ending_seen = 0;
        d->ending_fits = 0;
        return;
    }
    d->following = false;
    d->alike_run = 0;
}

}  // namespace

void start_pilot_detector(PilotDetector* detector, ScanEvents* events, const PulseWindow* window) {
    *detector = PilotDetector{};
    detector->events = events;
    detector->window = window;
}

void pilot_detector_steps(PilotDetector* detector, uint64_t end) {
    while (detector->pulses < end) step(detector, detector->window->at(detector->pulses));
}

void pilot_detector_finish(PilotDetector* detector) {
    close_block(detector, detector->open_end_cycles);
}
