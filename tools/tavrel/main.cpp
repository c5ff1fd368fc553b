// tavrel: the toolbox for people with a Tavrel device on the desk. Plays
// tapes (knowing what is on them), lists serial ports, and makes, indexes
// and describes TAP files. tavrel-play stays the exact classic player.
#include <CLI/CLI.hpp>

#include <cstdio>
#include <string>
#include <vector>

#include "commands.h"
#include "toolbox_commands.h"

namespace {

// The tape commands keep their own argument conventions; CLI11 has
// already checked the shape, so they get exactly what was typed.
int run_with_arguments(int (*command)(int, char**), std::vector<std::string> arguments) {
    std::vector<char*> argv;
    for (std::string& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);
    return command(static_cast<int>(arguments.size()), argv.data());
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"tavrel: plays Commodore tape images to a Tavrel device, and finds what is on them.",
                 "tavrel"};
    // A wrong command line is one line, like every other failure.
    app.failure_message([](const CLI::App* command, const CLI::Error& error) {
        std::string where = command->get_name();
        for (const CLI::App* up = command->get_parent(); up != nullptr; up = up->get_parent()) {
            where = up->get_name() + " " + where;
        }
        return "tavrel: " + std::string(error.what()) + " (see " + where + " --help)\n";
    });
    app.set_version_flag("--version", std::string("tavrel ") + TAVREL_VERSION);
    app.require_subcommand(1);
    // Options are written --like-this everywhere: on Windows, too, an
    // argument such as /tmp/game.tap is a path, not an option.
    app.allow_windows_style_options(false);
    app.footer(
        "Examples:\n"
        "  tavrel ports                         list the serial ports, the device's marked\n"
        "  tavrel play game.tap                 play to the one device port there is\n"
        "  tavrel play --from 3 game.tap        play from the third file\n"
        "  tavrel info game.tap                 the files on the tape, with their times\n"
        "\n"
        "tavrel-play, the classic player, takes the port and the tape directly.");

    PlayRequest play;
    CLI::App* play_command = app.add_subcommand(
        "play", "Play a tape to the device, showing where it is; Ctrl-C stops and tells how to resume.");
    play_command->add_option("--port", play.port,
                             "the device's serial port (default: the one likely device port)");
    CLI::Option* from = play_command->add_option(
        "--from", play.from, "start at this file: its number as info lists it, or its name (a unique prefix will do)");
    CLI::Option* offset = play_command->add_option(
        "--offset", play.offset, "start at this byte offset into the TAP file (decimal or 0x hex, 20 or more)");
    from->excludes(offset);
    play_command->add_option("TAPE", play.tape_path, "the TAP file")->required();

    CLI::App* ports_command =
        app.add_subcommand("ports", "List the serial ports, marking those likely to be a Tavrel device.");

    std::string tape;
    CLI::App* index_command = app.add_subcommand(
        "index", "Print an index file for tavrel-play -i: one line per file found on the tape.");
    index_command->add_option("TAPE", tape, "the TAP file")->required();
    CLI::App* info_command = app.add_subcommand(
        "info", "Show a tape's header, its total time and every file on it, numbered from 1.");
    info_command->add_option("TAPE", tape, "the TAP file")->required();

    std::string out_path;
    bool demo = false;
    std::vector<std::string> programs;
    CLI::App* make_command = app.add_subcommand(
        "make", "Write a TAP file holding C64 programs in the ROM loader's encoding.");
    make_command->add_option("-o", out_path, "the TAP file to write")->required();
    make_command->add_flag("--demo", demo, "write the demo tape (three small programs)");
    make_command->add_option("PROGRAMS", programs,
                             "FILE.prg [NAME] ...: each program file, optionally followed by its name");

    if (argc < 2) {
        fputs(app.help().c_str(), stderr);
        return 1;
    }
    if (argv[1][0] != '-' && app.get_subcommands([&](const CLI::App* command) {
                                 return command->get_name() == argv[1];
                             }).empty()) {
        fprintf(stderr, "tavrel: unknown command %s (see tavrel --help)\n", argv[1]);
        return 1;
    }
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        const int status = app.exit(error);
        return status == 0 ? 0 : 1;
    }

    if (*play_command) return run_play(play);
    if (*ports_command) return run_ports();
    if (*index_command) return run_with_arguments(run_index, {tape});
    if (*info_command) return run_with_arguments(run_info, {tape});
    std::vector<std::string> make_arguments{"-o", out_path};
    if (demo) make_arguments.emplace_back("--demo");
    make_arguments.insert(make_arguments.end(), programs.begin(), programs.end());
    return run_with_arguments(run_make, make_arguments);
}
