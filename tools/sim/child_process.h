// The player that --run starts: spawned with its own stdin, stdout and
// stderr untouched, watched through a descriptor that turns readable when
// it exits, and never waited for without a limit.
#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

#include "sim_clock.h"

struct ChildProcess {
    pid_t pid = -1;
    bool reaped = false;
    int exit_code = 0;  // the exit status, or 128 + signal number
};

// Every occurrence of `token` in each argument is replaced by `value`.
std::vector<std::string> substitute_token(const std::vector<std::string>& args,
                                          const std::string& token, const std::string& value);

// Starts `args` (looked up on PATH when it has no slash). False with a
// one-line reason in `error`.
bool spawn_child(const std::vector<std::string>& args, ChildProcess* child, std::string* error);

// Readable once any child has exited; -1 before the first spawn.
int child_exit_fd();

// Reaps the child if it has exited; true once it has.
bool child_has_exited(ChildProcess* child);

// Waits until `deadline` for the child to exit. If it has not, it is
// terminated (and killed if it ignores that) and false is returned.
bool wait_child(ChildProcess* child, SimClock::time_point deadline);
