// The resume command is printed for a person to paste back into the shell:
// every argument must come back unchanged.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "console.h"

namespace {

TEST(QuoteForShell, ArgumentsComeBackUnchangedThroughTheShell) {
    const char* cases[] = {
        "game.tap", "/dev/ttyACM0", "my game.tap", "it's.tap", "", "$HOME", "a\"b", "*.tap",
        "tab\there", "-x",
    };
    for (const char* argument : cases) {
        const std::string quoted = quote_for_shell(argument);
        // The shell prints the word it was given, between brackets.
        FILE* shell = popen(("printf '[%s]' " + quoted).c_str(), "r");
        ASSERT_NE(shell, nullptr);
        char echoed[256] = {};
        const size_t got = fread(echoed, 1, sizeof echoed - 1, shell);
        pclose(shell);
        EXPECT_EQ(std::string(echoed, got), "[" + std::string(argument) + "]") << quoted;
    }
    // Plain words stay as they are, so the usual command reads as typed.
    EXPECT_EQ(quote_for_shell("game.tap"), "game.tap");
    EXPECT_EQ(quote_for_shell("/dev/serial/by-id/usb-Arduino_LLC-if00"),
              "/dev/serial/by-id/usb-Arduino_LLC-if00");
}

}  // namespace
