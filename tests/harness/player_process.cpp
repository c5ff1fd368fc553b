#include "harness/player_process.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>

#include <fcntl.h>
#include <poll.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

std::string env_or(const char* name, const std::string& fallback) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0' ? std::string(value) : fallback;
}

double seconds_of(const timeval& tv) {
    return static_cast<double>(tv.tv_sec) + static_cast<double>(tv.tv_usec) / 1e6;
}

}  // namespace

std::string banner_text() {
    return "Tavrel play utility, rel 1.3\nCommunicates with a Tavrel device to play TAP files\n\n";
}

std::string usage_text(const std::string& program) {
    return "Usage: " + program +
           " [options] <virtual serial port> <file>\n"
           "\n"
           "Options:\n"
           "  -i <index file>\n"
           "  -p <position in index file (default is 0)>\n"
           "\n"
           "Examples:\n"
           "  " +
           program + " COM9 Vendetta.tap\n";
}

std::string player_path() { return env_or("TAVREL_PLAYER", TAVREL_PLAY_PATH); }

bool player_under_launcher() { return !env_or("TAVREL_PLAYER_LAUNCHER", "").empty(); }

std::string as_native_text(const std::string& text) {
    if (!player_under_launcher()) return text;
    // The Windows runtime ends every line with CR LF; a lone CR (the time
    // line's) stays as it is.
    std::string native;
    native.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
        native += text[i];
    }
    return native;
}

std::string sim_path() {
#ifdef TAVREL_SIM_PATH
    return TAVREL_SIM_PATH;
#else
    return "";
#endif
}

std::string toolbox_path() {
#ifdef TAVREL_TOOLBOX_PATH
    return env_or("TAVREL_TOOLBOX", TAVREL_TOOLBOX_PATH);
#else
    return env_or("TAVREL_TOOLBOX", "");
#endif
}

bool toolbox_under_launcher() {
    return player_under_launcher() && !env_or("TAVREL_TOOLBOX", "").empty();
}

PlayerProcess::PlayerProcess(const std::vector<std::string>& args, const std::string& program,
                             PlayerStdout stdout_mode) {
    std::vector<std::string> argv;
    if (program.empty()) {
        const std::string launcher = env_or("TAVREL_PLAYER_LAUNCHER", "");
        if (!launcher.empty()) argv.push_back(launcher);
        argv.push_back(player_path());
    } else {
        // The toolbox runs where the player runs: under Wine too.
        if (program == toolbox_path() && toolbox_under_launcher()) {
            argv.push_back(env_or("TAVREL_PLAYER_LAUNCHER", ""));
        }
        argv.push_back(program);
    }
    argv.insert(argv.end(), args.begin(), args.end());

    int out_pipe[2];
    int err_pipe[2];
    if (pipe2(out_pipe, O_CLOEXEC) != 0 || pipe2(err_pipe, O_CLOEXEC) != 0) {
        ADD_FAILURE() << "pipe failed";
        return;
    }
    pid_ = fork();
    if (pid_ == 0) {
        dup2(out_pipe[1], STDOUT_FILENO);
        dup2(err_pipe[1], STDERR_FILENO);
        signal(SIGPIPE, SIG_DFL);
        int null_in = open("/dev/null", O_RDONLY);
        if (null_in >= 0) dup2(null_in, STDIN_FILENO);
        // Last, so that no descriptor opened here takes its place.
        if (stdout_mode == PlayerStdout::kClosed) close(STDOUT_FILENO);
        std::vector<char*> raw;
        for (auto& a : argv) raw.push_back(a.data());
        raw.push_back(nullptr);
        execvp(raw[0], raw.data());
        _exit(127);
    }
    close(out_pipe[1]);
    close(err_pipe[1]);
    if (stdout_mode == PlayerStdout::kBrokenPipe) {
        close(out_pipe[0]);  // the child's copy goes at exec: nobody reads
    } else {
        out_reader_ = std::thread([this, fd = out_pipe[0]] { collect(fd, &result_.out); });
    }
    err_reader_ = std::thread([this, fd = err_pipe[0]] { collect(fd, &result_.err); });
}

PlayerProcess::~PlayerProcess() {
    if (pid_ > 0 && !reaped_) stop(SIGKILL);
    if (out_reader_.joinable()) out_reader_.join();
    if (err_reader_.joinable()) err_reader_.join();
}

void PlayerProcess::collect(int fd, std::string* sink) {
    char buffer[4096];
    // A grandchild that keeps the pipe open (Wine's server does) must not
    // keep us waiting: once the player has ended, read what is there and go.
    for (;;) {
        pollfd entry{fd, POLLIN, 0};
        int rc = poll(&entry, 1, 100);
        if (rc < 0 && errno == EINTR) continue;
        if (rc == 0) {
            if (finished_) break;
            continue;
        }
        ssize_t n = read(fd, buffer, sizeof(buffer));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        std::lock_guard<std::mutex> lock(mutex_);
        sink->append(buffer, static_cast<size_t>(n));
    }
    close(fd);
}

std::string PlayerProcess::out_so_far() {
    std::lock_guard<std::mutex> lock(mutex_);
    return as_native_text(result_.out);
}

std::string PlayerProcess::err_so_far() {
    std::lock_guard<std::mutex> lock(mutex_);
    return as_native_text(result_.err);
}

bool PlayerProcess::running() {
    if (pid_ <= 0 || reaped_) return false;
    siginfo_t info{};
    if (waitid(P_PID, static_cast<id_t>(pid_), &info, WEXITED | WNOHANG | WNOWAIT) != 0) {
        return false;
    }
    return info.si_pid == 0;
}

bool PlayerProcess::ended_within(int timeout_ms) {
    const auto deadline = std::chrono::steady_clock::now() +
                          std::chrono::milliseconds(static_cast<int64_t>(timeout_ms));
    while (running()) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        usleep(2000);
    }
    return true;
}

PlayerResult PlayerProcess::wait(int timeout_ms) {
    if (pid_ <= 0 || reaped_) return native_result();
    const auto deadline = std::chrono::steady_clock::now() +
                          std::chrono::milliseconds(static_cast<int64_t>(timeout_ms));
    int status = 0;
    rusage usage{};
    for (;;) {
        pid_t done = wait4(pid_, &status, WNOHANG, &usage);
        if (done == pid_) break;
        if (std::chrono::steady_clock::now() >= deadline) {
            result_.timed_out = true;
            kill(pid_, SIGKILL);
            wait4(pid_, &status, 0, &usage);
            break;
        }
        usleep(5000);
    }
    reaped_ = true;
    finished_ = true;
    result_.cpu_seconds = seconds_of(usage.ru_utime) + seconds_of(usage.ru_stime);
    if (WIFEXITED(status)) {
        result_.exit_status = WEXITSTATUS(status);
    } else if (WIFSIGNALED(status)) {
        result_.signal = WTERMSIG(status);
    }
    if (out_reader_.joinable()) out_reader_.join();
    if (err_reader_.joinable()) err_reader_.join();
    return native_result();
}

PlayerResult PlayerProcess::native_result() {
    std::lock_guard<std::mutex> lock(mutex_);
    PlayerResult native = result_;
    native.out = as_native_text(native.out);
    native.err = as_native_text(native.err);
    return native;
}

PlayerResult PlayerProcess::stop(int sig) {
    if (pid_ > 0 && !reaped_) kill(pid_, sig);
    return wait(10000);
}

PlayerResult run_player(const std::vector<std::string>& args, int timeout_ms) {
    PlayerProcess player(args);
    return player.wait(timeout_ms);
}
