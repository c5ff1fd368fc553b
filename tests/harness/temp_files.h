// Scratch files for one test, removed with it.
#pragma once

#include "common/tap_bytes.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }
    // Writes `bytes` to a file in the folder and gives its path.
    std::string write(const std::string& name, std::string_view bytes) const;
    std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};


// `count` pulse bytes of a simple, varied pattern (never zero).
std::string make_pulses(size_t count, unsigned seed = 1);

std::string read_file(const std::string& path);
