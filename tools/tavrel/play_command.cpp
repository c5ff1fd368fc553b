// tavrel play: the tape's files first, then the same exchange as the
// classic player, its progress on a status line; Ctrl-C stops it and says
// how to resume.
#include <cstdio>
#include <string>
#include <vector>

#include "app/open_stages.h"
#include "console.h"
#include "link/playback.h"
#include "link/serial_link.h"
#include "platform/platform.h"
#include "player_tally.h"
#include "play_progress.h"
#include "serial_ports.h"
#include "start_choice.h"
#include "tape/tape_image.h"
#include "tape_catalog.h"
#include "tape_overview.h"
#include "toolbox_commands.h"

namespace {

// The tape time at `offset`, counted as the time line counts it.
uint32_t tape_time_at(const char* path, uint32_t offset) {
    FILE* file = fopen(path, "rb");
    if (file == nullptr) return 0;
    BufferTimeMeter meter;
    uint8_t chunk[65536];
    uint64_t position = 0;
    while (position < offset) {
        const size_t got = fread(chunk, 1, sizeof chunk, file);
        if (got == 0) break;
        const uint64_t from = position < 20 ? 20 - position : 0;
        const uint64_t until = offset - position < got ? offset - position : got;
        if (from < until) {
            count_cycles(&meter, chunk + from, static_cast<uint32_t>(until - from));
        }
        position += got;
    }
    fclose(file);
    return meter.total_cycles;
}

// The port named, or the one likely device port there is.
bool find_port(const PlayRequest& request, std::string* port) {
    if (!request.port.empty()) {
        *port = request.port;
        return true;
    }
    std::string error;
    const std::vector<SerialPortInfo> ports = list_serial_ports(&error);
    if (!error.empty()) {
        fprintf(stderr, "tavrel: %s; name the device's port with --port\n", error.c_str());
        return false;
    }
    const PortChoice choice = choose_device_port(ports);
    if (!choice.found) {
        fprintf(stderr, "tavrel: %s\n", choice.message.c_str());
        return false;
    }
    printf("%s\n", choice.message.c_str());
    *port = choice.port.name;
    return true;
}

std::string resume_command(const PlayRequest& request, const std::string& port,
                           const PlayProgress& progress) {
    std::string command = "tavrel play --port " + quote_for_shell(port);
    if (progress.data_bytes_sent() > 0 && progress.current_file() != kNoFile) {
        // A loader picks up only at a pilot: back to the start of the file.
        command += " --from " + std::to_string(progress.current_file() + 1);
    } else if (!request.offset.empty()) {
        command += " --offset " + quote_for_shell(request.offset);
    } else if (!request.from.empty()) {
        command += " --from " + quote_for_shell(request.from);
    }
    return command + " " + quote_for_shell(request.tape_path);
}

std::string where_stopped(const TapeCatalog& catalog, const PlayProgress& progress) {
    if (progress.data_bytes_sent() == 0) return "Stopped before the device took any data";
    std::string text = "Stopped at " + format_tape_time(progress.snapshot().position_cycles);
    const int file = progress.current_file();
    if (file == kNoFile) return text + ", before the first file";
    text += " in file " + std::to_string(file + 1);
    const std::string& name = catalog.entries[static_cast<size_t>(file)].name;
    return name.empty() ? text : text + " (" + name + ")";
}

}  // namespace

int run_play(const PlayRequest& request) {
    TapeCatalog catalog;
    if (!catalog_tape_file(request.tape_path.c_str(), &catalog)) return 1;
    const StartChoice start = choose_start(catalog, request.from, request.offset);
    if (!start.ok) {
        fprintf(stderr, "tavrel: %s\n", start.error.c_str());
        if (start.list_files) fputs(file_table(catalog, kNoFile).c_str(), stderr);
        return 1;
    }

    std::string port;
    if (!find_port(request, &port)) return 1;
    fputs(tape_overview(catalog, request.tape_path, start).c_str(), stdout);
    fflush(stdout);

    // The same stages, in the same order, as the classic player.
    SerialLink link;
    TapeImage tape;
    if (!open_port_and_tape(port.c_str(), request.tape_path.c_str(), &link, &tape)) return 1;

    PlayProgress progress(catalog, start.offset, tape_time_at(request.tape_path.c_str(), start.offset),
                          port, stdout_is_terminal());
    platform_catch_interrupt();
    const int status = run_playback_to(&link, &tape, start.offset, progress.sink());
    progress.finish_line();
    if (status == kPlaybackStopped) {
        printf("%s; the port is closed. %s: %s\n", where_stopped(catalog, progress).c_str(),
               progress.data_bytes_sent() > 0 ? "To resume from the start of that file"
                                              : "To start again",
               resume_command(request, port, progress).c_str());
        fflush(stdout);
    }
    return status;
}
