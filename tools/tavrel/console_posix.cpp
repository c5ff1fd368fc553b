#include <sys/ioctl.h>
#include <sys/time.h>
#include <unistd.h>

#include <csignal>
#include <cstring>

#include "console.h"

namespace {

// What the timer signal writes: kept ready, since the handler may only make
// the one system call.
char warning_text[1024];
size_t warning_length = 0;
volatile sig_atomic_t warning_due = 0;

void write_warning(int) {
    if (warning_due == 0) return;
    warning_due = 0;
    const ssize_t written = write(STDERR_FILENO, warning_text, warning_length);
    (void)written;  // nothing to be done about a console that will not take it
}

}  // namespace

void warn_after(unsigned milliseconds, const std::string& line) {
    warning_length = line.size() < sizeof warning_text ? line.size() : sizeof warning_text;
    memcpy(warning_text, line.data(), warning_length);
    warning_due = 1;
    struct sigaction action {};
    action.sa_handler = write_warning;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGALRM, &action, nullptr);
    itimerval timer{};
    timer.it_value.tv_sec = static_cast<time_t>(milliseconds / 1000);
    timer.it_value.tv_usec = static_cast<suseconds_t>((milliseconds % 1000) * 1000);
    setitimer(ITIMER_REAL, &timer, nullptr);
}

void cancel_delayed_warning() {
    warning_due = 0;
    itimerval off{};
    setitimer(ITIMER_REAL, &off, nullptr);
}

bool stdout_is_terminal() { return isatty(STDOUT_FILENO) != 0; }

int terminal_columns() {
    winsize size{};
    if (ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) != 0 || size.ws_col == 0) return 80;
    return size.ws_col;
}

// Single quotes keep everything literal but a single quote, which is closed,
// escaped and reopened.
std::string quote_for_shell(const std::string& argument) {
    const bool plain = !argument.empty() &&
                       argument.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"
                                                  "0123456789_-+=.,/:@%") == std::string::npos;
    if (plain) return argument;
    std::string quoted = "'";
    for (char c : argument) {
        if (c == '\'') {
            quoted += "'\\''";
        } else {
            quoted += c;
        }
    }
    return quoted + "'";
}
