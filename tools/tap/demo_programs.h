// The project's demo tape: a few small programs made in code, so that no
// input file is needed.
#pragma once

#include <vector>

#include "rom_encoder.h"

std::vector<TapeProgram> demo_programs();
