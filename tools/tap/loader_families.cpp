#include "loader_families.h"

// Stray ±15% and slow drift stay well inside [min_pulse, max_pulse].
const TwoWidthFamily kTurboTape64 = {
    LoaderFamily::kTurboTape64,
    "Turbo Tape 64",
    0x1A,
    0x28,
    0x21,
    true,
    0x02,
    32,
    {0x09, 0x08, 0x07, 0x06, 0x05, 0x04, 0x03, 0x02, 0x01},
    9,
    0x0C,
    0x3C,
};
