// The real binary on a pseudo-terminal, under a tiny job-control "shell" that
// gives it its own foreground process group (as an interactive shell would,
// so that Ctrl-Z can stop it): terminal modes while running, and what an
// interrupt, a termination, a hang-up or a suspend leaves behind.
#include <gtest/gtest.h>

#include <cstring>
#include <pty.h>
#include <termios.h>
#include <thread>

#include "process_support.h"

namespace panel::e2e {
namespace {

using namespace std::chrono_literals;

const std::string LEAVE = "\x1b[0m\x1b[12;1f";

char process_state(pid_t pid) {
    const std::string path = "/proc/" + std::to_string(pid) + "/stat";
    FILE* f = std::fopen(path.c_str(), "r");
    if (f == nullptr) return '?';
    char line[512] = {};
    const bool ok = std::fgets(line, sizeof line, f) != nullptr;
    std::fclose(f);
    const char* close_paren = ok ? std::strrchr(line, ')') : nullptr;
    return close_paren != nullptr ? close_paren[2] : '?';
}

bool same_attributes(const termios& a, const termios& b) {
    return a.c_iflag == b.c_iflag && a.c_oflag == b.c_oflag && a.c_cflag == b.c_cflag &&
           a.c_lflag == b.c_lflag && std::memcmp(a.c_cc, b.c_cc, sizeof a.c_cc) == 0;
}

class PanelOnPty : public ::testing::Test {
protected:
    // Starts the panel; with ignore_tstp its shell starts it with SIGTSTP ignored.
    void start(bool ignore_tstp = false) {
        int report[2];
        ASSERT_EQ(::pipe(report), 0);
        termios initial{};
        ::cfmakeraw(&initial);  // any known state will do; the shell's default
        initial.c_iflag = ICRNL | IXON;
        initial.c_oflag = OPOST | ONLCR;
        initial.c_cflag = CS8 | CREAD;
        initial.c_lflag = ISIG | ICANON | ECHO | ECHOE | ECHOK | IEXTEN;
        initial.c_cc[VINTR] = 3;
        initial.c_cc[VSUSP] = 26;
        initial.c_cc[VQUIT] = 28;
        initial.c_cc[VMIN] = 1;
        ::cfsetspeed(&initial, B38400);
        winsize size{24, 80, 0, 0};
        shell_ = ::forkpty(&master_, nullptr, &initial, &size);
        ASSERT_GE(shell_, 0);
        if (shell_ == 0) run_shell(report, ignore_tstp);
        ::close(report[1]);
        report_ = report[0];
        ASSERT_EQ(::read(report_, &panel_, sizeof panel_), ssize_t(sizeof panel_));
        ASSERT_EQ(::tcgetattr(master_, &before_), 0);
        ASSERT_TRUE(wait_output("\x1b[11;30f", 2s)) << "no panel output";
    }

    void TearDown() override {
        if (panel_ > 0) ::kill(panel_, SIGKILL);
        if (shell_ > 0) {
            ::kill(shell_, SIGKILL);
            ::waitpid(shell_, nullptr, 0);
        }
        if (master_ >= 0) ::close(master_);
        if (report_ >= 0) ::close(report_);
    }

    // Child side: a one-job shell. The panel gets its own process group, which
    // becomes the terminal's foreground group before the panel is started.
    [[noreturn]] static void run_shell(const int report[2], bool ignore_tstp) {
        ::close(report[0]);
        ::signal(SIGTTOU, SIG_IGN);
        int go[2];
        if (::pipe(go) != 0) ::_exit(120);
        const pid_t panel = ::fork();
        if (panel == 0) {
            ::setpgid(0, 0);
            char byte;
            if (::read(go[0], &byte, 1) != 1) ::_exit(121);
            ::signal(SIGTTOU, SIG_DFL);
            if (ignore_tstp) ::signal(SIGTSTP, SIG_IGN);
            ::execl(COOKER_PANEL_BINARY, COOKER_PANEL_BINARY, static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::setpgid(panel, panel);
        ::tcsetpgrp(STDIN_FILENO, panel);
        if (::write(go[1], "g", 1) != 1) ::_exit(122);
        if (::write(report[1], &panel, sizeof panel) != ssize_t(sizeof panel)) ::_exit(123);
        int status = 0;
        ::waitpid(panel, &status, 0);
        if (::write(report[1], &status, sizeof status) != ssize_t(sizeof status)) ::_exit(124);
        ::pause();
        ::_exit(0);
    }

    // Reads the terminal until text has appeared in what was read since the
    // last call (or the time is up).
    bool wait_output(const std::string& text, std::chrono::milliseconds limit) {
        fresh_.clear();
        return read_until(master_, fresh_, Clock::now() + limit,
                          [&](const std::string& s) { return s.find(text) != std::string::npos; });
    }

    void drain(std::chrono::milliseconds span) {
        fresh_.clear();
        read_until(master_, fresh_, Clock::now() + span, [](const std::string&) { return false; });
    }

    // The wait status of the panel, as its shell saw it.
    int exit_status() {
        int status = 0;
        pollfd p{report_, POLLIN, 0};
        const auto deadline = Clock::now() + 3s;
        while (::poll(&p, 1, 50) <= 0 && Clock::now() < deadline) drain(10ms);
        EXPECT_EQ(::read(report_, &status, sizeof status), ssize_t(sizeof status));
        panel_ = -1;
        return status;
    }

    termios attributes() const {
        termios now{};
        ::tcgetattr(master_, &now);
        return now;
    }

    void type(const char* bytes) { ASSERT_EQ(::write(master_, bytes, std::strlen(bytes)), ssize_t(std::strlen(bytes))); }

    pid_t shell_ = -1;
    pid_t panel_ = -1;
    int master_ = -1;
    int report_ = -1;
    termios before_{};
    std::string fresh_;
};

TEST_F(PanelOnPty, RunsInCharacterModeWithoutEcho) {
    start();
    const termios now = attributes();
    EXPECT_EQ(now.c_lflag & ECHO, 0U);
    EXPECT_EQ(now.c_lflag & ICANON, 0U);
    EXPECT_NE(now.c_lflag & ISIG, 0U);
    EXPECT_EQ(now.c_cc[VMIN], 1);
    EXPECT_EQ(now.c_cc[VTIME], 0);
    // Only the two flags changed.
    EXPECT_EQ(now.c_lflag | ECHO | ICANON, before_.c_lflag | ECHO | ICANON);
    EXPECT_EQ(now.c_iflag, before_.c_iflag);

    type("d");
    ASSERT_TRUE(wait_output("01: \xEB\x96\xA1", 2s));
    drain(300ms);
    // No panel output holds a 'd', so any 'd' would be an echo.
    EXPECT_EQ(fresh_.find('d'), std::string::npos);
}

TEST_F(PanelOnPty, InterruptTerminationAndHangUpRestoreTheTerminalAndEndBySignal) {
    struct Case {
        const char* what;
        int sig;
        bool by_key;
    };
    const Case cases[] = {{"Ctrl-C", SIGINT, true}, {"SIGTERM", SIGTERM, false}, {"SIGHUP", SIGHUP, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        start();
        if (c.by_key) {
            type("\x03");
        } else {
            ::kill(panel_, c.sig);
        }
        const int status = exit_status();
        EXPECT_TRUE(WIFSIGNALED(status));
        EXPECT_EQ(WTERMSIG(status), c.sig);
        EXPECT_TRUE(same_attributes(attributes(), before_));
        if (c.sig != SIGHUP) {
            drain(100ms);
            EXPECT_NE(fresh_.rfind(LEAVE), std::string::npos);
        }
        TearDown();
        shell_ = panel_ = master_ = report_ = -1;
    }
}

TEST_F(PanelOnPty, SuspendRestoresTheTerminalAndResumeBringsThePanelBack) {
    start();
    type("\x1a");  // Ctrl-Z
    const auto deadline = Clock::now() + 3s;
    while (process_state(panel_) != 'T' && Clock::now() < deadline) drain(20ms);
    ASSERT_EQ(process_state(panel_), 'T');
    EXPECT_TRUE(same_attributes(attributes(), before_));
    drain(100ms);
    EXPECT_EQ(fresh_.find("\x1b[10;30f"), std::string::npos) << "drawing while stopped";

    ::kill(panel_, SIGCONT);
    ASSERT_TRUE(wait_output("\x1b[10;30f", 2s));
    ASSERT_TRUE(wait_output("\x1b[11;30f", 2s));
    const termios now = attributes();
    EXPECT_EQ(now.c_lflag & (ECHO | ICANON), 0U);
    type("dd");
    EXPECT_TRUE(wait_output("02: ", 2s));
    drain(200ms);
    EXPECT_EQ(fresh_.find('d'), std::string::npos);
    type("\x03");
    EXPECT_EQ(WTERMSIG(exit_status()), SIGINT);
}

TEST_F(PanelOnPty, SuspendIgnoredAtStartStaysIgnored) {
    start(/*ignore_tstp=*/true);
    type("\x1a");
    drain(400ms);
    EXPECT_NE(process_state(panel_), 'T');
    EXPECT_EQ(attributes().c_lflag & (ECHO | ICANON), 0U);
    EXPECT_TRUE(wait_output("\x1b[10;30f", 1s));
}

}  // namespace
}  // namespace panel::e2e
