// Throughput benchmark: a fast device on the master side of a pseudo-terminal
// drives the player and a bare reference responder in alternating rounds
// over the same synthetic tape, checking every byte it receives. The bare
// responder runs twice per round: answering the prompt after the same quiet
// spell as the player (the yardstick), and at once (to show what that
// spell's aftermath costs on this machine).
//
// Optional steps: an allocation count of one playback (with the
// alloc_counter preload library) and the system calls per request (with
// strace, call by call, and with perf's counters, undisturbed).
//
// Usage: tavrel-bench --player PATH --bare PATH [--alloc-counter LIB]
//                     [--strace PATH] [--perf PATH] [--mib N] [--rounds N] [--quick]
//                     [--heap-only] [--keep] [--variant NAME=PATH]...
// A variant is another build of the player, measured in the same rounds.
// Exit status 0 when every playback was correct and the player made no heap
// allocation of its own; the speed goals are reported, not enforced.
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cinttypes>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

namespace {

constexpr uint32_t kHeaderSize = 20;
constexpr uint32_t kBlockSize = 64;
constexpr double kTapeClockHz = 985248.0;
constexpr unsigned kWatchdogSeconds = 60;
constexpr const char* kTimeLineMark = "\rBuffer time=";
constexpr const char* kAtOnceName = "bare, prompt answered at once";

struct Options {
    std::string player;
    std::string bare;
    std::string alloc_counter;
    std::string strace;
    std::string perf;
    // Many short rounds rather than a few long ones: on a shared machine the
    // load drifts, and the paired ratios of neighbouring runs follow it.
    double mib = 2.0;
    int rounds = 15;
    bool keep = false;  // leave the scratch folder (tape, outputs, strace log)
    bool heap_only = false;  // only the allocation count, as a quick check
    std::vector<std::pair<std::string, std::string>> variants;  // name, path
};

// One responder's measurements, one entry per round.
struct Series {
    std::vector<double> rate;  // requests per second
    std::vector<double> cpu;  // CPU seconds per MiB
    long peak_rss_kib = 0;
    long max_rss_kib = 0;
    size_t time_lines = 0;
};

// ---- Synthetic tape -------------------------------------------------------

struct Tape {
    std::string path;
    std::vector<uint8_t> bytes;
    uint64_t cycles = 0;  // tape time of all data bytes, without wrapping
    uint32_t cycles_wrapped = 0;  // the same in 32 bits, as the player counts
};

uint64_t next_random(uint64_t* state) {
    uint64_t x = *state;
    x ^= x << 13;
    x ^= x >> 7;
    x ^= x << 17;
    *state = x;
    return x;
}

// Pulse bytes around the values a Commodore loader writes, with a long
// count (zero byte and 24-bit length) every few thousand bytes at random
// places, so that some straddle two blocks.
Tape make_tape(const std::string& path, uint32_t data_size) {
    Tape tape;
    tape.path = path;
    tape.bytes.resize(kHeaderSize + data_size);
    memcpy(tape.bytes.data(), "C64-TAPE-RAW", 12);
    tape.bytes[12] = 1;
    for (uint32_t i = 0; i < 4; ++i) tape.bytes[16 + i] = static_cast<uint8_t>(data_size >> (8 * i));

    uint64_t seed = 0x9E3779B97F4A7C15ull;
    static constexpr uint8_t kPulses[] = {0x30, 0x42, 0x56};
    uint32_t at = kHeaderSize;
    const uint32_t end = kHeaderSize + data_size;
    while (at < end) {
        const uint64_t r = next_random(&seed);
        if (r % 4096 == 0 && end - at >= 4) {
            const uint32_t count = 0x10000u + static_cast<uint32_t>((r >> 12) % 0xF0000u);
            tape.bytes[at++] = 0;
            for (int i = 0; i < 3; ++i) tape.bytes[at++] = static_cast<uint8_t>(count >> (8 * i));
        } else {
            const uint8_t pulse = kPulses[(r >> 20) % 3];
            tape.bytes[at++] = static_cast<uint8_t>(pulse + (r >> 24) % 5);
        }
    }
    // Tape time by the reading the player applies to every file.
    for (uint32_t i = kHeaderSize; i < end;) {
        if (tape.bytes[i] != 0) {
            tape.cycles += 8u * tape.bytes[i];
            ++i;
        } else if (end - i >= 4) {
            tape.cycles += static_cast<uint32_t>(tape.bytes[i + 1]) |
                           static_cast<uint32_t>(tape.bytes[i + 2]) << 8 |
                           static_cast<uint32_t>(tape.bytes[i + 3]) << 16;
            i += 4;
        } else {
            break;
        }
    }
    tape.cycles_wrapped = static_cast<uint32_t>(tape.cycles);
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(tape.bytes.data()),
               static_cast<std::streamsize>(tape.bytes.size()));
    return tape;
}

// ---- One playback ---------------------------------------------------------

struct Responder {
    std::string name;
    std::vector<std::string> prefix;  // e.g. strace and its options
    std::string program;
    std::string preload;  // LD_PRELOAD value, or empty
    std::string alloc_report;
    std::vector<std::string> arguments;  // before the port and the tape
    bool is_bare = false;  // prints nothing, so its console is not checked
};

struct Outcome {
    bool ok = false;
    std::string error;
    uint64_t requests = 0;
    double seconds = 0;  // from the first request to the last block received
    double cpu_seconds = 0;  // user + system of the responder
    long peak_rss_kib = 0;  // VmHWM of the responder's own image
    long max_rss_kib = 0;  // ru_maxrss: also counts the bench's image before exec
    std::string out;
};

void on_watchdog(int) {}

double now_seconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

bool put_all(int fd, const void* bytes, size_t count) {
    const auto* p = static_cast<const uint8_t*>(bytes);
    while (count > 0) {
        ssize_t done = write(fd, p, count);
        if (done < 0 && errno == EINTR) return false;  // the watchdog
        if (done <= 0) return false;
        p += done;
        count -= static_cast<size_t>(done);
    }
    return true;
}

bool get_all(int fd, uint8_t* bytes, size_t count) {
    while (count > 0) {
        ssize_t got = read(fd, bytes, count);
        if (got <= 0) return false;  // hang-up, error, or the watchdog
        bytes += got;
        count -= static_cast<size_t>(got);
    }
    return true;
}

long high_water_kib(pid_t pid) {
    const std::string status = read_file("/proc/" + std::to_string(pid) + "/status");
    const size_t at = status.find("VmHWM:");
    return at == std::string::npos ? 0 : atol(status.c_str() + at + 6);
}

// --pin: every responder runs on this one CPU, which takes the scheduler's
// placement of its wake-ups out of the comparison.
int pinned_cpu = -1;

pid_t spawn(const Responder& responder, const std::string& port, const Tape& tape,
            const std::string& out_path, const std::string& err_path) {
    std::vector<std::string> words = responder.prefix;
    words.push_back(responder.program);
    words.insert(words.end(), responder.arguments.begin(), responder.arguments.end());
    words.push_back(port);
    words.push_back(tape.path);
    std::vector<char*> argv;
    for (std::string& w : words) argv.push_back(w.data());
    argv.push_back(nullptr);

    pid_t pid = fork();
    if (pid != 0) return pid;
    int out = open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int err = open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (out < 0 || err < 0) _exit(127);
    dup2(out, 1);
    dup2(err, 2);
    if (pinned_cpu >= 0) {
        cpu_set_t cpus;
        CPU_ZERO(&cpus);
        CPU_SET(static_cast<size_t>(pinned_cpu), &cpus);
        if (sched_setaffinity(0, sizeof(cpus), &cpus) != 0) _exit(127);
    }
    if (!responder.preload.empty()) {
        setenv("LD_PRELOAD", responder.preload.c_str(), 1);
        setenv("TAVREL_ALLOC_REPORT", responder.alloc_report.c_str(), 1);
    }
    execv(argv[0], argv.data());
    _exit(127);
}

// Plays the device: prompt, echo, the header, then every data block back to
// back, `depth` requests sent before their blocks are read (1: strictly one
// at a time), then the success notice.
Outcome play(const Responder& responder, const Tape& tape, const std::string& work_dir,
             uint32_t depth = 1) {
    Outcome outcome;
    int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) {
        outcome.error = "cannot create a pseudo-terminal";
        return outcome;
    }
    const std::string port = ptsname(master);
    // Held open for the whole run, so the master never sees a hang-up
    // between the responder's open and close.
    int slave = open(port.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios tio{};
    if (slave < 0 || tcgetattr(slave, &tio) != 0) {
        outcome.error = "cannot open " + port;
        close(master);
        return outcome;
    }
    cfmakeraw(&tio);
    tcsetattr(slave, TCSANOW, &tio);

    const std::string out_path = work_dir + "/" + responder.name + ".out";
    const std::string err_path = work_dir + "/" + responder.name + ".err";
    const pid_t pid = spawn(responder, port, tape, out_path, err_path);
    alarm(kWatchdogSeconds);

    const uint8_t* file = tape.bytes.data();
    const uint32_t size = static_cast<uint32_t>(tape.bytes.size());
    std::vector<uint8_t> got(kBlockSize * std::max<uint32_t>(depth, 1) + kHeaderSize);
    static const char kGreeting[] = "Tavrel bench device\r\n> ";
    bool ok = put_all(master, kGreeting, sizeof kGreeting - 1);
    ok = ok && get_all(master, got.data(), 2) && memcmp(got.data(), "p\r", 2) == 0;
    ok = ok && put_all(master, "p\r\n", 3);
    if (!ok) outcome.error = "handshake failed";

    double start = now_seconds();
    if (ok) {
        ok = put_all(master, "h", 1) && get_all(master, got.data(), kHeaderSize) &&
             memcmp(got.data(), file, kHeaderSize) == 0;
        if (!ok) outcome.error = "header differs";
        ++outcome.requests;
    }
    uint32_t offset = kHeaderSize;
    static const char kRequests[] = "dddddddddddddddddddddddddddddddd";
    while (ok && offset < size) {
        const uint32_t blocks_left = (size - offset + kBlockSize - 1) / kBlockSize;
        const uint32_t batch = std::min({depth, blocks_left, uint32_t{sizeof kRequests - 1}});
        const uint32_t bytes = std::min(batch * kBlockSize, size - offset);
        ok = put_all(master, kRequests, batch) && get_all(master, got.data(), bytes) &&
             memcmp(got.data(), file + offset, bytes) == 0;
        if (!ok) {
            outcome.error = "data differ at offset " + std::to_string(offset);
            break;
        }
        offset += bytes;
        outcome.requests += batch;
    }
    outcome.seconds = now_seconds() - start;
    // Nothing may follow the last block unasked.
    pollfd stray{master, POLLIN, 0};
    if (ok && poll(&stray, 1, 0) > 0 && (stray.revents & POLLIN) != 0) {
        outcome.error = "bytes sent beyond the last block";
        ok = false;
    }
    // Read while the responder still waits for its next request; after exec
    // its high-water mark covers only its own image.
    outcome.peak_rss_kib = high_water_kib(pid);
    if (ok) ok = put_all(master, "e", 1);

    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) < 0) {
        kill(pid, SIGKILL);
        wait4(pid, &status, 0, &usage);
        if (outcome.error.empty()) outcome.error = "responder did not end";
        ok = false;
    }
    alarm(0);
    close(slave);
    close(master);

    outcome.cpu_seconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                          static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    outcome.max_rss_kib = usage.ru_maxrss;
    outcome.out = read_file(out_path);
    if (ok && !(WIFEXITED(status) && WEXITSTATUS(status) == 0)) {
        outcome.error = "exit status " + std::to_string(status) + ": " + read_file(err_path);
        ok = false;
    }
    outcome.ok = ok;
    return outcome;
}

// ---- Checks on the player's console output --------------------------------

size_t count_time_lines(const std::string& out) {
    size_t count = 0;
    for (size_t at = out.find(kTimeLineMark); at != std::string::npos;
         at = out.find(kTimeLineMark, at + 1)) {
        ++count;
    }
    return count;
}

// The last time line must show the tape's whole time, directly followed by
// the success message with the count of data bytes.
std::string player_output_problem(const Outcome& outcome, const Tape& tape) {
    const uint32_t second = static_cast<uint32_t>(tape.cycles_wrapped / 985248u);
    char expected_last[64];
    snprintf(expected_last, sizeof expected_last, "\rBuffer time=%u:%02u Success condition",
             second / 60, second % 60);
    if (outcome.out.find(expected_last) == std::string::npos) {
        return std::string("last time line is not") + (expected_last + 1);
    }
    const std::string sent = ", " + std::to_string(tape.bytes.size() - kHeaderSize) + " bytes sent\n";
    if (outcome.out.size() < sent.size() ||
        outcome.out.compare(outcome.out.size() - sent.size(), sent.size(), sent) != 0) {
        return "success message does not end with" + sent;
    }
    return "";
}

// ---- Statistics -----------------------------------------------------------

double median(std::vector<double> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const size_t mid = values.size() / 2;
    return values.size() % 2 != 0 ? values[mid] : (values[mid - 1] + values[mid]) / 2;
}

std::string format_fixed(double value, int decimals) {
    char text[32];
    snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

std::string load_average() {
    std::string text = read_file("/proc/loadavg");
    const size_t cut = text.find(' ', text.find(' ', text.find(' ') + 1) + 1);
    return cut == std::string::npos ? text : text.substr(0, cut);
}

// ---- Heap step ------------------------------------------------------------

std::map<std::string, std::string> parse_report(const std::string& text,
                                                std::vector<std::string>* calls) {
    std::map<std::string, std::string> values;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        const size_t eq = line.find('=');
        if (eq == std::string::npos) continue;
        if (line.compare(0, eq, "call") == 0) {
            calls->push_back(line.substr(eq + 1));
        } else {
            values[line.substr(0, eq)] = line.substr(eq + 1);
        }
    }
    return values;
}

// The player, the bare responder (the yardstick: it answers the prompt after
// the same quiet spell as the player) and the bare responder answering the
// prompt at once.
std::vector<Responder> standard_responders(const Options& options) {
    return {{"tavrel-play", {}, options.player, "", "", {}, false},
            {"bare responder", {}, options.bare, "", "", {}, true},
            {kAtOnceName, {}, options.bare, "", "", {"--at-once"}, true}};
}

// Each round runs all responders back to back, so a ratio within a round
// sees one load; the medians of those ratios are the figures compared.
struct Ratios {
    double rate = 0;
    double cpu = 0;
};

Ratios paired_ratios(const Series& measured, const Series& reference) {
    std::vector<double> rates, cpus;
    for (size_t r = 0; r < measured.rate.size(); ++r) {
        rates.push_back(measured.rate[r] / reference.rate[r]);
        cpus.push_back(measured.cpu[r] / reference.cpu[r]);
    }
    return {median(rates), median(cpus)};
}

bool heap_step(const Options& options, const Tape& tape, const std::string& work_dir) {
    Responder counted{"player-heap", {}, options.player, options.alloc_counter,
                      work_dir + "/alloc-report.txt", {}, false};
    const Outcome outcome = play(counted, tape, work_dir);
    if (!outcome.ok) {
        printf("heap: playback under the allocation counter failed: %s\n", outcome.error.c_str());
        return false;
    }
    std::vector<std::string> calls;
    auto values = parse_report(read_file(counted.alloc_report), &calls);
    if (values.count("own_calls") == 0) {
        printf("heap: no report from the allocation counter\n");
        return false;
    }
    const bool clean = values["own_calls"] == "0";
    printf("heap: %s own allocations during the playback: %s (%s bytes); C runtime: %s call(s), "
           "%s bytes; before main: %s; frees during main: %s\n",
           clean ? "PASS," : "FAIL,", values["own_calls"].c_str(), values["own_bytes"].c_str(),
           values["runtime_calls"].c_str(), values["runtime_bytes"].c_str(),
           values["before_main"].c_str(), values["main_frees"].c_str());
    for (const std::string& call : calls) printf("heap:   %s\n", call.c_str());
    // One printf per time line and one for the success message; one flush
    // after the handshake and one per time line.
    printf("console: %zu time lines, %s printf calls, %s fflush calls during main\n",
           count_time_lines(outcome.out), values["printf_calls"].c_str(), values["fflush_calls"].c_str());
    return clean;
}

// ---- System call profile --------------------------------------------------

struct Syscall {
    std::string name;
    int fd = -1;
    long result = 0;
    std::string text;
};

bool parse_syscall(const std::string& line, Syscall* call) {
    const size_t paren = line.find('(');
    if (paren == std::string::npos || line.compare(0, 3, "+++") == 0 ||
        line.compare(0, 3, "---") == 0) {
        return false;
    }
    call->name = line.substr(0, paren);
    call->fd = -1;
    if (call->name == "poll") {
        const size_t fd_at = line.find("fd=");
        if (fd_at != std::string::npos) call->fd = atoi(line.c_str() + fd_at + 3);
    } else {
        call->fd = atoi(line.c_str() + paren + 1);
        if (call->name == "openat" || call->name == "open") call->fd = -1;
    }
    // strace pads the result into a column: "read(3, "d", 1)     = 1".
    const size_t eq = line.rfind(" = ");
    call->result = eq == std::string::npos ? 0 : strtol(line.c_str() + eq + 3, nullptr, 10);
    call->text = line;
    return true;
}

// Splits the request loop of an strace log into requests (each ends with the
// read that fetched the next request byte) and counts the patterns.
void print_profile(const std::string& log_path, const std::string& port, const Tape& tape,
                   const char* title) {
    std::ifstream log(log_path);
    std::string line;
    std::set<int> port_fds;  // the player may open the port more than once (reads, writes)
    int tape_fd = -1;
    bool in_loop = false;
    std::map<std::string, uint64_t> patterns;
    std::map<std::string, uint64_t> current;
    uint64_t requests = 0;
    uint64_t loop_calls = 0;
    while (std::getline(log, line)) {
        Syscall call;
        if (!parse_syscall(line, &call)) continue;
        if (call.name == "openat" && call.result >= 0) {
            if (line.find("\"" + port + "\"") != std::string::npos) port_fds.insert(static_cast<int>(call.result));
            if (line.find("\"" + tape.path + "\"") != std::string::npos) tape_fd = static_cast<int>(call.result);
            continue;
        }
        if (!in_loop) {
            in_loop = call.name == "read" && port_fds.count(call.fd) != 0 &&
                      line.find("\"p\\r\\n\"") != std::string::npos;
            continue;
        }
        std::string key;
        if (port_fds.count(call.fd) != 0) {
            key = call.name + (call.name == "read" && call.result < 0 ? " port (EAGAIN)" : " port");
        } else if (call.fd == tape_fd) {
            key = call.name + " tape";
        } else if (call.fd == 1) {
            key = call.name + " stdout";
        } else {
            key = call.name + (call.fd >= 0 ? " fd " + std::to_string(call.fd) : "");
        }
        ++current[key];
        ++loop_calls;
        const bool request_read = call.name == "read" && port_fds.count(call.fd) != 0 && call.result >= 1;
        if (request_read) {
            std::string pattern;
            for (const auto& [name, n] : current) {
                pattern += (pattern.empty() ? "" : ", ") + std::to_string(n) + " x " + name;
            }
            ++patterns[pattern];
            current.clear();
            ++requests;
            if (line.find("\"e\"") != std::string::npos) break;
        }
    }
    printf("syscalls (%s): %" PRIu64 " requests, %.2f system calls per request in the loop\n",
           title, requests, requests ? static_cast<double>(loop_calls) / static_cast<double>(requests) : 0.0);
    printf("syscalls:   count  calls from serving one request up to and including the read of "
           "the next request byte (EAGAIN + poll: the byte was not there yet)\n");
    for (const auto& [pattern, n] : patterns) {
        printf("syscalls:   %8" PRIu64 "  %s\n", n, pattern.c_str());
    }
}

// strace stops the player at every call, so the device is often ahead of
// it; perf's counters leave the timing alone and give the true mix for a
// device that waits for each answer. The scheduler's counters show where the
// CPU goes beyond the system calls: every context switch and every move to
// another CPU costs the responder kernel time.
void perf_step(const Options& options, const Tape& tape, const std::string& work_dir) {
    static const char* const kCalls[] = {"read", "pread64", "poll", "ppoll", "write", "ioctl",
                                         "fcntl", "clock_gettime", "lseek"};
    std::string events;
    for (const char* call : kCalls) {
        events += std::string(events.empty() ? "" : ",") + "syscalls:sys_enter_" + call;
    }
    events += ",raw_syscalls:sys_enter,context-switches,cpu-migrations";
    const std::string out_path = work_dir + "/perf.txt";
    for (const Responder& responder : standard_responders(options)) {
        Responder counted = responder;
        counted.prefix = {options.perf, "stat", "-x", ",", "-e", events, "-o", out_path};
        const Outcome outcome = play(counted, tape, work_dir);
        const std::string text = read_file(out_path);
        if (!outcome.ok || text.find("sys_enter") == std::string::npos ||
            text.find("<not supported>") != std::string::npos) {
            printf("perf: system call counters not available here\n");
            return;
        }
        const double requests = static_cast<double>(outcome.requests);
        printf("perf (%s, no tracing delay, %" PRIu64 " requests): system calls per request:",
               responder.name.c_str(), outcome.requests);
        std::string scheduler;
        std::istringstream lines(text);
        std::string line;
        while (std::getline(lines, line)) {
            const double per_request = atof(line.c_str()) / requests;
            if (line.find("context-switches") != std::string::npos) {
                scheduler += " context switches " + format_fixed(per_request, 2);
                continue;
            }
            if (line.find("cpu-migrations") != std::string::npos) {
                scheduler += ", CPU migrations " + format_fixed(per_request, 2);
                continue;
            }
            const size_t name_at = line.find("sys_enter");
            if (name_at == std::string::npos) continue;
            if (per_request < 0.005) continue;  // start-up and end only
            std::string name = line.substr(name_at + 9);
            name = name.substr(0, name.find(','));
            printf(" %s %.2f", name.empty() ? "all" : name.c_str() + 1, per_request);
        }
        printf("\n");
        if (!scheduler.empty()) printf("perf (%s): per request:%s\n", responder.name.c_str(),
                                       scheduler.c_str());
    }
}

void profile_step(const Options& options, const std::string& work_dir) {
    // A short tape is enough: the loop is the same for every block.
    const Tape tape = make_tape(work_dir + "/profile.tap", 256 * 1024);
    const std::string log_path = work_dir + "/strace.log";
    for (uint32_t depth : {1u, 2u}) {
        Responder traced{"player-strace", {options.strace, "-qq", "-o", log_path},
                         options.player, "", "", {}, false};
        const Outcome outcome = play(traced, tape, work_dir, depth);
        if (!outcome.ok) {
            printf("syscalls: playback under strace failed: %s\n", outcome.error.c_str());
            return;
        }
        // The port is the one pseudo-terminal slave the player opened.
        std::string port;
        std::ifstream log(log_path);
        std::string line;
        while (port.empty() && std::getline(log, line)) {
            const size_t at = line.find("\"/dev/pts/");
            if (line.compare(0, 6, "openat") == 0 && at != std::string::npos) {
                port = line.substr(at + 1, line.find('"', at + 1) - at - 1);
            }
        }
        print_profile(log_path, port, tape,
                      depth == 1 ? "device sends one request at a time"
                                 : "device sends two requests at a time");
    }
}

// ---- Main -----------------------------------------------------------------

void remove_work_dir(const Options& options, const std::string& work_dir) {
    if (options.keep) {
        printf("scratch files kept in %s\n", work_dir.c_str());
        return;
    }
    const std::string cleanup = "rm -rf '" + work_dir + "'";
    if (system(cleanup.c_str()) != 0) fprintf(stderr, "could not remove %s\n", work_dir.c_str());
}

bool parse_arguments(int argc, char** argv, Options* options) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool has_value = i + 1 < argc;
        if (arg == "--quick") {
            options->mib = 0.25;
            options->rounds = 1;
        } else if (arg == "--heap-only") {
            options->heap_only = true;
        } else if (arg == "--variant" && has_value) {
            const std::string value = argv[++i];
            const size_t eq = value.find('=');
            if (eq == std::string::npos) return false;
            options->variants.emplace_back(value.substr(0, eq), value.substr(eq + 1));
        } else if (arg == "--pin" && has_value) {
            pinned_cpu = atoi(argv[++i]);
        } else if (arg == "--keep") {
            options->keep = true;
        } else if (arg == "--player" && has_value) {
            options->player = argv[++i];
        } else if (arg == "--bare" && has_value) {
            options->bare = argv[++i];
        } else if (arg == "--alloc-counter" && has_value) {
            options->alloc_counter = argv[++i];
        } else if (arg == "--perf" && has_value) {
            options->perf = argv[++i];
        } else if (arg == "--strace" && has_value) {
            options->strace = argv[++i];
        } else if (arg == "--mib" && has_value) {
            options->mib = atof(argv[++i]);
        } else if (arg == "--rounds" && has_value) {
            options->rounds = atoi(argv[++i]);
        } else {
            return false;
        }
    }
    if (options->heap_only && options->alloc_counter.empty()) return false;
    return !options->player.empty() && !options->bare.empty() && options->mib > 0 &&
           options->mib <= 64 && options->rounds > 0;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!parse_arguments(argc, argv, &options)) {
        fprintf(stderr,
                "usage: %s --player PATH --bare PATH [--alloc-counter LIB] [--strace PATH]\n"
                "          [--perf PATH]\n"
                "          [--mib N] [--rounds N] [--quick] [--heap-only] [--keep]\n"
                "          [--variant NAME=PATH]... [--pin CPU]\n",
                argv[0]);
        return 2;
    }
    setvbuf(stdout, nullptr, _IOLBF, 0);
    struct sigaction watchdog {};
    watchdog.sa_handler = on_watchdog;  // no SA_RESTART: a stuck read returns
    sigaction(SIGALRM, &watchdog, nullptr);

    char work_template[] = "/tmp/tavrel-bench-XXXXXX";
    const char* made = mkdtemp(work_template);
    if (made == nullptr) {
        perror("mkdtemp");
        return 1;
    }
    const std::string work_dir = made;

    const uint32_t data_size = static_cast<uint32_t>(options.mib * 1024 * 1024);
    const Tape tape = make_tape(work_dir + "/bench.tap", data_size);
    const double tape_seconds = static_cast<double>(tape.cycles) / kTapeClockHz;
    const double mib = static_cast<double>(tape.bytes.size()) / (1024.0 * 1024.0);
    const std::string load_before = load_average();
    if (options.heap_only) {
        const bool clean = heap_step(options, tape, work_dir);
        remove_work_dir(options, work_dir);
        return clean ? 0 : 1;
    }

    // Slot 0 is the player, slot 1 the bare responder, slot 2 the bare
    // responder answering at once, then any variants of the player (other
    // builds, to compare designs under the same load).
    std::vector<Responder> responders = standard_responders(options);
    for (const auto& [name, path] : options.variants) {
        responders.push_back({name, {}, path, "", "", {}, false});
    }
    const size_t count = responders.size();
    std::vector<Series> series(count);
    bool all_ok = true;
    for (int round = 0; round < options.rounds && all_ok; ++round) {
        for (size_t turn = 0; turn < count && all_ok; ++turn) {
            // Rotate who goes first, so none always meets the same load.
            const size_t which = (static_cast<size_t>(round) + turn) % count;
            const Outcome o = play(responders[which], tape, work_dir);
            Series& line = series[which];
            if (!o.ok) {
                printf("%s: playback failed: %s\n", responders[which].name.c_str(), o.error.c_str());
                all_ok = false;
                break;
            }
            line.rate.push_back(static_cast<double>(o.requests) / o.seconds);
            line.cpu.push_back(o.cpu_seconds / mib);
            line.peak_rss_kib = std::max(line.peak_rss_kib, o.peak_rss_kib);
            line.max_rss_kib = std::max(line.max_rss_kib, o.max_rss_kib);
            if (responders[which].is_bare) continue;
            line.time_lines = count_time_lines(o.out);
            const std::string problem = player_output_problem(o, tape);
            if (!problem.empty()) {
                printf("%s: console output wrong: %s\n", responders[which].name.c_str(),
                       problem.c_str());
                all_ok = false;
            }
        }
    }
    if (!all_ok) {
        remove_work_dir(options, work_dir);
        return 1;
    }

    printf("tape: %.2f MiB, %u data blocks, %.1f s of tape time; %d alternating rounds; "
           "load average %s before, %s after\n",
           mib, (data_size + kBlockSize - 1) / kBlockSize, tape_seconds, options.rounds,
           load_before.c_str(), load_average().c_str());
    printf("| responder | requests/s | us/request | CPU s/MiB | peak RSS KiB | rate / bare | "
           "CPU / bare | best requests/s | least CPU s/MiB | best rate / bare | least CPU / "
           "bare |\n");
    printf("|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|\n");
    std::vector<Ratios> to_bare(count);
    for (size_t i = 0; i < count; ++i) {
        to_bare[i] = paired_ratios(series[i], series[1]);
        const double rate = median(series[i].rate);
        // Load only ever slows a run down, so the best round is the closest
        // to what the code itself costs.
        const double best = *std::max_element(series[i].rate.begin(), series[i].rate.end());
        const double least = *std::min_element(series[i].cpu.begin(), series[i].cpu.end());
        const double bare_best = *std::max_element(series[1].rate.begin(), series[1].rate.end());
        const double bare_least = *std::min_element(series[1].cpu.begin(), series[1].cpu.end());
        printf("| %s | %.0f | %.2f | %.4f | %ld | %.3f | %.3f | %.0f | %.4f | %.3f | %.3f |\n",
               responders[i].name.c_str(), rate, 1e6 / rate, median(series[i].cpu),
               series[i].peak_rss_kib, to_bare[i].rate, to_bare[i].cpu, best, least,
               best / bare_best, least / bare_least);
    }
    printf("ratios to bare: median of the per-round ratios (each round runs all back to back)\n");
    printf("goals (medians): request rate >= 0.9 of bare: %s; CPU per MiB <= 1.2 of bare: %s\n",
           to_bare[0].rate >= 0.9 ? "met" : "NOT met", to_bare[0].cpu <= 1.2 ? "met" : "NOT met");
    // The same two figures against the bare responder that skips the quiet
    // spell: what the protocol's timing costs here, on top of the loop.
    const Ratios to_at_once = paired_ratios(series[0], series[2]);
    printf("player against the %s (medians): request rate %.3f, CPU per MiB %.3f\n",
           kAtOnceName, to_at_once.rate, to_at_once.cpu);
    for (size_t i = 0; i < count; ++i) {
        printf("rounds, %s: requests/s", responders[i].name.c_str());
        for (double r : series[i].rate) printf(" %.0f", r);
        printf("; CPU ms/MiB");
        for (double c : series[i].cpu) printf(" %.0f", c * 1000);
        printf("\n");
    }
    printf("peak RSS is VmHWM after exec; ru_maxrss from wait4 also counts the forked bench "
           "image: player %ld KiB, bare %ld KiB\n",
           series[0].max_rss_kib, series[1].max_rss_kib);
    printf("time lines: %zu for %.1f s of tape time = %.3f per tape second\n",
           series[0].time_lines, tape_seconds,
           static_cast<double>(series[0].time_lines) / tape_seconds);

    bool heap_ok = true;
    if (!options.alloc_counter.empty()) heap_ok = heap_step(options, tape, work_dir);
    if (!options.strace.empty()) profile_step(options, work_dir);
    if (!options.perf.empty()) perf_step(options, tape, work_dir);
    remove_work_dir(options, work_dir);
    return heap_ok ? 0 : 1;
}
