// The real binary: keys replayed one byte per cycle, standard streams that
// fail, and a pseudo-terminal under a tiny job-control "shell" that gives the
// panel its own foreground process group (so that Ctrl-Z can stop it).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utmp.h>

#include <csignal>
#include <cstring>
#include <fstream>
#include <thread>

namespace {

using namespace std::chrono_literals;
const std::string LEAVE = "\x1b[0m\x1b[12;1f";  // what an interrupted panel writes last

// Starts the panel with in/out as descriptors 0/1 (-1: closed).
pid_t spawn(int in, int out) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        in < 0 ? ::close(0) : ::dup2(in, 0);
        out < 0 ? ::close(1) : ::dup2(out, 1);
        ::execl(COOKER_PANEL_BINARY, COOKER_PANEL_BINARY, nullptr);
        ::_exit(127);
    }
    return pid;
}

// What fd yields within span, or until done(text).
template <typename Done = bool (*)(const std::string&)>
std::string read_for(
    int fd, std::chrono::milliseconds span, Done done = [](const std::string&) { return false; }) {
    const auto deadline = std::chrono::steady_clock::now() + span;
    std::string text;
    char buffer[4096];
    while (!done(text) && std::chrono::steady_clock::now() < deadline) {
        pollfd p{fd, POLLIN, 0};
        const ssize_t n = ::poll(&p, 1, 20) > 0 ? ::read(fd, buffer, sizeof buffer) : 0;
        if (n > 0) text.append(buffer, static_cast<std::size_t>(n));
    }
    return text;
}

long voluntary_switches(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    std::string word;
    long value = -1;
    while (in >> word) {
        if (word == "voluntary_ctxt_switches:") in >> value;
    }
    return value;
}

int end_signal(pid_t pid, int sig) {
    int status = 0;
    ::kill(pid, sig);
    ::waitpid(pid, &status, 0);
    return WIFSIGNALED(status) ? WTERMSIG(status) : -1;
}

TEST(EndToEnd, KeyScriptSession) {
    // 1 c, 2-4 a a a (50C), 6 c back to the time, 7 a (10 s), 8 e: the run
    // ends in cycle 107 with bells in 107, 117, 127; the door opens in 128.
    int in[2], out[2];
    ASSERT_EQ(::pipe(in) | ::pipe(out), 0);
    const std::string keys = "caaaxcae" + std::string(119, 'x') + "f";
    ASSERT_EQ(::write(in[1], keys.data(), keys.size()), ssize_t(keys.size()));
    ::close(in[1]);
    const pid_t pid = spawn(in[0], out[1]);
    ::close(in[0]), ::close(out[1]);
    const std::string mark = "\x1b[10;30f";
    std::vector<std::string> cycle{""};  // cycle[n]: what cycle n drew, from its row-10 positioning on
    read_for(out[0], 20s, [&](const std::string& s) {
        cycle.resize(1);
        for (std::size_t at = s.find(mark); at != std::string::npos; at = s.find(mark, at + 1)) {
            cycle.push_back(s.substr(at + mark.size(), s.find(mark, at + 1) - at - mark.size()));
        }
        return cycle.size() > 131;
    });
    EXPECT_EQ(end_signal(pid, SIGINT), SIGINT);
    ::close(out[0]);
    ASSERT_GT(cycle.size(), 131U);
    auto starts = [&](std::size_t n, const std::string& text) { return cycle[n].rfind(text, 0) == 0; };
    EXPECT_TRUE(starts(1, "\x1b[32m20C\x1b[0m   \x1b[11;30f\x1b[32m00: manual\x1b[0m     \x1b[11;30f"));
    EXPECT_TRUE(starts(5, "\x1b[32m50C\x1b[0m   "));
    EXPECT_TRUE(starts(8, "\x1b[32m00:10\x1b[0m "));  // the start cycle is still green
    for (std::size_t n = 9; n <= 128; ++n) {
        const int shown = n > 107 ? 0 : 10 - static_cast<int>(n - 8) / 10;
        EXPECT_TRUE(starts(n, (n > 107 ? "\x1b[32m00:" : "\x1b[33m00:") + std::to_string(shown / 10) +
                                  std::to_string(shown % 10)))
            << n;
    }
    for (std::size_t n = 1; n + 1 < cycle.size(); ++n) {
        EXPECT_EQ(cycle[n].find('\a') != std::string::npos, n == 107 || n == 117 || n == 127) << n;
        EXPECT_NE(cycle[n].find("\x1b[11;30f\x1b[0m00: manual\x1b[0m     "), std::string::npos) << n;
    }
    EXPECT_TRUE(starts(129, "\x1b[33m00:00\x1b[0m "));  // reset, and the open door lights the panel
}

TEST(EndToEnd, FailingStreamsNeverStopTheCycle) {
    // stdin closed or /dev/null; stdout closed, a pipe read throughout, or one whose reader leaves.
    const struct {
        bool in_closed, out_closed, reader_leaves;
    } cases[] = {{false, true, false}, {false, false, true}, {true, false, false}};
    for (const auto& c : cases) {
        const int null_in = ::open("/dev/null", O_RDONLY);
        int out[2];
        ASSERT_EQ(::pipe(out), 0);
        const pid_t pid = spawn(c.in_closed ? -1 : null_in, c.out_closed ? -1 : out[1]);
        ::close(out[1]), ::close(null_in);
        std::string seen = read_for(out[0], 300ms);
        if (c.reader_leaves) ::close(out[0]);
        // About ten sleeps a second: neither blocked nor spinning.
        const long before = voluntary_switches(pid);
        seen += c.reader_leaves ? (std::this_thread::sleep_for(1s), "") : read_for(out[0], 1s);
        const long switches = voluntary_switches(pid) - before;
        EXPECT_TRUE(switches >= 6 && switches <= 30) << switches;
        EXPECT_EQ(end_signal(pid, SIGTERM), SIGTERM);  // alive until then, and ends by the signal
        if (!c.reader_leaves) {
            seen += read_for(out[0], 200ms);
            EXPECT_TRUE(c.out_closed || seen.substr(seen.size() - LEAVE.size()) == LEAVE);
            ::close(out[0]);
        }
    }
}

class OnPty : public ::testing::Test {
protected:
    void start(bool ignore_tstp = false) {
        int slave = -1;
        ASSERT_EQ(::openpty(&master_, &slave, nullptr, nullptr, nullptr), 0);
        ASSERT_EQ(::tcgetattr(master_, &before_), 0);
        shell_ = ::fork();
        if (shell_ == 0) {  // the shell: waits for the panel and exits with 128 + its signal
            ::login_tty(slave);
            ::signal(SIGTTOU, SIG_IGN);
            const pid_t panel = ::fork();
            if (panel == 0) {
                ::setpgid(0, 0);
                ::tcsetpgrp(0, ::getpid());
                ::signal(SIGTTOU, SIG_DFL);
                ::signal(SIGTSTP, ignore_tstp ? SIG_IGN : SIG_DFL);
                ::execl(COOKER_PANEL_BINARY, COOKER_PANEL_BINARY, nullptr);
            }
            int status = 0;
            ::waitpid(panel, &status, 0);
            ::_exit(WIFSIGNALED(status) ? 128 + WTERMSIG(status) : 1);
        }
        ::close(slave);
        read_for(master_, 2s, [](const std::string& s) { return s.find("[11;30f") != s.npos; });
        std::ifstream("/proc/" + std::to_string(shell_) + "/task/" + std::to_string(shell_) + "/children") >>
            panel_;
    }
    void TearDown() override {
        if (shell_ > 0) ::kill(panel_, SIGKILL), ::waitpid(shell_, nullptr, 0);
        ::close(master_);
    }
    termios now() const {
        termios t{};
        ::tcgetattr(master_, &t);
        return t;
    }
    bool restored() const {
        const termios t = now();
        return std::memcmp(&t, &before_, sizeof t) == 0;
    }
    // Waits for the panel's end: the signal that ended it, and whether it left cleanly.
    std::pair<int, bool> ending() {
        std::string out;
        int status = 0;
        while (::waitpid(shell_, &status, WNOHANG) == 0) out += read_for(master_, 20ms);
        shell_ = -1;
        return {WEXITSTATUS(status) - 128, out.find(LEAVE) != std::string::npos};
    }
    void type(const char* keys) { ASSERT_GT(::write(master_, keys, std::strlen(keys)), 0); }
    pid_t shell_ = -1, panel_ = -1;
    int master_ = -1;
    termios before_{};
};

TEST_F(OnPty, CharacterModeWithoutEchoSuspendResumeInterrupt) {
    start();
    EXPECT_EQ(now().c_lflag, before_.c_lflag & ~tcflag_t(ECHO | ICANON));  // ISIG and the rest untouched
    EXPECT_EQ(now().c_cc[VMIN], 1);
    EXPECT_EQ(now().c_cc[VTIME], 0);
    type("d");
    std::string out = read_for(master_, 400ms);
    EXPECT_NE(out.find("01: "), std::string::npos);
    EXPECT_EQ(out.find('d'), std::string::npos) << "echoed";  // no panel output holds a 'd'

    type("\x1a");  // Ctrl-Z: stopped, with the terminal as it was found
    EXPECT_NE(read_for(master_, 300ms).find(LEAVE), std::string::npos);
    EXPECT_TRUE(restored());
    EXPECT_EQ(read_for(master_, 300ms), "") << "drawing while stopped";

    ::kill(panel_, SIGCONT);  // back in character mode, drawing
    EXPECT_NE(read_for(master_, 400ms).find("\x1b[10;30f"), std::string::npos);
    EXPECT_EQ(now().c_lflag & (ECHO | ICANON), 0U);
    type("\x03");
    EXPECT_EQ(ending(), std::pair(SIGINT, true));
    EXPECT_TRUE(restored());
}

TEST_F(OnPty, TerminationAndHangUpRestoreTheTerminal) {
    for (const int sig : {SIGTERM, SIGHUP}) {
        start();
        ::kill(panel_, sig);
        EXPECT_EQ(ending().first, sig);
        EXPECT_TRUE(restored()) << sig;
        TearDown();
    }
}

TEST_F(OnPty, SuspendIgnoredAtStartStaysIgnored) {
    start(/*ignore_tstp=*/true);
    type("\x1a");
    EXPECT_NE(read_for(master_, 400ms).find("\x1b[10;30f"), std::string::npos);
    EXPECT_EQ(now().c_lflag & (ECHO | ICANON), 0U);
}

}  // namespace
