#include "harness/temp_files.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include <ftw.h>
#include <gtest/gtest.h>
#include <unistd.h>

namespace {

int remove_entry(const char* path, const struct stat*, int, struct FTW*) {
    return ::remove(path);
}

}  // namespace

TempDir::TempDir() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base != nullptr && *base != '\0' ? base : "/tmp") +
                          "/tavrel-test-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) ADD_FAILURE() << "mkdtemp failed";
    path_ = pattern;
}

TempDir::~TempDir() { nftw(path_.c_str(), remove_entry, 16, FTW_DEPTH | FTW_PHYS); }

std::string TempDir::write(const std::string& name, std::string_view bytes) const {
    const std::string target = file(name);
    std::ofstream out(target, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) ADD_FAILURE() << "cannot write " << target;
    return target;
}

std::string make_pulses(size_t count, unsigned seed) {
    std::string pulses;
    pulses.reserve(count);
    uint32_t state = seed * 2654435761u + 1;
    for (size_t i = 0; i < count; ++i) {
        state = state * 1103515245u + 12345u;
        pulses += static_cast<char>(0x30 + ((state >> 16) % 0x30));
    }
    return pulses;
}

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream all;
    all << in.rdbuf();
    return all.str();
}
