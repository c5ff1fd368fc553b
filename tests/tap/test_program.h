// A program of `size` random bytes under `name`, for the tapes the tests make.
#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <random>

#include "rom_encoder.h"

inline TapeProgram test_program(const char* name, uint16_t load_address, size_t size,
                                unsigned seed) {
    TapeProgram p;
    EXPECT_TRUE(set_program_name(&p, name)) << name;
    p.load_address = load_address;
    std::mt19937 rng(seed);
    for (size_t i = 0; i < size; ++i) p.body.push_back(static_cast<uint8_t>(rng()));
    return p;
}
