// Keyboard input on descriptor 0 and the terminal's lifecycle. The poll never
// waits; the read takes one byte. From a file or a pipe the bytes arrive one
// per call; at end of input the poll reports a byte and the read yields 255,
// which no stage acts on.
//
// The signal handlers use only async-signal-safe calls (tcsetattr, write,
// sigaction, sigprocmask, raise) and the two attribute records saved here.
#include "terminal.h"

#include <sys/select.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

namespace panel {
namespace {

termios save_termios{};
termios cbreak_termios{};
// The terminal tty_cbreak switched (standard input in the panel).
volatile sig_atomic_t terminal_fd = STDIN_FILENO;
// Set once the attributes are saved: from then on an exit puts them back.
volatile sig_atomic_t attributes_saved = 0;
// Set once character-at-a-time input is on: a resume switches it on again.
volatile sig_atomic_t cbreak_active = 0;

// Plain attributes, then the cursor to the start of the line below the panel,
// so whatever the shell prints next lands outside the panel.
constexpr char LEAVE_SEQUENCE[] = "\x1b[0m\x1b[12;1f";

constexpr int TERMINATING_SIGNALS[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

// Installs handler for sig; while a handler runs, the terminal's other
// signals wait.
void install(int sig, void (*handler)(int)) {
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    for (const int other : TERMINATING_SIGNALS) {
        sigaddset(&action.sa_mask, other);
    }
    sigaddset(&action.sa_mask, SIGTSTP);
    action.sa_flags = SA_RESTART;
    ::sigaction(sig, &action, nullptr);
}

void leave_terminal() {
    if (attributes_saved != 0) {
        tty_reset(terminal_fd);
    }
    [[maybe_unused]] const ssize_t ignored =
        ::write(STDOUT_FILENO, LEAVE_SEQUENCE, sizeof LEAVE_SEQUENCE - 1);
}

// Sets sig back to its default action, unblocks it and raises it: the process
// ends (or stops) exactly as it would have without the handler.
void raise_with_default_action(int sig) {
    install(sig, SIG_DFL);
    sigset_t only;
    sigemptyset(&only);
    sigaddset(&only, sig);
    ::sigprocmask(SIG_UNBLOCK, &only, nullptr);
    (void)::raise(sig);
}

void on_terminate(int sig) {
    leave_terminal();
    raise_with_default_action(sig);
}

// Every resume, after a suspend or any other stop, switches the input mode back on.
void on_continue(int /*sig*/) {
    const int saved_errno = errno;
    if (cbreak_active != 0) {
        ::tcsetattr(terminal_fd, TCSAFLUSH, &cbreak_termios);
    }
    errno = saved_errno;
}

void on_suspend(int sig) {
    const int saved_errno = errno;
    leave_terminal();
    raise_with_default_action(sig);  // stops here; the SIGCONT that resumes runs on_continue
    install(sig, &on_suspend);
    errno = saved_errno;
}

bool ignored_at_start(int sig) {
    struct sigaction current {};
    ::sigaction(sig, nullptr, &current);
    return current.sa_handler == SIG_IGN;
}

}  // namespace

int tty_cbreak(const int fd) {
    if (::tcgetattr(fd, &save_termios) < 0) {
        return -1;
    }
    terminal_fd = fd;
    attributes_saved = 1;
    termios buf = save_termios;
    buf.c_lflag &= ~static_cast<tcflag_t>(ECHO | ICANON);
    buf.c_cc[VMIN] = 1;
    buf.c_cc[VTIME] = 0;
    cbreak_termios = buf;
    const int result = ::tcsetattr(fd, TCSAFLUSH, &buf);
    if (result == 0) {
        cbreak_active = 1;
    }
    return result;
}

int tty_reset(const int fd) { return ::tcsetattr(fd, TCSAFLUSH, &save_termios); }

int kbdhit() {
    fd_set read_set;
    FD_ZERO(&read_set);
    FD_SET(STDIN_FILENO, &read_set);
    timeval timeout{0, 0};
    const int ready = ::select(1, &read_set, nullptr, nullptr, &timeout);
    // Only a positive count means a byte is waiting: a failed select (-1,
    // for example interrupted by a signal) leaves the set untouched and must
    // not send the caller into a read that would block.
    return (ready > 0 && FD_ISSET(STDIN_FILENO, &read_set)) ? 1 : 0;
}

int getch() {
    unsigned char byte = 0;
    const int value = (::read(STDIN_FILENO, &byte, 1) == 1) ? byte : -1;
    return value & 0xFF;
}

void install_signal_handlers() {
    install(SIGPIPE, SIG_IGN);
    for (const int sig : TERMINATING_SIGNALS) {
        if (!ignored_at_start(sig)) {
            install(sig, &on_terminate);
        }
    }
    if (!ignored_at_start(SIGTSTP)) {
        install(SIGTSTP, &on_suspend);
    }
    install(SIGCONT, &on_continue);
}

}  // namespace panel
