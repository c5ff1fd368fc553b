// tavrel-sim: a well-behaved Tavrel device on a pseudo-terminal, for trying
// tavrel-play without the hardware and for its end-to-end tests.
#include <cstdio>
#include <string>

#include <unistd.h>

#include "child_process.h"
#include "device_session.h"
#include "pty_pair.h"
#include "sim_options.h"
#include "tape_expectation.h"

namespace {

constexpr int kUsageStatus = 2;

void report(const std::string& text) { fprintf(stderr, "tavrel-sim: %s\n", text.c_str()); }

// Written to a temporary name and renamed, so a reader never sees half a path.
bool write_port_file(const std::string& path, const std::string& port) {
    const std::string temporary = path + ".tmp." + std::to_string(getpid());
    FILE* file = fopen(temporary.c_str(), "w");
    if (file == nullptr) return false;
    const bool written = fprintf(file, "%s\n", port.c_str()) > 0;
    if (fclose(file) != 0 || !written || rename(temporary.c_str(), path.c_str()) != 0) {
        remove(temporary.c_str());
        return false;
    }
    return true;
}

SessionSettings session_settings(const SimOptions& options, const TapeExpectation* expected) {
    SessionSettings settings;
    settings.startup_delay_ms = options.startup_delay_ms;
    settings.timeout_ms = options.timeout_ms;
    settings.pace = options.pace;
    settings.speed = options.speed;
    settings.send_failure = options.send_failure;
    settings.hang_up_after = options.hang_up_after;
    settings.expected = expected;
    return settings;
}

// Plays the device for the command of --run, then waits for it. The
// command's own failure wins; otherwise the device's verdict decides.
int run_with_child(const SimOptions& options, PtyPair* pty, const SessionSettings& settings) {
    ChildProcess child;
    std::string error;
    if (!spawn_child(substitute_token(options.run, "{port}", pty->slave_path), &child, &error)) {
        report(error);
        return 1;
    }
    const SessionOutcome outcome = run_device_session(pty, settings, child_exit_fd());
    const bool exited = wait_child(&child, deadline_after_ms(options.timeout_ms));
    // After the player's own last words, so the two do not interleave.
    report(outcome.report);
    if (!exited) {
        report("the player did not exit within " + std::to_string(options.timeout_ms) +
               " ms; stopped it");
        return 1;
    }
    if (child.exit_code != 0) return child.exit_code;
    return outcome.passed ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    SimOptions options;
    std::string error;
    if (!parse_sim_options(argc, argv, &options, &error)) {
        report(error + " (--help shows the options)");
        return kUsageStatus;
    }
    if (options.help) {
        print_sim_usage(argv[0]);
        return 0;
    }

    TapeExpectation expected;
    if (!options.expect_path.empty() &&
        !load_tape_expectation(options.expect_path, options.start, &expected, &error)) {
        report(error);
        return 1;
    }

    PtyPair pty;
    if (!open_pty_pair(&pty, &error)) {
        report(error);
        return 1;
    }
    if (!options.port_file.empty() && !write_port_file(options.port_file, pty.slave_path)) {
        report("cannot write " + options.port_file);
        close_pty_pair(&pty);
        return 1;
    }
    if (options.print_port) {
        printf("%s\n", pty.slave_path.c_str());
        fflush(stdout);
    }

    const SessionSettings settings = session_settings(options, &expected);
    int status;
    if (!options.run.empty()) {
        status = run_with_child(options, &pty, settings);
    } else {
        const SessionOutcome outcome = run_device_session(&pty, settings, -1);
        report(outcome.report);
        status = outcome.passed ? 0 : 1;
    }
    close_pty_pair(&pty);
    return status;
}
