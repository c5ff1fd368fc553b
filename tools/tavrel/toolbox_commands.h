// The toolbox's subcommands, each given what its command line said and
// giving the exit status.
#pragma once

#include <string>
#include <vector>

struct PlayRequest {
    std::string tape_path;
    std::string port;         // empty: find the device's port
    std::string from;         // a file's number (from 1) or name; empty: see offset
    std::string offset;       // a byte offset as typed; empty with `from`: the tape's start
};

int run_play(const PlayRequest& request);
int run_ports();
