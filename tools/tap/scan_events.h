// What the loader families' detectors report while the pulses go by; the
// catalog puts it together once the tape has ended.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "tape_catalog.h"

// Bytes from a block's first pilot pulse to its last pulse, recognised by a
// named format: no unnamed block is listed inside it.
struct ClaimedSpan {
    size_t from = 0;
    size_t to = 0;
};

struct ScanEvents {
    std::vector<CatalogEntry> named;    // each family's own in tape order
    std::vector<CatalogEntry> unnamed;  // every pilot-led block, in tape order
    // Per unnamed entry, where its pilot ends: it is dropped when a named
    // format claimed any of [pilot_offset, pilot_end].
    std::vector<size_t> unnamed_pilot_ends;
    std::vector<ClaimedSpan> claims;
    std::vector<std::string> problems;
};

std::string hex_offset(size_t offset);
