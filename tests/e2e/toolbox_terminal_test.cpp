// What a person sees of `tavrel play` on a real terminal: tmux runs it, and
// capture-pane reads the screen mid-play and at the end.
#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "harness/player_process.h"
#include "harness/temp_files.h"

namespace {

std::string run_shell(const std::string& command) {
    std::string output;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return output;
    char chunk[4096];
    size_t got;
    while ((got = fread(chunk, 1, sizeof chunk, pipe)) > 0) output.append(chunk, got);
    pclose(pipe);
    return output;
}

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
        lines.push_back(text.substr(start, end - start));
    }
    return lines;
}

// A tmux server of the test's own, so that nothing else on the machine is touched.
class Tmux {
public:
    Tmux() : socket_("tavrel-test-" + std::to_string(getpid())) {}
    ~Tmux() { run_shell(tmux() + " kill-server 2>/dev/null"); }
    std::string tmux() const { return "tmux -L " + socket_; }
    bool start(const std::string& command, int columns) {
        return system((tmux() + " new-session -d -s play -x " + std::to_string(columns) +
                       " -y 24 '" + command + "'").c_str()) == 0;
    }
    std::string screen() const { return run_shell(tmux() + " capture-pane -p -t play"); }

private:
    std::string socket_;
};

// The screen's first line that shows the tape time, or "".
std::string status_line_of(const std::string& screen) {
    for (const std::string& line : lines_of(screen)) {
        if (line.find(" / 0:57") != std::string::npos) return line;
    }
    return "";
}

TEST(PlayOnATerminal, OneStatusLineRedrawnInPlaceFittedToTheWidth) {
    if (toolbox_path().empty() || sim_path().empty()) GTEST_SKIP() << "the toolbox is not built";
    if (player_under_launcher()) GTEST_SKIP() << "tmux runs the native toolbox only";
    if (system("command -v tmux >/dev/null 2>&1") != 0) GTEST_SKIP() << "tmux is not installed";
    TempDir dir;
    const std::string demo = dir.file("demo.tap");
    ASSERT_EQ(PlayerProcess({"make", "--demo", "-o", demo}, toolbox_path()).wait().exit_status, 0);

    constexpr int kColumns = 72;
    Tmux tmux;
    ASSERT_TRUE(tmux.start(sim_path() + " --pace tape --speed 8 --expect " + demo + " --run -- " +
                               toolbox_path() + " play --port {port} " + demo +
                               "; echo EXIT=$?; sleep 60",
                           kColumns));

    // Mid-play: one status line, however many redraws came before.
    std::string screen;
    for (int i = 0; i < 100; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        screen = tmux.screen();
        if (screen.find("% ") != std::string::npos && screen.find("KiB/s") != std::string::npos) break;
    }
    const std::string mid = status_line_of(screen);
    ASSERT_FALSE(mid.empty()) << screen;
    int status_lines = 0;
    for (const std::string& line : lines_of(screen)) status_lines += line.find(" / 0:57") != std::string::npos;
    EXPECT_EQ(status_lines, 1) << screen;
    EXPECT_EQ(mid.rfind("[#", 0) == 0 || mid.rfind("[-", 0) == 0, true) << mid;
    EXPECT_LE(mid.size(), static_cast<size_t>(kColumns - 1)) << mid;
    EXPECT_NE(mid.find(" HELLO"), std::string::npos) << mid;
    EXPECT_NE(mid.find("KiB/s"), std::string::npos) << mid;
    EXPECT_NE(screen.find(" >  1  0:00-0:17    HELLO"), std::string::npos) << screen;

    // The end: the last status stays, the device's verdict under it.
    for (int i = 0; i < 300 && screen.find("EXIT=") == std::string::npos; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        screen = tmux.screen();
    }
    ASSERT_NE(screen.find("EXIT=0"), std::string::npos) << screen;
    const std::vector<std::string> lines = lines_of(screen);
    size_t at = 0;
    while (at < lines.size() && lines[at].find(" / 0:57") == std::string::npos) ++at;
    ASSERT_LT(at + 1, lines.size()) << screen;
    const size_t bar_end = lines[at].find("] 100%  0:57 / 0:57  3 BORDER FLASH  ");
    ASSERT_NE(bar_end, std::string::npos) << screen;
    EXPECT_EQ(lines[at].substr(0, bar_end), "[" + std::string(bar_end - 1, '#')) << screen;
    EXPECT_EQ(lines[at + 1].rfind("Success condition received from /dev/pts/", 0), 0u) << screen;
}

}  // namespace
