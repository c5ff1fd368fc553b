// Throughput benchmark: a fast device on the master side of a pseudo-terminal
// drives the player and a bare reference responder in alternating rounds
// over the same synthetic tape, checking every byte it receives. The bare
// responder runs twice per round: answering the prompt after the same quiet
// spell as the player (the yardstick), and at once (to show what that
// spell's aftermath costs on this machine).
//
// With --toolbox, `tavrel play` joins the same rounds, its output read
// through a pipe as a script would read it; two more runs, paced by the
// device, count its plain lines on a pipe and its status line's redraws on
// a pseudo-terminal.
//
// Optional steps: an allocation count of one playback (with the
// alloc_counter preload library) and the system calls per request (with
// strace, call by call, and with perf's counters, undisturbed).
//
// Usage: tavrel-bench --player PATH --bare PATH [--toolbox PATH] [--alloc-counter LIB]
//                     [--strace PATH] [--perf PATH] [--mib N] [--rounds N] [--quick]
//                     [--heap-only] [--keep] [--variant NAME=PATH]...
//                     [--toolbox-variant NAME=PATH]... [--pin CPU]
// A variant is another build of the player, measured in the same rounds; a
// toolbox variant another build of tavrel.
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
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sched.h>
#include <sys/ioctl.h>
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
constexpr const char* kToolboxName = "tavrel play";
// The console of the terminal run, and how long the device of the paced
// runs takes to ask for the whole tape: long enough for a few dozen
// redraws and a few plain lines.
constexpr unsigned short kTerminalColumns = 100;
constexpr unsigned short kTerminalRows = 30;
constexpr double kPacedSeconds = 4.0;
constexpr double kQuickPacedSeconds = 1.5;

struct Options {
    std::string player;
    std::string bare;
    std::string toolbox;  // tavrel, whose play command joins the rounds
    std::string alloc_counter;
    std::string strace;
    std::string perf;
    // Many short rounds rather than a few long ones: on a shared machine the
    // load drifts, and the paired ratios of neighbouring runs follow it.
    double mib = 2.0;
    int rounds = 15;
    bool quick = false;
    bool keep = false;  // leave the scratch folder (tape, outputs, strace log)
    bool heap_only = false;  // only the allocation count, as a quick check
    std::vector<std::pair<std::string, std::string>> variants;  // name, path
    std::vector<std::pair<std::string, std::string>> toolbox_variants;  // builds of tavrel
};

// One responder's measurements, one entry per round.
struct Series {
    std::vector<double> rate;  // requests per second
    std::vector<double> cpu;  // CPU seconds per MiB
    std::vector<double> serving_cpu;  // the same while serving only
    long peak_rss_kib = 0;
    long max_rss_kib = 0;
    size_t time_lines = 0;
    std::vector<double> startup;  // seconds from the start to the play command
    // tavrel play: the gaps between its plain progress lines, all rounds.
    std::vector<double> progress_gaps;
    size_t progress_lines = 0;
    double serving_seconds = 0;
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

// What a responder prints, and so how its console is taken and checked.
enum class Console {
    kTimeLines,  // tavrel-play: time lines into a file
    kNone,       // the bare responder: nothing to check
    kStatus,     // tavrel play: read through a pipe (or a terminal), time-stamped
};

struct Responder {
    std::string name;
    std::vector<std::string> prefix;  // e.g. strace and its options
    std::string program;
    std::string preload;  // LD_PRELOAD value, or empty
    std::string alloc_report;
    std::vector<std::string> arguments;  // before the port and the tape
    Console console = Console::kTimeLines;
};

// How the device runs one playback.
struct DeviceSetup {
    uint32_t depth = 1;  // requests sent before their blocks are read
    double pace_seconds = 0;  // spread the data requests over this long (0: flat out)
    bool terminal = false;  // a kStatus responder's console is a pseudo-terminal
};

// A piece of console output and when the bench read it.
struct Chunk {
    size_t at = 0;  // offset into the captured text
    double time = 0;
};

struct Outcome {
    bool ok = false;
    std::string error;
    uint64_t requests = 0;
    double seconds = 0;  // from the first request to the last block received
    double cpu_seconds = 0;  // user + system of the responder
    double serving_cpu_seconds = 0;  // its main thread's, from the header request to the last block
    long peak_rss_kib = 0;  // VmHWM of the responder's own image
    long max_rss_kib = 0;  // ru_maxrss: also counts the bench's image before exec
    double startup_seconds = 0;  // from the fork to the play command's arrival
    double served_from = 0;  // clock time of the header request
    double served_until = 0;  // clock time the last block arrived
    std::string port;
    std::string out;
    std::vector<Chunk> chunks;  // kStatus: when each piece of `out` was read
};

void on_watchdog(int) {}

double now_seconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

double cpu_seconds_of(const rusage& usage) {
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
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

// CPU time of a process's main thread so far, in nanoseconds, finer than
// rusage's ticks: the first figure of its schedstat.
double cpu_seconds_so_far(pid_t pid) {
    return atof(read_file("/proc/" + std::to_string(pid) + "/schedstat").c_str()) / 1e9;
}

long high_water_kib(pid_t pid) {
    const std::string status = read_file("/proc/" + std::to_string(pid) + "/status");
    const size_t at = status.find("VmHWM:");
    return at == std::string::npos ? 0 : atol(status.c_str() + at + 6);
}

// --pin: every responder runs on this one CPU, which takes the scheduler's
// placement of its wake-ups out of the comparison.
int pinned_cpu = -1;

// The responder's standard output goes to `out_fd` when that is open,
// otherwise to the file at `out_path`.
pid_t spawn(const Responder& responder, const std::string& port, const Tape& tape,
            const std::string& out_path, int out_fd, const std::string& err_path) {
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
    int out = out_fd >= 0 ? out_fd : open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
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

// Reads a responder's console while it runs, noting when each piece came,
// so that the gaps between its progress lines can be measured. A thread of
// its own, since the device's loop blocks on the port.
class ConsoleCapture {
public:
    // Takes over `fd`: a pipe's read end or a pseudo-terminal's master.
    explicit ConsoleCapture(int fd) : fd_(fd) {
        // The watchdog's alarm must interrupt the device's reads, not this
        // thread's: the thread starts with the alarm blocked.
        sigset_t alarm_only, before;
        sigemptyset(&alarm_only);
        sigaddset(&alarm_only, SIGALRM);
        pthread_sigmask(SIG_BLOCK, &alarm_only, &before);
        reader_ = std::thread([this] { read_all(); });
        pthread_sigmask(SIG_SETMASK, &before, nullptr);
    }
    ~ConsoleCapture() { finish(); }
    ConsoleCapture(const ConsoleCapture&) = delete;
    ConsoleCapture& operator=(const ConsoleCapture&) = delete;

    // Waits for the end of the output (the responder has ended).
    void finish() {
        if (reader_.joinable()) reader_.join();
        if (fd_ >= 0) close(fd_);
        fd_ = -1;
    }
    const std::string& text() const { return text_; }
    const std::vector<Chunk>& chunks() const { return chunks_; }

private:
    void read_all() {
        char buffer[4096];
        for (;;) {
            const ssize_t got = read(fd_, buffer, sizeof buffer);
            if (got < 0 && errno == EINTR) continue;
            if (got <= 0) return;  // end of the pipe; EIO once a terminal's last user is gone
            chunks_.push_back({text_.size(), now_seconds()});
            text_.append(buffer, static_cast<size_t>(got));
        }
    }

    int fd_;
    std::string text_;
    std::vector<Chunk> chunks_;
    std::thread reader_;
};

// Where the responder's console goes: a pipe, or for the terminal run the
// slave of a second pseudo-terminal with a window size. Returns the end
// the responder writes to (-1: a file, as before) and sets `read_end`.
int open_console(const Responder& responder, const DeviceSetup& setup, int* read_end) {
    *read_end = -1;
    if (responder.console != Console::kStatus) return -1;
    if (!setup.terminal) {
        int ends[2];
        if (pipe2(ends, O_CLOEXEC) != 0) return -1;
        *read_end = ends[0];
        return ends[1];
    }
    int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) {
        if (master >= 0) close(master);
        return -1;
    }
    winsize size{};
    size.ws_col = kTerminalColumns;
    size.ws_row = kTerminalRows;
    ioctl(master, TIOCSWINSZ, &size);
    const int slave = open(ptsname(master), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slave < 0) {
        close(master);
        return -1;
    }
    *read_end = master;
    return slave;
}

// Plays the device: prompt, echo, the header, then every data block back to
// back, `setup.depth` requests sent before their blocks are read (1:
// strictly one at a time), then the success notice.
Outcome play(const Responder& responder, const Tape& tape, const std::string& work_dir,
             const DeviceSetup& setup = {}) {
    const uint32_t depth = setup.depth;
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

    outcome.port = port;

    const std::string out_path = work_dir + "/" + responder.name + ".out";
    const std::string err_path = work_dir + "/" + responder.name + ".err";
    int console_read = -1;
    const int console_write = open_console(responder, setup, &console_read);
    if (responder.console == Console::kStatus && console_write < 0) {
        outcome.error = "cannot make the console";
        close(slave);
        close(master);
        return outcome;
    }
    const double spawned = now_seconds();
    const pid_t pid = spawn(responder, port, tape, out_path, console_write, err_path);
    std::optional<ConsoleCapture> capture;
    if (console_write >= 0) {
        close(console_write);
        capture.emplace(console_read);
    }
    alarm(kWatchdogSeconds);

    const uint8_t* file = tape.bytes.data();
    const uint32_t size = static_cast<uint32_t>(tape.bytes.size());
    std::vector<uint8_t> got(kBlockSize * std::max<uint32_t>(depth, 1) + kHeaderSize);
    static const char kGreeting[] = "Tavrel bench device\r\n> ";
    bool ok = put_all(master, kGreeting, sizeof kGreeting - 1);
    ok = ok && get_all(master, got.data(), 2) && memcmp(got.data(), "p\r", 2) == 0;
    outcome.startup_seconds = now_seconds() - spawned;
    ok = ok && put_all(master, "p\r\n", 3);
    if (!ok) outcome.error = "handshake failed";

    const double cpu_before = cpu_seconds_so_far(pid);
    const double start = now_seconds();
    const double data_size = static_cast<double>(size - kHeaderSize);
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
        if (setup.pace_seconds > 0) {
            // Ahead of the schedule: wait, so the run lasts as long as asked.
            const double due = start + setup.pace_seconds * (offset - kHeaderSize) / data_size;
            const double early = due - now_seconds();
            if (early > 0.001) usleep(static_cast<useconds_t>(early * 1e6));
        }
    }
    outcome.served_from = start;
    outcome.served_until = now_seconds();
    outcome.seconds = outcome.served_until - start;
    outcome.serving_cpu_seconds = cpu_seconds_so_far(pid) - cpu_before;
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
    if (capture) {
        capture->finish();
        outcome.out = capture->text();
        outcome.chunks = capture->chunks();
        // Kept with the other outputs, for a look with --keep.
        std::ofstream(out_path, std::ios::binary) << outcome.out;
    }

    outcome.cpu_seconds = cpu_seconds_of(usage);
    outcome.max_rss_kib = usage.ru_maxrss;
    if (responder.console != Console::kStatus) outcome.out = read_file(out_path);
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

// ---- Checks on tavrel play's console output -------------------------------

// One progress line and when the bench read it.
struct ProgressLine {
    size_t at = 0;
    size_t length = 0;  // terminal: up to the next carriage return
    double time = 0;
};

double time_read(const Outcome& outcome, size_t at) {
    double time = 0;
    for (const Chunk& chunk : outcome.chunks) {
        if (chunk.at > at) break;
        time = chunk.time;
    }
    return time;
}

// On a pipe the plain lines ("  7%  0:41 / 24:03 ..."); on a terminal every
// redraw: a carriage return and the line (a line end there reads "\r\n",
// the terminal's own output processing).
std::vector<ProgressLine> progress_lines(const Outcome& outcome, bool terminal) {
    const std::string& out = outcome.out;
    std::vector<ProgressLine> lines;
    if (terminal) {
        for (size_t at = out.find('\r'); at != std::string::npos;) {
            const size_t next = out.find('\r', at + 1);
            if (at + 1 < out.size() && out[at + 1] != '\n') {
                const size_t end = next == std::string::npos ? out.size() : next;
                lines.push_back({at, end - at - 1, time_read(outcome, at)});
            }
            at = next;
        }
        return lines;
    }
    for (size_t at = 0; at < out.size();) {
        size_t end = out.find('\n', at);
        if (end == std::string::npos) end = out.size();
        const std::string line = out.substr(at, end - at);
        const bool percent = line.size() >= 4 && line[3] == '%' &&
                             line.find_first_not_of(" 0123456789") == 3 && line[2] != ' ';
        if (percent) lines.push_back({at, line.size(), time_read(outcome, at)});
        at = end + 1;
    }
    return lines;
}

// The gaps between the progress lines shown while serving. The last line
// is left out: it is the closing one, drawn as the playback ends, whenever
// the count changed since the line before.
std::vector<double> progress_gaps(const std::vector<ProgressLine>& lines) {
    std::vector<double> gaps;
    for (size_t i = 1; i + 1 < lines.size(); ++i) gaps.push_back(lines[i].time - lines[i - 1].time);
    return gaps;
}

// The playback must end with the device's success notice and the count of
// data bytes, as the classic player says it.
std::string status_output_problem(const Outcome& outcome, const Tape& tape) {
    const std::string success = "Success condition received from " + outcome.port + ", " +
                                std::to_string(tape.bytes.size() - kHeaderSize) + " bytes sent";
    if (outcome.out.find(success) == std::string::npos) return "no line \"" + success + "\"";
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
// the same quiet spell as the player), the bare responder answering the
// prompt at once, and `tavrel play` when the toolbox is given.
std::vector<Responder> standard_responders(const Options& options) {
    std::vector<Responder> responders{
        {"tavrel-play", {}, options.player, "", "", {}, Console::kTimeLines},
        {"bare responder", {}, options.bare, "", "", {}, Console::kNone},
        {kAtOnceName, {}, options.bare, "", "", {"--at-once"}, Console::kNone}};
    if (!options.toolbox.empty()) {
        responders.push_back(
            {kToolboxName, {}, options.toolbox, "", "", {"play", "--port"}, Console::kStatus});
    }
    return responders;
}

// The slot of `tavrel play` in standard_responders.
constexpr size_t kToolboxSlot = 3;

// Each round runs all responders back to back, so a ratio within a round
// sees one load; the medians of those ratios are the figures compared.
struct Ratios {
    double rate = 0;
    double cpu = 0;
    double serving_cpu = 0;
};

Ratios paired_ratios(const Series& measured, const Series& reference) {
    std::vector<double> rates, cpus, serving_cpus;
    for (size_t r = 0; r < measured.rate.size(); ++r) {
        rates.push_back(measured.rate[r] / reference.rate[r]);
        cpus.push_back(measured.cpu[r] / reference.cpu[r]);
        serving_cpus.push_back(measured.serving_cpu[r] / reference.serving_cpu[r]);
    }
    return {median(rates), median(cpus), median(serving_cpus)};
}

bool heap_step(const Options& options, const Tape& tape, const std::string& work_dir) {
    Responder counted{"player-heap", {}, options.player, options.alloc_counter,
                      work_dir + "/alloc-report.txt", {}, Console::kTimeLines};
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
                         options.player, "", "", {}, Console::kTimeLines};
        DeviceSetup setup;
        setup.depth = depth;
        const Outcome outcome = play(traced, tape, work_dir, setup);
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

// ---- tavrel play ----------------------------------------------------------

// Runs a program to its end, its output discarded; false unless it exits 0.
bool run_to_end(std::vector<std::string> words, double* wall_seconds, double* cpu_seconds) {
    std::vector<char*> argv;
    for (std::string& w : words) argv.push_back(w.data());
    argv.push_back(nullptr);
    const double start = now_seconds();
    const pid_t pid = fork();
    if (pid == 0) {
        const int null = open("/dev/null", O_WRONLY);
        if (null < 0) _exit(127);
        dup2(null, 1);
        dup2(null, 2);
        execv(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    if (pid < 0 || wait4(pid, &status, 0, &usage) < 0) return false;
    *wall_seconds = now_seconds() - start;
    *cpu_seconds = cpu_seconds_of(usage);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// "0.99 (one per gap between lines; 14 gaps, mean 1.010 s, shortest 1.000 s)"
std::string gap_summary(const std::vector<double>& gaps, double unit, const char* unit_name) {
    if (gaps.empty()) return "not measured: no two progress lines within one run";
    double total = 0;
    for (double gap : gaps) total += gap;
    const int decimals = unit >= 1000 ? 1 : 3;
    char text[160];
    snprintf(text, sizeof text, "%.2f (one per gap between lines; %zu %s, mean %.*f %s, shortest %.*f %s)",
             static_cast<double>(gaps.size()) / total, gaps.size(), gaps.size() == 1 ? "gap" : "gaps",
             decimals, total / static_cast<double>(gaps.size()) * unit, unit_name, decimals,
             *std::min_element(gaps.begin(), gaps.end()) * unit, unit_name);
    return text;
}

// What the rounds say about `tavrel play` next to tavrel-play.
void toolbox_summary(const std::vector<Responder>& responders, const std::vector<Series>& series) {
    for (size_t i = 0; i < responders.size(); ++i) {
        if (responders[i].console != Console::kStatus) continue;
        const Ratios to_player = paired_ratios(series[i], series[0]);
        printf("%s / tavrel-play (medians of the per-round ratios): request rate %.3f (goal: at "
               "least 0.95: %s), CPU per MiB %.3f, CPU while serving %.3f\n",
               responders[i].name.c_str(), to_player.rate, to_player.rate >= 0.95 ? "met" : "NOT met",
               to_player.cpu, to_player.serving_cpu);
    }
    const Series& toolbox = series[kToolboxSlot];
    printf("from the start to the play command (medians): tavrel-play %.0f ms, tavrel play %.0f ms; "
           "tavrel play catalogs the tape before it opens the port, so that pass is outside the "
           "request rate and inside its CPU\n",
           median(series[0].startup) * 1000, median(toolbox.startup) * 1000);
    if (!toolbox.progress_gaps.empty()) {
        printf("progress lines in the rounds, per second: %s; %zu lines in %.1f s of serving, "
               "with the first and the closing line of each round\n",
               gap_summary(toolbox.progress_gaps, 1, "s").c_str(), toolbox.progress_lines,
               toolbox.serving_seconds);
    }
}

// The catalog pass on its own: `tavrel info` on the same tape.
void catalog_step(const Options& options, const Tape& tape, double mib) {
    std::vector<double> walls, cpus;
    for (int run = 0; run < 3; ++run) {
        double wall = 0, cpu = 0;
        if (!run_to_end({options.toolbox, "info", tape.path}, &wall, &cpu)) {
            printf("catalog: tavrel info failed on the bench tape\n");
            return;
        }
        walls.push_back(wall);
        cpus.push_back(cpu);
    }
    printf("catalog pass alone (tavrel info on the same tape, median of 3 runs): %.0f ms, CPU "
           "%.0f ms = %.4f s/MiB\n",
           median(walls) * 1000, median(cpus) * 1000, median(cpus) / mib);
}

// One run of tavrel play with the device asking for the tape over
// `seconds`, long enough for its progress lines to follow their own pace
// (flat out, a round is over in well under a second). On a pipe: the
// plain lines, at most one a second. On a pseudo-terminal: how often the
// status line is redrawn, and whether every redraw is exactly as wide as
// the terminal allows.
bool paced_console_step(const Options& options, const Tape& tape, const std::string& work_dir,
                        double seconds, bool terminal) {
    Responder toolbox = standard_responders(options)[kToolboxSlot];
    toolbox.name += terminal ? " on a terminal" : " paced";
    DeviceSetup setup;
    setup.pace_seconds = seconds;
    setup.terminal = terminal;
    const Outcome outcome = play(toolbox, tape, work_dir, setup);
    std::string problem = outcome.ok ? status_output_problem(outcome, tape) : outcome.error;
    if (!problem.empty()) {
        printf("%s: playback failed: %s\n", toolbox.name.c_str(), problem.c_str());
        return false;
    }
    const std::vector<ProgressLine> lines = progress_lines(outcome, terminal);
    if (!terminal) {
        printf("progress lines per second: %s (goal: at most 1); tavrel play into a pipe, device "
               "paced to %.1f s: %zu lines in %.2f s of serving, with the first and the closing one\n",
               gap_summary(progress_gaps(lines), 1, "s").c_str(), seconds, lines.size(),
               outcome.seconds);
        return true;
    }
    size_t wrong_width = 0;
    for (const ProgressLine& line : lines) wrong_width += line.length != kTerminalColumns - 1u;
    printf("redraws per second: %s (goal: at most 10); tavrel play on a %ux%u pseudo-terminal, "
           "device paced to %.1f s: %zu redraws in %.2f s of serving, with the first and the "
           "closing one; %zu not exactly %u wide\n",
           gap_summary(progress_gaps(lines), 1000, "ms").c_str(), kTerminalColumns, kTerminalRows,
           seconds, lines.size(), outcome.seconds, wrong_width, kTerminalColumns - 1u);
    return true;
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
            options->quick = true;
        } else if (arg == "--heap-only") {
            options->heap_only = true;
        } else if (arg == "--variant" && has_value) {
            const std::string value = argv[++i];
            const size_t eq = value.find('=');
            if (eq == std::string::npos) return false;
            options->variants.emplace_back(value.substr(0, eq), value.substr(eq + 1));
        } else if (arg == "--toolbox-variant" && has_value) {
            const std::string value = argv[++i];
            const size_t eq = value.find('=');
            if (eq == std::string::npos) return false;
            options->toolbox_variants.emplace_back(value.substr(0, eq), value.substr(eq + 1));
        } else if (arg == "--pin" && has_value) {
            pinned_cpu = atoi(argv[++i]);
        } else if (arg == "--keep") {
            options->keep = true;
        } else if (arg == "--player" && has_value) {
            options->player = argv[++i];
        } else if (arg == "--bare" && has_value) {
            options->bare = argv[++i];
        } else if (arg == "--toolbox" && has_value) {
            options->toolbox = argv[++i];
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
                "usage: %s --player PATH --bare PATH [--toolbox PATH] [--alloc-counter LIB] [--strace PATH]\n"
                "          [--perf PATH]\n"
                "          [--mib N] [--rounds N] [--quick] [--heap-only] [--keep]\n"
                "          [--variant NAME=PATH]... [--toolbox-variant NAME=PATH]... [--pin CPU]\n",
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
    // responder answering at once, slot 3 `tavrel play` if given, then any
    // variants of the player (other builds, to compare designs under the
    // same load).
    std::vector<Responder> responders = standard_responders(options);
    for (const auto& [name, path] : options.variants) {
        responders.push_back({name, {}, path, "", "", {}, Console::kTimeLines});
    }
    for (const auto& [name, path] : options.toolbox_variants) {
        responders.push_back({name, {}, path, "", "", {"play", "--port"}, Console::kStatus});
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
            line.serving_cpu.push_back(o.serving_cpu_seconds / mib);
            line.peak_rss_kib = std::max(line.peak_rss_kib, o.peak_rss_kib);
            line.max_rss_kib = std::max(line.max_rss_kib, o.max_rss_kib);
            line.startup.push_back(o.startup_seconds);
            std::string problem;
            switch (responders[which].console) {
                case Console::kNone:
                    continue;
                case Console::kTimeLines:
                    line.time_lines = count_time_lines(o.out);
                    problem = player_output_problem(o, tape);
                    break;
                case Console::kStatus: {
                    const std::vector<ProgressLine> lines = progress_lines(o, false);
                    const std::vector<double> gaps = progress_gaps(lines);
                    line.progress_gaps.insert(line.progress_gaps.end(), gaps.begin(), gaps.end());
                    line.progress_lines += lines.size();
                    line.serving_seconds += o.seconds;
                    problem = status_output_problem(o, tape);
                    break;
                }
            }
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
    // Start-up (and tavrel play's catalog pass) left out: the loop's own cost.
    printf("CPU while serving (main thread, header request to last block), ms per MiB, medians:");
    for (size_t i = 0; i < count; ++i) {
        printf("%s %s %.1f", i == 0 ? "" : ";", responders[i].name.c_str(),
               median(series[i].serving_cpu) * 1000);
    }
    printf("\n");
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

    bool paced_ok = true;
    if (!options.toolbox.empty()) {
        toolbox_summary(responders, series);
        catalog_step(options, tape, mib);
        const double seconds = options.quick ? kQuickPacedSeconds : kPacedSeconds;
        for (bool terminal : {false, true}) {
            paced_ok = paced_console_step(options, tape, work_dir, seconds, terminal) && paced_ok;
        }
    }

    bool heap_ok = true;
    if (!options.alloc_counter.empty()) heap_ok = heap_step(options, tape, work_dir);
    if (!options.strace.empty()) profile_step(options, work_dir);
    if (!options.perf.empty()) perf_step(options, tape, work_dir);
    remove_work_dir(options, work_dir);
    return heap_ok && paced_ok ? 0 : 1;
}
