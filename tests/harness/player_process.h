// Runs the real tavrel-play binary (or, under Wine, the .exe through the
// launcher named in TAVREL_PLAYER_LAUNCHER) and captures its streams.
#pragma once

#include <sys/types.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct PlayerResult {
    int exit_status = -1;  // -1 when killed by a signal
    int signal = 0;
    bool timed_out = false;
    std::string out;
    std::string err;
    double cpu_seconds = 0;  // user + system of the process and its children
};

// Where the child's standard output goes.
enum class PlayerStdout {
    kCaptured,    // a pipe read into PlayerResult::out
    kClosed,      // descriptor 1 closed in the child
    kBrokenPipe,  // a pipe whose reader is gone before the child starts
};

class PlayerProcess {
public:
    // Starts `program` (the player when empty) with `args`. The child starts
    // with SIGPIPE at its default, whatever the test runner has set.
    explicit PlayerProcess(const std::vector<std::string>& args, const std::string& program = "",
                           PlayerStdout stdout_mode = PlayerStdout::kCaptured);
    ~PlayerProcess();
    PlayerProcess(const PlayerProcess&) = delete;
    PlayerProcess& operator=(const PlayerProcess&) = delete;

    // Waits for the end; after `timeout_ms` the process is killed and the
    // result says so.
    PlayerResult wait(int timeout_ms = 30000);
    // Sends a signal and waits.
    PlayerResult stop(int sig);
    bool running();
    // Waits until the process has ended, leaving it to wait() to collect;
    // false if it still runs after `timeout_ms`.
    bool ended_within(int timeout_ms);
    pid_t pid() const { return pid_; }
    std::string out_so_far();
    std::string err_so_far();

private:
    PlayerResult native_result();
    void collect(int fd, std::string* sink);
    pid_t pid_ = -1;
    bool reaped_ = false;
    std::atomic<bool> finished_{false};
    PlayerResult result_;
    std::mutex mutex_;
    std::thread out_reader_;
    std::thread err_reader_;
};

// Runs the player to its end with no device attached.
PlayerResult run_player(const std::vector<std::string>& args, int timeout_ms = 30000);

// The banner that starts every run, and the usage text naming `program`.
std::string banner_text();
std::string usage_text(const std::string& program);

// The player's path and whether it runs through a launcher (Wine).
std::string player_path();
bool player_under_launcher();

// The player's output with Windows line ends turned into line feeds when it
// runs under a launcher; unchanged otherwise.
std::string as_native_text(const std::string& text);

// Path of a program of the build other than the player (the simulator,
// the toolbox `tavrel`), or empty.
std::string sim_path();
std::string toolbox_path();
// The toolbox is the Windows build's, run through the player's launcher.
bool toolbox_under_launcher();
