// Scan rate of the tape catalog (what `tavrel index` and `tavrel info` run)
// on two tapes of about 20 MiB: a turbo tape (a ROM-loaded boot file,
// Turbo Tape 64 files, blocks of a loader no row names, noise) and a tape
// of ROM-loader programs only. Each is scanned from memory and from disk a
// chunk at a time (the file warm in the page cache). Prints the median
// rate over the rounds and the disk scan's peak memory; asserts nothing.
//
// Usage: tap-scan-bench [--mib N] [--rounds N] [--dir DIR] [--only turbo|rom]
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "loader_families.h"
#include "rom_encoder.h"
#include "tap_file.h"
#include "tape_catalog.h"
#include "turbo_encoder.h"

namespace {

TapeProgram random_program(const char* name, uint16_t load_address, size_t size, std::mt19937* rng) {
    TapeProgram p;
    set_program_name(&p, name);
    p.load_address = load_address;
    p.body.resize(size);
    for (uint8_t& b : p.body) b = static_cast<uint8_t>((*rng)());
    return p;
}

std::vector<uint8_t> make_rom_tape(size_t bytes) {
    std::mt19937 rng(2);
    std::vector<uint8_t> tape;
    write_tap_header(&tape, 1, 0);
    for (int file = 1; tape.size() < bytes; ++file) {
        if (file > 1) append_long_count(&tape, kSilenceCycles);
        const std::string name = "PROGRAM " + std::to_string(file);
        append_rom_program(&tape, random_program(name.c_str(), 0x1000, 40 * 1024, &rng));
    }
    write_tap_header(&tape, 1, static_cast<uint32_t>(tape.size() - kTapHeaderBytes));
    return tape;
}

std::vector<uint8_t> make_turbo_tape(size_t bytes) {
    std::mt19937 rng(1);
    TwoWidthFamily other;  // a loader the catalog knows by its pilot only
    other.zero_pulse = 0x22;
    other.one_pulse = 0x3A;
    other.msb_first = false;
    other.pilot_byte = 0xE3;
    other.sync[0] = 0x1C;
    other.sync_length = 1;

    std::vector<uint8_t> tape;
    write_tap_header(&tape, 1, 0);
    append_rom_program(&tape, random_program("BOOT", 0x0801, 2000, &rng));
    for (int file = 1; tape.size() < bytes; ++file) {
        append_long_count(&tape, kSilenceCycles);
        const std::string name = "LEVEL " + std::to_string(file);
        append_turbo_tape_file(&tape, random_program(name.c_str(), 0x1000, 40 * 1024, &rng));
        append_long_count(&tape, kSilenceCycles);
        std::vector<uint8_t> data(8 * 1024);
        for (uint8_t& b : data) b = static_cast<uint8_t>(rng());
        append_two_width_block(&tape, other, 512, data.data(), data.size());
        for (int i = 0; i < 4096; ++i) tape.push_back(static_cast<uint8_t>(1 + rng() % 255));
    }
    write_tap_header(&tape, 1, static_cast<uint32_t>(tape.size() - kTapHeaderBytes));
    return tape;
}

double seconds_since(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

void report(const char* what, const std::vector<double>& times, size_t bytes) {
    const double t = median(times);
    printf("%-30s median %.3f s  %.0f MB/s  (%.0f MiB/s; best %.3f s, worst %.3f s)\n", what, t,
           static_cast<double>(bytes) / t / 1e6, static_cast<double>(bytes) / t / 1048576.0,
           *std::min_element(times.begin(), times.end()), *std::max_element(times.begin(), times.end()));
}

}  // namespace

bool run(const char* label, std::vector<uint8_t> tape, int rounds, const std::string& dir) {
    const std::string path = dir + "/tap-scan-bench-" + std::to_string(getpid()) + ".tap";
    size_t size = 0;
    std::vector<double> memory_times;
    size_t entries = 0;
    {
        size = tape.size();
        if (!write_whole_file(path.c_str(), tape)) {
            fprintf(stderr, "tap-scan-bench: cannot write %s\n", path.c_str());
            return false;
        }
        for (int r = 0; r < rounds; ++r) {
            const auto start = std::chrono::steady_clock::now();
            const TapeCatalog catalog = catalog_tape_bytes(tape.data(), tape.size());
            memory_times.push_back(seconds_since(start));
            entries = catalog.entries.size();
        }
        // Freed before the fork below, so that the child's peak is its own.
        tape.clear();
        tape.shrink_to_fit();
    }
    printf("%s: %zu bytes (%.1f MiB), %zu files and blocks found\n", label, size,
           static_cast<double>(size) / 1048576.0, entries);
    report("scan from memory:", memory_times, size);

    // The file scans in a child of their own, so that its peak memory is
    // the scan's alone and not the tape made above.
    int pipe_fds[2];
    if (pipe(pipe_fds) != 0) return false;
    const pid_t child = fork();
    if (child == 0) {
        close(pipe_fds[0]);
        std::vector<double> times;
        for (int r = 0; r < rounds; ++r) {
            const auto start = std::chrono::steady_clock::now();
            TapeCatalog catalog;
            if (!catalog_tape_file(path.c_str(), &catalog)) _exit(1);
            times.push_back(seconds_since(start));
        }
        const ssize_t n = write(pipe_fds[1], times.data(), times.size() * sizeof(double));
        _exit(n == static_cast<ssize_t>(times.size() * sizeof(double)) ? 0 : 1);
    }
    close(pipe_fds[1]);
    std::vector<double> file_times(static_cast<size_t>(rounds));
    const ssize_t got = read(pipe_fds[0], file_times.data(), file_times.size() * sizeof(double));
    close(pipe_fds[0]);
    int status = 0;
    struct rusage usage {};
    wait4(child, &status, 0, &usage);
    unlink(path.c_str());
    if (got != static_cast<ssize_t>(file_times.size() * sizeof(double)) || !WIFEXITED(status) ||
        WEXITSTATUS(status) != 0) {
        fprintf(stderr, "tap-scan-bench: the file scan failed\n");
        return false;
    }
    report("scan from disk (tavrel index):", file_times, size);
    printf("peak memory of the disk scan: %.1f MiB (the tape is %.1f MiB)\n",
           static_cast<double>(usage.ru_maxrss) / 1024.0, static_cast<double>(size) / 1048576.0);
    return true;
}

int main(int argc, char** argv) {
    double mib = 20;
    int rounds = 5;
    std::string dir = "/tmp";
    std::string only;
    for (int i = 1; i < argc; ++i) {
        if (strcmp(argv[i], "--mib") == 0 && i + 1 < argc) {
            mib = atof(argv[++i]);
        } else if (strcmp(argv[i], "--rounds") == 0 && i + 1 < argc) {
            rounds = std::max(1, atoi(argv[++i]));
        } else if (strcmp(argv[i], "--dir") == 0 && i + 1 < argc) {
            dir = argv[++i];
        } else if (strcmp(argv[i], "--only") == 0 && i + 1 < argc) {
            only = argv[++i];
        } else {
            fprintf(stderr, "usage: %s [--mib N] [--rounds N] [--dir DIR] [--only turbo|rom]\n", argv[0]);
            return 2;
        }
    }

    const size_t bytes = static_cast<size_t>(mib * 1048576);
    const bool turbo = only == "rom" || run("turbo tape", make_turbo_tape(bytes), rounds, dir);
    const bool rom = only == "turbo" || run("ROM-loader tape", make_rom_tape(bytes), rounds, dir);
    return turbo && rom ? 0 : 1;
}
