// Finds the blocks of loaders no row of loader_families.h describes: every
// block that begins with a pilot, a long run of one repeated byte under a
// two-width encoding. Whatever the byte, its alignment and the bit order,
// such a run repeats its pulse widths every eight pulses; the run is a
// pilot when it lasts kMinPilotPulses and is ended by pulses that break
// the pattern (a different byte), not by silence. A cheap loose match of
// each pulse with the one eight before finds a run; its eight widths are
// then followed closely, drifting with the tape.
#pragma once

#include <cstddef>
#include <cstdint>

#include "pulse_reader.h"

struct ScanEvents;

// 128 bytes: longer than runs of repeated bytes inside data (a few dozen),
// half the shortest pilot that must be found.
inline constexpr uint32_t kMinPilotPulses = 128 * 8;
inline constexpr size_t kDetectorHistory = 1024;  // pulses looked back at, at most

struct PilotDetector {
    ScanEvents* events = nullptr;
    uint64_t pulses = 0;  // pulses seen: the number of the next one
    // Pulses in a row alike to the one eight before them, and the widths of
    // the last eight (0: unusable).
    uint32_t alike_run = 0;
    uint8_t last_units[8] = {};
    // The run followed: its reference width per phase (256ths of a TAP
    // unit), where it began and the pulse number its phases count from.
    bool following = false;
    int32_t reference256[8] = {};
    uint64_t run_origin = 0;
    uint64_t run_start = 0;  // set once the run is settled (kSettledAt)
    uint32_t run_length = 0;
    bool run_extended = false;
    size_t run_start_offset = 0;  // file offset and tape time of run_start
    uint32_t run_start_cycles = 0;
    // After a pulse broke a long run: the pulses looked at since, and how
    // many of them still fit the run.
    bool ending = false;
    size_t break_offset = 0;
    uint32_t ending_seen = 0;
    uint32_t ending_fits = 0;
    // The unnamed entry whose block is running: its end follows the pulses.
    bool block_open = false;
    size_t open_entry = 0;
    uint32_t open_end_cycles = 0;  // where the last usable pulse ended
    const PulseWindow* window = nullptr;
};

void start_pilot_detector(PilotDetector* detector, ScanEvents* events, const PulseWindow* window);
// Pulses number detector->pulses up to `end` (exclusive) of the window, in
// file order; the window holds kDetectorHistory pulses before them too.
void pilot_detector_steps(PilotDetector* detector, uint64_t end);
// At the end of the tape.
void pilot_detector_finish(PilotDetector* detector);
