// The simulator's command line.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "pacer.h"

struct SimOptions {
    std::string port_file;         // where to write the slave's path; empty: nowhere
    bool print_port = false;       // print the slave's path on stdout
    std::vector<std::string> run;  // the command of --run, "{port}" not yet replaced
    std::string expect_path;       // the TAP file the player should send; empty: none
    uint32_t start = 20;           // the start offset the player was given
    PaceMode pace = PaceMode::kFast;
    double speed = 1.0;
    int startup_delay_ms = 300;
    int timeout_ms = 10000;
    bool send_failure = false;
    uint32_t hang_up_after = 0;
    bool help = false;
};

// False with a one-line reason in `error`.
bool parse_sim_options(int argc, char** argv, SimOptions* options, std::string* error);

// On stdout, for --help.
void print_sim_usage(const char* program);
