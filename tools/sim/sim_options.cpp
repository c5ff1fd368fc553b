#include "sim_options.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// Decimal, or hexadecimal with 0x, as index files write offsets.
bool parse_unsigned(const char* text, uint32_t max, uint32_t* value) {
    if (*text == '\0' || *text == '-' || *text == '+') return false;
    char* end = nullptr;
    errno = 0;
    const unsigned long long parsed = strtoull(text, &end, 0);
    if (errno != 0 || *end != '\0' || parsed > max) return false;
    *value = static_cast<uint32_t>(parsed);
    return true;
}

bool parse_milliseconds(const char* text, int* value) {
    uint32_t parsed = 0;
    if (!parse_unsigned(text, 24u * 3600u * 1000u, &parsed)) return false;
    *value = static_cast<int>(parsed);
    return true;
}

bool parse_pace(const char* text, PaceMode* pace) {
    if (strcmp(text, "fast") == 0) {
        *pace = PaceMode::kFast;
    } else if (strcmp(text, "line") == 0) {
        *pace = PaceMode::kLine;
    } else if (strcmp(text, "tape") == 0) {
        *pace = PaceMode::kTape;
    } else {
        return false;
    }
    return true;
}

bool parse_speed(const char* text, double* speed) {
    char* end = nullptr;
    errno = 0;
    const double parsed = strtod(text, &end);
    if (errno != 0 || end == text || *end != '\0' || !std::isfinite(parsed) || parsed <= 0) {
        return false;
    }
    *speed = parsed;
    return true;
}

bool takes_value(const std::string& name) {
    static const char* const kNames[] = {"--port-file", "--expect",        "--start",
                                         "--pace",      "--speed",         "--startup-delay",
                                         "--timeout-ms", "--hang-up-after"};
    for (const char* known : kNames) {
        if (name == known) return true;
    }
    return false;
}

}  // namespace

bool parse_sim_options(int argc, char** argv, SimOptions* options, std::string* error) {
    bool run_given = false;
    for (int i = 1; i < argc; ++i) {
        const std::string name = argv[i];
        if (name == "--run") {
            if (i + 1 >= argc || strcmp(argv[i + 1], "--") != 0) {
                *error = "--run must be followed by -- and the command";
                return false;
            }
            for (int j = i + 2; j < argc; ++j) options->run.emplace_back(argv[j]);
            if (options->run.empty()) {
                *error = "--run -- needs a command";
                return false;
            }
            run_given = true;
            break;
        }
        if (name == "--help" || name == "-h") {
            options->help = true;
            return true;
        }
        if (name == "--print-port") {
            options->print_port = true;
            continue;
        }
        if (name == "--fail") {
            options->send_failure = true;
            continue;
        }

        // Every other option takes a value.
        if (!takes_value(name)) {
            *error = "unknown option " + name;
            return false;
        }
        if (i + 1 >= argc) {
            *error = name + " needs a value";
            return false;
        }
        const char* value = argv[++i];
        bool ok = true;
        if (name == "--port-file") {
            options->port_file = value;
            ok = !options->port_file.empty();
        } else if (name == "--expect") {
            options->expect_path = value;
            ok = !options->expect_path.empty();
        } else if (name == "--start") {
            ok = parse_unsigned(value, UINT32_MAX, &options->start) && options->start >= 20;
        } else if (name == "--pace") {
            ok = parse_pace(value, &options->pace);
        } else if (name == "--speed") {
            ok = parse_speed(value, &options->speed);
        } else if (name == "--startup-delay") {
            ok = parse_milliseconds(value, &options->startup_delay_ms);
        } else if (name == "--timeout-ms") {
            ok = parse_milliseconds(value, &options->timeout_ms) && options->timeout_ms > 0;
        } else {  // --hang-up-after
            ok = parse_unsigned(value, UINT32_MAX, &options->hang_up_after) &&
                 options->hang_up_after > 0;
        }
        if (!ok) {
            *error = "bad value for " + name + ": " + value;
            return false;
        }
    }
    if (!run_given && options->port_file.empty() && !options->print_port) {
        *error = "say where the port goes: --port-file, --print-port or --run";
        return false;
    }
    if (options->start != 20 && options->expect_path.empty()) {
        *error = "--start only means something with --expect";
        return false;
    }
    return true;
}

void print_sim_usage(const char* program) {
    printf("Usage: %s [options] [--run -- COMMAND ARG...]\n"
           "Plays a Tavrel device on a pseudo-terminal for tavrel-play.\n"
           "\n"
           "Where the player finds the port (at least one):\n"
           "  --port-file PATH      write the port's path to PATH\n"
           "  --print-port          print the port's path on stdout\n"
           "  --run -- COMMAND ...  run COMMAND with {port} replaced by the port's path;\n"
           "                        the exit status is the command's, or 1 when the\n"
           "                        device's check failed\n"
           "What the player should send:\n"
           "  --expect FILE.tap     compare the header and pulse bytes with this file\n"
           "  --start OFFSET        the start offset the player was given (default 20)\n"
           "How fast the device asks for data:\n"
           "  --pace fast|line|tape at once; as a 115200-baud line; as the tape plays\n"
           "  --speed FACTOR        tape pace only: play this many times faster (default 1)\n"
           "Timing:\n"
           "  --startup-delay MS    wait before the prompt (default 300)\n"
           "  --timeout-ms MS       longest wait for any answer (default 10000)\n"
           "Misbehaviour:\n"
           "  --fail                send the failure notice even when all matched\n"
           "  --hang-up-after N     close the line after N data blocks\n",
           program);
}
