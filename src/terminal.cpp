// Keyboard input on descriptor 0 and the terminal's lifecycle. The poll never
// waits; the read takes one byte. From a file or a pipe the bytes arrive one
// per call; at end of input the poll reports a byte and the read yields 255,
// which no stage acts on.
//
// The signal handlers use only async-signal-safe calls (tcsetattr, tcgetpgrp,
// getpgrp, write, sigaction, sigprocmask, raise) and the two attribute
// records saved here; that of a change of size only sets a flag. Character
// mode is in force only while the panel's process group owns the terminal,
// so a panel in the background (started with &, or after bg) neither stops
// itself on a terminal call nor changes the modes of the job that owns the
// terminal, and it ends on SIGTERM, SIGHUP and SIGQUIT as in the foreground.
#include "terminal.h"

#include <sys/ioctl.h>
#include <sys/select.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>

#include "output_sink.h"

namespace panel {
namespace {

// Static storage: every flag below starts at 0 (clear) but in_foreground.
termios save_termios;
termios cbreak_termios;
// The terminal tty_cbreak switched (standard input in the panel).
volatile sig_atomic_t terminal_fd = STDIN_FILENO;
// Set once tty_cbreak has switched the terminal: the panel wants character
// mode whenever its process group owns the terminal.
volatile sig_atomic_t cbreak_wanted;
// Set while the panel's character mode is in force on the terminal; only
// then does an exit or a suspend put the saved attributes back.
volatile sig_atomic_t cbreak_applied;
// Cleared while another process group owns the terminal (after bg), when a
// read of it would stop the panel.
volatile sig_atomic_t in_foreground = 1;
// Set by every resume: output held in the sink may then be out of place.
volatile sig_atomic_t resumed;
// Set by every change of the terminal's size; the host loop does the rest.
volatile sig_atomic_t resized;
// Set while a cycle draws; a suspend that comes then waits for its end, so
// no half-drawn line is sent after the cursor has left the panel.
volatile sig_atomic_t in_cycle;
volatile sig_atomic_t suspend_waiting;

// Plain attributes, then the cursor to the start of the line below the panel
// and everything from there to the end of the screen erased, so whatever the
// shell prints next lands on a clean line outside the panel.
constexpr char LEAVE_SEQUENCE[] = "\x1b[0m\x1b[12;1f\x1b[J";

constexpr int TERMINATING_SIGNALS[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

// Installs handler for sig; while a handler runs, the terminal's other
// signals wait, and so does SIGTTOU, so that a handler's terminal call never
// stops the process.
void install(int sig, void (*handler)(int)) {
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    for (const int other : TERMINATING_SIGNALS) {
        sigaddset(&action.sa_mask, other);
    }
    sigaddset(&action.sa_mask, SIGTSTP);
    sigaddset(&action.sa_mask, SIGTTOU);
    action.sa_flags = SA_RESTART;
    ::sigaction(sig, &action, nullptr);
}

// False only when fd is a terminal that another process group owns; a
// descriptor that is no terminal, or not this session's, has nobody to yield to.
bool owns(int fd) {
    const pid_t owner = ::tcgetpgrp(fd);
    return owner < 0 || owner == ::getpgrp();
}

void leave_terminal() {
    // A panel in the background leaves the terminal to its owner: its modes
    // are the owner's by now, and so is the cursor.
    if (cbreak_applied != 0 && owns(terminal_fd)) {
        tty_reset(terminal_fd);
        cbreak_applied = 0;
    }
    if (owns(STDOUT_FILENO)) {
        [[maybe_unused]] const ssize_t ignored =
            ::write(STDOUT_FILENO, LEAVE_SEQUENCE, sizeof LEAVE_SEQUENCE - 1);
    }
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

// Every resume, after a suspend or any other stop, takes character mode back
// when the panel owns the terminal (after fg), and leaves the terminal alone
// when it does not (after bg).
void on_continue(int /*sig*/) {
    const int saved_errno = errno;
    in_foreground = owns(terminal_fd) ? 1 : 0;
    if (cbreak_wanted != 0 && in_foreground != 0 &&
        ::tcsetattr(terminal_fd, TCSAFLUSH, &cbreak_termios) == 0) {
        cbreak_applied = 1;
    }
    resumed = 1;
    errno = saved_errno;
}

void on_resize(int /*sig*/) { resized = 1; }

void on_suspend(int sig) {
    if (in_cycle != 0) {
        suspend_waiting = 1;  // cycle_ends raises it again
        return;
    }
    const int saved_errno = errno;
    leave_terminal();
    raise_with_default_action(sig);  // stops here; the SIGCONT that resumes runs on_continue
    install(sig, &on_suspend);
    errno = saved_errno;
}

// A flag a handler set, cleared as it is read: the signals that came since
// the last read count as one.
bool take(volatile sig_atomic_t& flag) {
    if (flag == 0) {
        return false;
    }
    flag = 0;
    return true;
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
    termios buf = save_termios;
    buf.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHOCTL | ICANON);
    buf.c_cc[VMIN] = 1;
    buf.c_cc[VTIME] = 0;
    cbreak_termios = buf;
    const int result = ::tcsetattr(fd, TCSAFLUSH, &buf);
    if (result == 0) {
        cbreak_wanted = 1;
        cbreak_applied = 1;
    }
    return result;
}

std::optional<TerminalSize> terminal_size(const int fd) {
    winsize size{};
    if (::isatty(fd) == 0 || ::ioctl(fd, TIOCGWINSZ, &size) != 0) {
        return std::nullopt;
    }
    return TerminalSize{size.ws_row, size.ws_col};
}

bool fits(const TerminalSize& size) {
    return size.rows <= 0 || size.columns <= 0 ||
           (size.rows >= NEEDED_ROWS && size.columns >= NEEDED_COLUMNS);
}

void clear_screen(const int fd, const std::optional<TerminalSize>& size) {
    constexpr char CLEAR[] = "\x1b[H\x1b[2J";
    char bytes[sizeof CLEAR - 1 + sizeof TOO_SMALL_NOTICE - 1];
    std::memcpy(bytes, CLEAR, sizeof CLEAR - 1);
    std::size_t length = sizeof CLEAR - 1;
    if (size && !fits(*size)) {
        const std::size_t shown =
            std::min(sizeof TOO_SMALL_NOTICE - 1, static_cast<std::size_t>(size->columns));
        std::memcpy(bytes + length, TOO_SMALL_NOTICE, shown);
        length += shown;
    }
    write_all(fd, bytes, length);
}

void bells_only(void* /*context*/, const char* bytes, const std::size_t size) {
    for (std::size_t i = 0; i < size; ++i) {
        if (bytes[i] == '\a') {  // no other byte of the panel's is 7, UTF-8's included
            write_all(STDOUT_FILENO, "\a", 1);
        }
    }
}

int tty_reset(const int fd) { return ::tcsetattr(fd, TCSAFLUSH, &save_termios); }

bool terminal_in_foreground() { return owns(STDIN_FILENO); }

bool keys_readable() { return in_foreground != 0; }

void cycle_begins() {
    in_cycle = 1;
    std::atomic_signal_fence(std::memory_order_seq_cst);
}

void cycle_ends() {
    std::atomic_signal_fence(std::memory_order_seq_cst);
    in_cycle = 0;
    if (suspend_waiting != 0) {
        suspend_waiting = 0;
        (void)::raise(SIGTSTP);
    }
}

bool take_resize() { return take(resized); }

bool take_resume() { return take(resumed); }

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
    unsigned char byte;
    if (::read(STDIN_FILENO, &byte, 1) != 1) {
        return 0xFF;  // end of input or an error: as the byte 255
    }
    return byte;
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
    if (!ignored_at_start(SIGWINCH)) {
        install(SIGWINCH, &on_resize);
    }
}

}  // namespace panel
