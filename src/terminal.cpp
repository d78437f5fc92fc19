// Keyboard input on descriptor 0. The poll never waits; the read takes one
// byte. From a file or a pipe the bytes arrive one per call; at end of input
// the poll reports a byte and the read yields 255, which no stage acts on.
#include "terminal.h"

#include <sys/select.h>
#include <termios.h>
#include <unistd.h>

namespace panel {
namespace {

termios save_termios{};

}  // namespace

int tty_cbreak(const int fd) {
    if (::tcgetattr(fd, &save_termios) < 0) {
        return -1;
    }
    termios buf = save_termios;
    buf.c_lflag &= ~static_cast<tcflag_t>(ECHO | ICANON);
    buf.c_cc[VMIN] = 1;
    buf.c_cc[VTIME] = 0;
    return ::tcsetattr(fd, TCSAFLUSH, &buf);
}

int tty_reset(const int fd) { return ::tcsetattr(fd, TCSAFLUSH, &save_termios); }

int kbdhit() {
    fd_set read_set;
    FD_ZERO(&read_set);
    FD_SET(STDIN_FILENO, &read_set);
    timeval timeout{0, 0};
    const int ready = ::select(1, &read_set, nullptr, nullptr, &timeout);
    return (ready != 0 && FD_ISSET(STDIN_FILENO, &read_set)) ? 1 : 0;
}

int getch() {
    unsigned char byte = 0;
    const int value = (::read(STDIN_FILENO, &byte, 1) == 1) ? byte : -1;
    return value & 0xFF;
}

}  // namespace panel
