// `tavrel play --from` on a tape as commercial games came: a ROM-loaded
// boot file, then files in Turbo Tape 64. The device must receive the
// chosen turbo file from the first pulse of its pilot.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "harness/player_process.h"
#include "harness/temp_files.h"
#include "rom_encoder.h"
#include "tap/test_program.h"
#include "turbo_encoder.h"

namespace {


TEST(PlayTurboTape, StartsAtATurboFileChosenByNumberOrName) {
    if (toolbox_path().empty() || sim_path().empty()) GTEST_SKIP() << "the toolbox is not built";
    TempDir dir;
    const MadeTape tape = make_turbo_tape(
        {test_program("LEVEL 1", 0x0801, 300, 1), test_program("LEVEL 2", 0x0801, 300, 2),
         test_program("LEVEL 3", 0x0801, 300, 3)},
        {test_program("LOADER", 0x0801, 40, 9)});
    ASSERT_EQ(tape.pilot_offsets.size(), 4u);
    const std::string path =
        dir.write("game.tap", std::string(tape.bytes.begin(), tape.bytes.end()));

    const struct {
        const char* from;
        size_t file;  // index into the tape's files
    } cases[] = {{"3", 2}, {"level 3", 3}, {"LOADER", 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.from);
        const std::string start = std::to_string(tape.pilot_offsets[c.file]);
        PlayerProcess sim({"--pace", "fast", "--expect", path, "--start", start, "--run", "--",
                           toolbox_path(), "play", "--port", "{port}", "--from", c.from, path},
                          sim_path());
        const PlayerResult run = sim.wait(60000);
        EXPECT_EQ(run.exit_status, 0) << run.out << run.err;
        EXPECT_NE(run.err.find("all match"), std::string::npos) << run.err;
        // The list names every file with its format, the chosen one marked.
        EXPECT_NE(run.out.find("LOADER"), std::string::npos) << run.out;
        EXPECT_NE(run.out.find("Turbo Tape 64"), std::string::npos) << run.out;
        EXPECT_NE(run.out.find(" >  " + std::to_string(c.file + 1) + "  "), std::string::npos) << run.out;
    }
}

}  // namespace
