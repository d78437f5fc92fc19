// The real binary: keys replayed one byte per cycle, standard streams that
// fail, and a pseudo-terminal under a tiny job-control "shell" that gives the
// panel its own foreground process group (so that Ctrl-Z can stop it).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utmp.h>

#include <csignal>
#include <cstring>
#include <thread>

#include "screen.h"
#include "test_support.h"

namespace {

using namespace std::chrono_literals;
const std::string LEAVE = "\x1b[0m\x1b[12;1f\x1b[J";  // what an interrupted panel writes last

// What fd yields within span, until done(text), or until its writers are all
// gone (end of file, or EIO from a pseudo-terminal whose slave is closed).
template <typename Done = bool (*)(const std::string&)>
std::string read_for(
    int fd, std::chrono::milliseconds span, Done done = [](const std::string&) { return false; }) {
    const auto deadline = std::chrono::steady_clock::now() + span;
    std::string text;
    char buffer[4096];
    while (!done(text) && std::chrono::steady_clock::now() < deadline) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 20) <= 0) continue;
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n <= 0) break;
        text.append(buffer, static_cast<std::size_t>(n));
    }
    return text;
}

// A read_for condition: text has appeared.
auto until(const std::string& text) {
    return [text](const std::string& s) { return s.find(text) != std::string::npos; };
}

long voluntary_switches(pid_t pid) {
    const std::string status = panel::test::slurp("/proc/" + std::to_string(pid) + "/status");
    const std::size_t at = status.find("\nvoluntary_ctxt_switches:");
    return at == std::string::npos ? -1 : std::stol(status.substr(at + 25));
}

// Sends sig to a child this test started (never to an id below 1) and
// returns the signal that ended it.
int end_signal(pid_t pid, int sig) {
    int status = 0;
    if (pid < 1 || ::kill(pid, sig) != 0 || ::waitpid(pid, &status, 0) != pid) return -1;
    return WIFSIGNALED(status) ? WTERMSIG(status) : -1;
}

TEST(EndToEnd, ReplaySendsTheCyclesBytesOnTheClock) {
    // A 3 s run in the temperature form (c a, a quiet cycle, e in cycle 4)
    // ends in cycle 34 with a bell; the door opens in 36, which resets the
    // panel before the next bell. Odd bytes wait, and past the end of the pipe
    // the panel reads 255.
    const std::string keys = "caxe" + std::string(20, 'x') + "\xff\x80\x1b[A" + std::string(5, '.') + "xfd";
    const std::size_t cycles = keys.size() + 2;
    // The same cycles in-process: every byte they flush, and where each
    // cycle's bytes end.
    panel::Panel p = panel::test::started();
    std::string expected;
    std::vector<std::size_t> ends;
    {
        panel::test::Recorder rec(p);
        for (std::size_t n = 0; n < cycles; ++n) {
            panel::Control_Cycle(p, static_cast<std::int8_t>(n < keys.size() ? keys[n] : '\xff'));
            for (const std::string& batch : rec.batches) expected += batch;
            rec.batches.clear();
            ends.push_back(expected.size());
        }
    }
    EXPECT_EQ(std::count(expected.begin(), expected.end(), '\a'), 1);
    int in[2], out[2];
    ASSERT_EQ(::pipe(in) | ::pipe(out), 0);
    ASSERT_EQ(::write(in[1], keys.data(), keys.size()), ssize_t(keys.size()));
    ::close(in[1]);
    const pid_t pid = panel::test::spawn(COOKER_PANEL_BINARY, {}, in[0], out[1], STDERR_FILENO);
    ASSERT_GT(pid, 0);
    ::close(in[0]), ::close(out[1]);
    std::vector<std::chrono::steady_clock::time_point> arrived;  // when each cycle's bytes were all there
    const std::string sent = read_for(out[0], 10s, [&](const std::string& s) {
        while (arrived.size() < cycles && s.size() >= ends[arrived.size()])
            arrived.push_back(std::chrono::steady_clock::now());
        return arrived.size() == cycles;
    });
    EXPECT_EQ(end_signal(pid, SIGINT), SIGINT);
    ::close(out[0]);
    ASSERT_EQ(arrived.size(), cycles);
    EXPECT_EQ(sent.substr(0, expected.size()), expected);
    // Ten cycles a second, on the panel's own clock: the period that best
    // fits when each cycle's bytes arrived, so that a reader late once on a
    // busy machine moves it little (one cycle read 100 ms late, under 1 ms).
    double sum_n = 0, sum_t = 0, sum_nn = 0, sum_nt = 0;
    for (std::size_t n = 1; n < cycles; ++n) {
        const double t = std::chrono::duration<double, std::milli>(arrived[n] - arrived[1]).count();
        sum_n += double(n), sum_t += t, sum_nn += double(n * n), sum_nt += double(n) * t;
    }
    const double count = double(cycles - 1);
    EXPECT_NEAR((count * sum_nt - sum_n * sum_t) / (count * sum_nn - sum_n * sum_n), 100.0, 1.5);
}

TEST(EndToEnd, FailingStreamsNeverStopTheCycle) {
    // Three panels at once: stdin /dev/null or closed; stdout closed, a pipe
    // read at the end, or one whose reader leaves.
    const struct {
        bool in_closed, out_closed, reader_leaves;
    } cases[] = {{false, true, false}, {false, false, true}, {true, false, false}};
    pid_t pids[3];
    int outs[3];
    long switches[3];  // voluntary context switches: a count, then the second's
    for (std::size_t i = 0; i < 3; ++i) {
        const int null_in = ::open("/dev/null", O_RDONLY);
        int out[2];
        ASSERT_EQ(::pipe(out), 0);
        pids[i] = panel::test::spawn(COOKER_PANEL_BINARY, {}, cases[i].in_closed ? -1 : null_in,
                                     cases[i].out_closed ? -1 : out[1], STDERR_FILENO);
        ::close(out[1]), ::close(null_in);
        outs[i] = out[0];
    }
    std::this_thread::sleep_for(300ms);
    for (std::size_t i = 0; i < 3; ++i) {
        if (cases[i].reader_leaves) ::close(outs[i]);
        switches[i] = voluntary_switches(pids[i]);
    }
    std::this_thread::sleep_for(1s);
    // About ten sleeps a second: neither blocked (one switch at most) nor
    // spinning (none). A panel starved of the processor on a busy machine
    // sleeps less often, never less than every few cycles. All three are
    // read at once, before any is ended, so each is read over the same second.
    for (std::size_t i = 0; i < 3; ++i) switches[i] = voluntary_switches(pids[i]) - switches[i];
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_TRUE(switches[i] >= 3 && switches[i] <= 30) << i << ": " << switches[i];
        EXPECT_EQ(end_signal(pids[i], SIGTERM), SIGTERM) << i;  // alive until then, and ends by the signal
        if (!cases[i].reader_leaves) {
            const std::string seen = read_for(outs[i], 1s);
            EXPECT_TRUE(cases[i].out_closed || seen.ends_with(LEAVE)) << i;
            ::close(outs[i]);
        }
    }
}

// A tiny job-control shell on a pseudo-terminal. It starts the panel in a
// process group of its own, in the foreground or in the background, takes
// the terminal back whenever the panel stops (as a shell does), and obeys
// one-letter commands from the test: f (fg), b (bg), t (kill %1: SIGTERM,
// then SIGCONT). It reports the panel's id through a pipe and exits with 128
// and the signal that ended the panel.
class OnPty : public ::testing::Test {
protected:
    enum class Start : std::uint8_t { FOREGROUND, BACKGROUND };

    void start(Start where = Start::FOREGROUND, bool ignore_tstp = false) {
        int slave = -1, report[2], control[2];
        ASSERT_EQ(::openpty(&master_, &slave, nullptr, nullptr, nullptr), 0);
        ASSERT_EQ(::tcgetattr(master_, &before_), 0);
        ASSERT_EQ(::pipe(report) | ::pipe(control), 0);
        shell_ = ::fork();
        ASSERT_GE(shell_, 0) << "fork";
        if (shell_ == 0) {
            ::close(report[0]), ::close(control[1]), ::close(master_);
            ::login_tty(slave);
            ::signal(SIGTTOU, SIG_IGN);
            const pid_t panel = ::fork();
            if (panel == 0) {
                ::setpgid(0, 0);
                if (where == Start::FOREGROUND) ::tcsetpgrp(0, ::getpid());
                ::signal(SIGTTOU, SIG_DFL);
                ::signal(SIGTSTP, ignore_tstp ? SIG_IGN : SIG_DFL);
                const rlimit no_core{0, 0};  // SIGQUIT would dump one
                ::setrlimit(RLIMIT_CORE, &no_core);
                ::execl(COOKER_PANEL_BINARY, COOKER_PANEL_BINARY, nullptr);
                ::_exit(127);
            }
            (void)!::write(report[1], &panel, sizeof panel);
            if (panel < 0) ::_exit(1);
            ::setpgid(panel, panel);  // whichever of the two runs first
            bool stopped = false;
            auto collect = [&](int options) {
                int status = 0;
                const pid_t done = ::waitpid(panel, &status, WUNTRACED | options);
                if (done == panel && WIFSTOPPED(status)) ::tcsetpgrp(0, ::getpgrp()), stopped = true;
                if (done == panel && (WIFEXITED(status) || WIFSIGNALED(status)))
                    ::_exit(WIFSIGNALED(status) ? 128 + WTERMSIG(status) : 1);
            };
            for (;;) {
                collect(WNOHANG);
                pollfd p{control[0], POLLIN, 0};
                char command = 0;
                if (::poll(&p, 1, 10) > 0 && ::read(control[0], &command, 1) == 1) {
                    // fg and bg act on a stopped job, as a shell's do.
                    if ((command == 'f' || command == 'b') && !stopped) collect(0);
                    // The panel's own group (its id is above 0: checked above).
                    if (command == 'f') ::tcsetpgrp(0, panel), ::killpg(panel, SIGCONT);
                    if (command == 'b') ::killpg(panel, SIGCONT);
                    if (command == 't') ::killpg(panel, SIGTERM), ::killpg(panel, SIGCONT);
                    stopped = false;
                }
            }
        }
        ::close(slave), ::close(report[1]), ::close(control[0]);
        control_ = control[1];
        pid_t panel = -1;
        pollfd p{report[0], POLLIN, 0};
        if (::poll(&p, 1, 3000) > 0 && ::read(report[0], &panel, sizeof panel) == sizeof panel)
            panel_ = panel;
        ::close(report[0]);
        ASSERT_GT(panel_, 0) << "the shell did not report the panel";
        if (where == Start::FOREGROUND) read_for(master_, 3s, until("[11;30f"));
    }
    void TearDown() override {
        // Only ids that this test's shell reported, never 0 or -1.
        if (panel_ > 0) ::kill(panel_, SIGKILL);
        if (shell_ > 0) ::kill(shell_, SIGKILL), ::waitpid(shell_, nullptr, 0);
        for (int* fd : {&master_, &control_}) {
            if (*fd >= 0) ::close(*fd);
            *fd = -1;
        }
        panel_ = shell_ = -1;
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
    void shell(char command) { ASSERT_EQ(::write(control_, &command, 1), 1); }
    // Waits (at most for span) for the panel's end: the signal that ended it,
    // and whether it left cleanly. The pseudo-terminal is read to its end,
    // so what the panel wrote last is never lost.
    std::pair<int, bool> ending(std::chrono::milliseconds span = 5s) {
        const auto deadline = std::chrono::steady_clock::now() + span;
        std::string out;
        int status = 0;
        pid_t done = 0;
        while ((done = ::waitpid(shell_, &status, WNOHANG)) == 0 &&
               std::chrono::steady_clock::now() < deadline)
            out += read_for(master_, 20ms);
        if (done != shell_) return {-1, false};
        shell_ = panel_ = -1;
        out += read_for(master_, 2s);
        last_output_ = out;
        return {WEXITSTATUS(status) - 128, out.find(LEAVE) != std::string::npos};
    }
    void type(const char* keys) { ASSERT_GT(::write(master_, keys, std::strlen(keys)), 0); }
    pid_t shell_ = -1, panel_ = -1;
    int master_ = -1, control_ = -1;
    termios before_{};
    std::string last_output_;
};

TEST_F(OnPty, CharacterModeWithoutEchoSuspendResumeInterrupt) {
    start();
    EXPECT_EQ(now().c_lflag, before_.c_lflag & ~tcflag_t(ECHO | ECHOCTL | ICANON));  // ISIG and the rest untouched
    EXPECT_EQ(now().c_cc[VMIN], 1);
    EXPECT_EQ(now().c_cc[VTIME], 0);
    type("d");
    const std::string out = read_for(master_, 3s, until("01: "));
    EXPECT_NE(out.find("01: "), std::string::npos);
    EXPECT_EQ(out.find('d'), std::string::npos) << "echoed";  // no panel output holds a 'd'

    type("\x1a");  // Ctrl-Z: stopped, with the terminal as it was found
    EXPECT_NE(read_for(master_, 3s, until(LEAVE)).find(LEAVE), std::string::npos);
    EXPECT_TRUE(restored());
    EXPECT_EQ(read_for(master_, 300ms), "") << "drawing while stopped";

    shell('f');  // back in character mode, drawing from a positioning on
    const std::string resumed = read_for(master_, 3s, until("\x1b[0m01: "));
    EXPECT_EQ(resumed.substr(0, 8), "\x1b[10;30f") << "held bytes drawn at the shell's cursor";
    EXPECT_NE(resumed.find("\x1b[0m01: "), std::string::npos) << "no plain redraw after the resume";
    EXPECT_EQ(now().c_lflag & (ECHO | ICANON), 0U);
    type("\x03");
    EXPECT_EQ(ending(), std::pair(SIGINT, true));
    EXPECT_TRUE(restored());
}

TEST_F(OnPty, TerminationHangUpAndQuitRestoreTheTerminal) {
    for (const int sig : {SIGTERM, SIGHUP, SIGQUIT}) {
        start();
        ASSERT_GT(panel_, 0);
        ::kill(panel_, sig);
        EXPECT_EQ(ending(), std::pair(sig, true)) << sig;
        EXPECT_TRUE(restored()) << sig;
        TearDown();
    }
}

TEST_F(OnPty, JobControlStoppedOrInTheBackgroundEndsOnSigterm) {
    const struct {
        const char* name;
        Start where;
        const char* before;  // shell commands before kill %1; 'z' types Ctrl-Z
    } cases[] = {
        {"stopped", Start::FOREGROUND, "z"},
        {"started in the background", Start::BACKGROUND, ""},
        {"continued in the background", Start::FOREGROUND, "zb"},
    };
    for (const auto& c : cases) {
        start(c.where);
        std::string seen;
        for (const char* command = c.before; *command != '\0'; ++command) {
            if (*command == 'z') {
                type("\x1a");
                seen += read_for(master_, 3s, until(LEAVE));
            } else {
                shell(*command);
            }
        }
        // Settled: stopped, waiting, or drawing in the background without
        // touching the terminal's modes.
        seen += read_for(master_, 300ms);
        EXPECT_TRUE(restored()) << c.name;
        shell('t');
        EXPECT_EQ(ending(1s).first, SIGTERM) << c.name;
        EXPECT_TRUE(restored()) << c.name;
        last_output_ = seen + last_output_;
        // After the cursor left the panel, nothing but a positioning follows:
        // no held redraw lands at the shell's cursor.
        for (std::size_t at = last_output_.find(LEAVE); at != std::string::npos;
             at = last_output_.find(LEAVE, at + 1)) {
            const std::string next = last_output_.substr(at + LEAVE.size(), 8);
            EXPECT_TRUE(next.empty() || next == "\x1b[10;30f" || next.starts_with("\x1b[0m"))
                << c.name << ": " << testing::PrintToString(last_output_.substr(at, 60));
        }
        TearDown();
    }
}

TEST(EndToEnd, ArgumentsAndATooSmallTerminalAreRefusedUntouched) {
    const std::string usage = "\nTry 'cooker-panel --help' for more information.\n";
    const struct {
        std::vector<std::string> args;
        unsigned short rows, columns;
        int status;
        std::string err;
    } cases[] = {
        {{"x"}, 24, 80, 2, "cooker-panel: extra operand 'x'" + usage},
        {{"--version=1"}, 24, 80, 2, "cooker-panel: option '--version' doesn't allow an argument" + usage},
        {{}, 11, 80, 1, "cooker-panel: the terminal is 11 rows by 80 columns; the panel needs at least 12 by 45\n"},
        {{}, 24, 44, 1, "cooker-panel: the terminal is 24 rows by 44 columns; the panel needs at least 12 by 45\n"},
    };
    for (const auto& c : cases) {
        int master = -1, slave = -1, err[2];
        winsize size{c.rows, c.columns, 0, 0};
        ASSERT_EQ(::openpty(&master, &slave, nullptr, nullptr, &size), 0);
        ASSERT_EQ(::pipe(err), 0);
        termios before{};
        ::tcgetattr(master, &before);
        const pid_t pid = panel::test::spawn(COOKER_PANEL_BINARY, c.args, slave, slave, err[1]);
        ASSERT_GT(pid, 0);
        ::close(slave), ::close(err[1]);
        int status = 0;
        pid_t done = 0;
        for (int wait = 0; wait < 300 && (done = ::waitpid(pid, &status, WNOHANG)) == 0; ++wait)
            std::this_thread::sleep_for(10ms);
        if (done != pid) ::kill(pid, SIGKILL), ::waitpid(pid, &status, 0);  // our own child, above 0
        const std::string message = read_for(err[0], 1s);
        EXPECT_EQ((std::tuple(WIFEXITED(status) ? WEXITSTATUS(status) : -1, message)), (std::tuple(c.status, c.err)));
        EXPECT_EQ(read_for(master, 50ms), "") << "the terminal was written to";
        termios after{};
        ::tcgetattr(master, &after);
        EXPECT_EQ(std::memcmp(&before, &after, sizeof after), 0);
        ::close(master), ::close(err[0]);
    }
    const panel::test::Result help = panel::test::run_program(COOKER_PANEL_BINARY, {"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.out.substr(0, help.out.find('\n')), "Usage: cooker-panel [OPTION]");
    EXPECT_NE(help.out.find("  f  door: open / close\n"), std::string::npos);
    EXPECT_NE(help.out.find("\n\n      --help     display this help and exit\n"
                            "      --version  output version information and exit\n\n"),
              std::string::npos);
    EXPECT_EQ(panel::test::run_program(COOKER_PANEL_BINARY, {"--version"}).out, "cooker-panel 1.0.0\n");
}

// Where text shows the panel's one clear, and how many it holds.
const std::string CLEAR = "\x1b[H\x1b[2J";
std::size_t clears(const std::string& text) {
    std::size_t count = 0;
    for (std::size_t at = text.find(CLEAR); at != std::string::npos; at = text.find(CLEAR, at + 1)) ++count;
    return count;
}

// A read_for condition: the clear, then a whole cycle's drawing after it.
bool cleared_and_drawn(const std::string& s) {
    const std::size_t at = s.find(CLEAR);
    return at != std::string::npos && s.find("\x1b[11;30f", s.find("\x1b[11;30f", at) + 1) != std::string::npos;
}

TEST_F(OnPty, ResizeClearsOnceAndATooSmallTerminalShowsOnlyTheNotice) {
    start();  // a pseudo-terminal of 0 by 0: a size it does not know
    const auto resize = [this](unsigned short rows, unsigned short columns) {
        const winsize size{rows, columns, 0, 0};  // the kernel sends SIGWINCH to the panel's group
        ASSERT_EQ(::ioctl(master_, TIOCSWINSZ, &size), 0);
    };
    resize(12, 45);
    const std::string fitted = read_for(master_, 3s, cleared_and_drawn);
    EXPECT_EQ(clears(fitted), 1U);
    // A 3 s run at 30 degrees (c a, a quiet cycle, e), then 8 rows by 20
    // columns while it counts down to its end and the first bell.
    type("caxe");
    read_for(master_, 600ms);
    resize(8, 20);
    const std::string small = read_for(master_, 8s, until("\a"));
    EXPECT_EQ(clears(small), 1U) << testing::PrintToString(small);
    ASSERT_NE(small.find(CLEAR), std::string::npos);
    // Nothing but the notice, cut to the width, and the bell: no line drawn.
    EXPECT_EQ(small.substr(small.find(CLEAR) + CLEAR.size()), "needs 12 rows, 45 co\a");
    type("f");  // the door opens on the ended run: a reset before the next bell, drawn nowhere yet
    EXPECT_EQ(read_for(master_, 300ms), "");

    resize(12, 45);
    const std::string grown = read_for(master_, 3s, cleared_and_drawn);
    EXPECT_EQ(clears(grown), 1U) << testing::PrintToString(grown);
    EXPECT_EQ(grown.find(CLEAR), 0U) << "drawn before the clear";
    // The panel's two lines as the same keys leave them in-process, and no
    // other row written.
    panel::Panel p = panel::test::started();
    panel::trace::Screen expected;
    {
        panel::test::Recorder rec(p);
        panel::test::run(p, "c a x e .{30} f .{10}");
        for (const std::string& batch : rec.batches) expected.feed(batch);
    }
    panel::trace::Screen shown;  // from the clear on
    shown.feed(grown.substr(CLEAR.size()));
    for (int row = 1; row <= panel::trace::Screen::ROWS; ++row) {
        EXPECT_EQ(shown.text(row), row == 10 || row == 11 ? expected.text(row) : "") << row;
        EXPECT_EQ(shown.color(row), expected.color(row)) << row;
    }
    EXPECT_EQ(expected.color(10), 33) << "the open door lights the backlight";
}

// The panel is the program that would become firmware: it links the C
// library alone (no C++ runtime, whose loading alone costs a megabyte of
// resident memory), and runs in under 2 MB.
TEST(EndToEnd, PanelLinksOnlyTheCLibraryAndStaysSmall) {
    const std::string panel = COOKER_PANEL_BINARY;
    const panel::test::Result needed = panel::test::run_program(
        "/bin/sh", {"-c", "readelf -d \"$0\" | sed -n 's/.*(NEEDED).*\\[\\(.*\\)\\]/\\1/p'", panel});
    ASSERT_EQ(needed.status, 0) << needed.err;
#ifndef __SANITIZE_ADDRESS__  // the sanitizers' link brings their runtimes, and the C++ runtime with them
    EXPECT_EQ(needed.out, "libc.so.6\n");
#endif
    // Not one symbol of the C++ runtime (operator new, std::__throw_*, the
    // personality routine, the unwinder): the C library's __cxa_finalize is
    // the only __cxa_ one.
    const panel::test::Result symbols = panel::test::run_program(
        "/bin/sh", {"-c", "nm -D --undefined-only \"$0\" | grep -E ' (_Z|__gxx_|_Unwind_)|@(GLIBCXX|CXXABI|GCC)_'",
                    panel});
    EXPECT_EQ((std::tuple(symbols.status, symbols.out)), (std::tuple(1, ""))) << symbols.err;
#ifndef __SANITIZE_ADDRESS__  // whose shadow memory is no part of the program's
    if (::access("/usr/bin/time", X_OK) == 0) {  // GNU time reports the peak resident memory in KB
        // One second of cycles with keys from a file, then SIGTERM to the
        // panel, GNU time's child (an id read from /proc, never below 2).
        const int in = ::open("/dev/null", O_RDONLY), null_out = ::open("/dev/null", O_WRONLY);
        int err[2];
        ASSERT_EQ(::pipe(err), 0);
        const pid_t time = panel::test::spawn("/usr/bin/time", {"-f", "%M", panel}, in, null_out, err[1]);
        ::close(in), ::close(null_out), ::close(err[1]);
        ASSERT_GT(time, 0);
        std::this_thread::sleep_for(1s);
        const std::string children = panel::test::slurp("/proc/" + std::to_string(time) + "/task/" +
                                                        std::to_string(time) + "/children");
        const pid_t child = children.empty() ? -1 : std::stoi(children);
        if (child > 1) ::kill(child, SIGTERM);
        const std::string report = read_for(err[0], 3s);  // time's note of the signal, then the KB
        ::close(err[0]);
        int status = 0;
        ::waitpid(time, &status, 0);
        ASSERT_GT(child, 1) << "no panel under GNU time";
        ASSERT_GE(report.size(), 2U) << report;
        EXPECT_LT(std::stol(report.substr(report.rfind('\n', report.size() - 2) + 1)), 2 * 1024) << report;
    }
#endif
}

TEST_F(OnPty, SuspendIgnoredAtStartStaysIgnored) {
    start(Start::FOREGROUND, /*ignore_tstp=*/true);
    type("\x1a");
    read_for(master_, 200ms);  // what was drawn before the key
    EXPECT_NE(read_for(master_, 3s, until("\x1b[10;30f")).find("\x1b[10;30f"), std::string::npos);
    EXPECT_EQ(now().c_lflag & (ECHO | ICANON), 0U);
}

}  // namespace
