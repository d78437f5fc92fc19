// Key polling on descriptor 0, exercised with a pipe standing in for the
// keyboard.
#include <gtest/gtest.h>

#include <chrono>
#include <fcntl.h>
#include <unistd.h>

#include "terminal.h"

namespace panel {
namespace {

// Puts the read end of a fresh pipe on descriptor 0 for the test's lifetime.
class PipeOnStdin : public ::testing::Test {
protected:
    void SetUp() override {
        saved_ = ::dup(STDIN_FILENO);
        ASSERT_EQ(::pipe(fds_), 0);
        ASSERT_EQ(::dup2(fds_[0], STDIN_FILENO), STDIN_FILENO);
    }
    void TearDown() override {
        ::dup2(saved_, STDIN_FILENO);
        ::close(saved_);
        ::close(fds_[0]);
        if (fds_[1] >= 0) ::close(fds_[1]);
    }
    void type(std::string_view bytes) { ASSERT_EQ(::write(fds_[1], bytes.data(), bytes.size()), ssize_t(bytes.size())); }
    void close_writer() {
        ::close(fds_[1]);
        fds_[1] = -1;
    }
    int saved_ = -1;
    int fds_[2] = {-1, -1};
};

TEST_F(PipeOnStdin, NoInputPollsZeroWithoutWaiting) {
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < 100; ++i) EXPECT_EQ(kbdhit(), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(50));
}

TEST_F(PipeOnStdin, BytesComeOnePerCallInOrderThenEndOfInputYields255) {
    type("a\x1b[A\xff");  // a key, an arrow key's three bytes, a high byte
    const int expected[] = {'a', 0x1b, '[', 'A', 0xff};
    for (int byte : expected) {
        ASSERT_EQ(kbdhit(), 1);
        EXPECT_EQ(getch(), byte);
    }
    EXPECT_EQ(kbdhit(), 0);
    close_writer();
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(kbdhit(), 1);
        EXPECT_EQ(getch(), 255);
    }
}

TEST(Terminal, FailedPollIsNotAKey) {
    // With descriptor 0 closed select fails; that must not read as a waiting
    // key, or the caller's read would be the next thing to fail or block.
    const int saved = ::dup(STDIN_FILENO);
    ::close(STDIN_FILENO);
    EXPECT_EQ(kbdhit(), 0);
    EXPECT_EQ(getch(), 255);
    ::dup2(saved, STDIN_FILENO);
    ::close(saved);
}

TEST(Terminal, CbreakRefusesADescriptorThatIsNotATerminal) {
    const int fd = ::open("/dev/null", O_RDONLY);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(tty_cbreak(fd), -1);
    ::close(fd);
}

}  // namespace
}  // namespace panel
