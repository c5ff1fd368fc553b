#include "child_process.h"

#include <cerrno>
#include <csignal>
#include <cstring>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

// Self-pipe: the SIGCHLD handler writes a byte, so that every wait in the
// simulator can poll for the child's end alongside its own descriptor.
int g_exit_pipe[2] = {-1, -1};

void on_child_signal(int) {
    const int saved = errno;
    const char byte = 0;
    // Full pipe or not: the read end is readable either way.
    if (write(g_exit_pipe[1], &byte, 1) < 0) {
    }
    errno = saved;
}

bool install_exit_pipe(std::string* error) {
    if (g_exit_pipe[0] >= 0) return true;
    if (pipe(g_exit_pipe) != 0) {
        *error = "cannot create a pipe";
        return false;
    }
    for (int fd : g_exit_pipe) {
        fcntl(fd, F_SETFD, FD_CLOEXEC);
        fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
    }
    struct sigaction action {};
    action.sa_handler = on_child_signal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART | SA_NOCLDSTOP;
    if (sigaction(SIGCHLD, &action, nullptr) != 0) {
        *error = "cannot watch for the player's exit";
        return false;
    }
    return true;
}

int decode_status(int status) {
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
    return 1;
}

}  // namespace

std::vector<std::string> substitute_token(const std::vector<std::string>& args,
                                          const std::string& token, const std::string& value) {
    std::vector<std::string> result;
    for (std::string arg : args) {
        for (size_t at = arg.find(token); at != std::string::npos;
             at = arg.find(token, at + value.size())) {
            arg.replace(at, token.size(), value);
        }
        result.push_back(arg);
    }
    return result;
}

bool spawn_child(const std::vector<std::string>& args, ChildProcess* child, std::string* error) {
    if (args.empty()) {
        *error = "no command to run";
        return false;
    }
    if (!install_exit_pipe(error)) return false;
    std::vector<char*> argv;
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    pid_t pid = -1;
    const int rc = posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ);
    if (rc != 0) {
        *error = "cannot run " + args[0] + ": " + strerror(rc);
        return false;
    }
    child->pid = pid;
    child->reaped = false;
    return true;
}

int child_exit_fd() { return g_exit_pipe[0]; }

bool child_has_exited(ChildProcess* child) {
    if (child->reaped) return true;
    if (child->pid < 0) return false;
    int status = 0;
    pid_t done;
    do {
        done = waitpid(child->pid, &status, WNOHANG);
    } while (done < 0 && errno == EINTR);
    if (done != child->pid) return false;
    child->reaped = true;
    child->exit_code = decode_status(status);
    return true;
}

namespace {

bool wait_for_exit(ChildProcess* child, SimClock::time_point deadline) {
    for (;;) {
        if (child_has_exited(child)) return true;
        // Empty the pipe first, so that the wait below sleeps until the next
        // exit rather than waking on an old one.
        char sink[64];
        while (read(g_exit_pipe[0], sink, sizeof(sink)) > 0) {
        }
        if (child_has_exited(child)) return true;
        if (ms_until(deadline) == 0) return false;
        wait_until(deadline, g_exit_pipe[0]);
    }
}

}  // namespace

bool wait_child(ChildProcess* child, SimClock::time_point deadline) {
    if (wait_for_exit(child, deadline)) return true;
    kill(child->pid, SIGTERM);
    if (!wait_for_exit(child, deadline_after_ms(1000))) {
        kill(child->pid, SIGKILL);
        wait_for_exit(child, deadline_after_ms(5000));
    }
    return false;
}
