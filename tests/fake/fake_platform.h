// A scripted stand-in for the platform layer (src/platform/platform.h): unit
// tests link it instead of a real backend, so the player's stages run against
// files held in memory and a device that follows a script.
//
// All state is the one global `fake_platform`. Call fake_platform_reset()
// before each test, then fill in files, the device script and any faults,
// run the code under test and look at what was recorded.
//
// Call log, one entry per platform call, in order (paths and port names as
// the player passed them):
//   "open_file game.tap"        "open_file game.tap failed"
//   "file_size game.tap"        "file_size game.tap failed"
//   "read_file game.tap 20"     (the count asked for)
//   "seek game.tap 100"         "seek game.tap -2147483648 refused"
//   "open_port COM9"            "open_port COM9 failed"
//   "line_settings COM9"        "timeouts COM9"
//   "read_port 16384"           (the count asked for)
//   "port script exhausted"     (logged right after the read that hit it)
//   "write_port 64"             (the count asked for)
//   "close file game.tap"       "close port COM9"
//   "close unknown 7"           (a handle the fake never gave out, or closed twice)
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/platform.h"

// Replaces the outcome of one read or write. `call` counts the calls from 1,
// per file for file reads and over the whole run for port writes; 0 means no
// fault. The hit call reports `result` as given and moves result.count bytes
// (no more than were asked for or are there).
struct IoFault {
    uint32_t call = 0;
    IoResult result{};
};

struct FakeFile {
    std::string contents;
    bool open_fails = false;
    bool size_fails = false;
    bool seek_refused = false;  // distances below 0 are refused in any case
    IoFault read_fault;

    // Kept by the fake. Reads go from `position`; a seek moves it, also past
    // the end, where reads give 0 bytes and succeed.
    uint64_t position = 0;
    uint32_t reads = 0;
};

// One step of what the device sends, consumed by port reads in order.
struct FakePortStep {
    enum class Kind { kBytes, kQuiet, kFailure };
    Kind kind = Kind::kQuiet;
    std::string bytes;   // kBytes: a read takes up to the count it asks for;
                         // what it leaves stays for the next read
    uint32_t count = 0;  // kFailure: the count the failed read reports
};

FakePortStep port_bytes(std::string bytes);     // the device sends these bytes
FakePortStep port_quiet();                      // one read times out empty
FakePortStep port_failure(uint32_t count = 0);  // one read fails

struct FakePlatform {
    // ---- Set up by the test ----
    std::map<std::string, FakeFile> files;  // a path not listed fails to open
    std::set<std::string> failing_ports;    // port names whose open fails
    // Port reads consume this front to back. Once it is empty every read
    // FAILS with count 0, so a test can never hang in an endless quiet loop:
    // a script that runs out ends the exchange as a hung-up line would.
    std::deque<FakePortStep> port_script;
    IoFault port_write_fault;
    // Called at the start of every port read, with its number from 1; lets a
    // test look at the world (stdout, the log) as the player waits.
    std::function<void(uint32_t read_number)> before_port_read;

    // ---- Recorded by the fake ----
    std::vector<std::string> log;
    std::vector<std::string> port_writes;  // the bytes of each write, as asked
    std::string port_received;             // the bytes that got through, in order
    uint32_t port_reads = 0;
    std::optional<LineSettings> line_settings;
    std::optional<PortTimeouts> timeouts;
    std::map<intptr_t, std::string> open_handles;  // handle -> "file PATH" / "port NAME"
    intptr_t next_handle = 3;
};

extern FakePlatform fake_platform;

// Forgets every file, script, fault and record.
void fake_platform_reset();

// Adds (or replaces) a file and gives it for further set-up.
FakeFile& fake_file(const std::string& path, std::string contents);

// How many log entries equal `entry`, and where the first one is (-1: none).
int fake_log_count(const std::string& entry);
int fake_log_index(const std::string& entry);
