// A scratch file for fuzz targets that need a real file, rewritten for every
// input and removed at exit; in memory where the system offers it.
#pragma once

#include <cstdlib>
#include <string>

#include <unistd.h>

inline std::string make_scratch_file(const char* tag) {
    static std::string path;
    path = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    path += std::string("/tavrel-fuzz-") + tag + "-XXXXXX";
    const int fd = mkstemp(path.data());
    if (fd < 0) abort();
    close(fd);
    atexit([] { unlink(path.c_str()); });
    return path;
}
