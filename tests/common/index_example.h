// The seven-line index file the listing is judged by: a heading, four
// entries in four notations, an empty line and a number followed by a colon.
#pragma once

#include <string>

inline const std::string kExampleIndex =
    "Tape index\n"
    "0 Start of tape\n"
    "25 First file\n"
    "0x1F4\tSecond file\n"
    "\n"
    "180: Third file\n"
    "  0b1111101000 Fourth\n";
