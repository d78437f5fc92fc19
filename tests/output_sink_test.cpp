// The output sink on its own: decimal formatting, the overflow guard, and
// writing to a descriptor that works, has lost its reader, or is closed.
#include <gtest/gtest.h>

#include <csignal>
#include <climits>
#include <unistd.h>

#include "test_support.h"

namespace panel {
namespace {

TEST(OutputSink, DecimalsArePlainWithoutPadding) {
    const std::pair<std::int32_t, const char*> cases[] = {
        {0, "0"}, {7, "7"}, {33, "33"}, {-5, "-5"}, {INT32_MAX, "2147483647"}, {INT32_MIN, "-2147483648"}};
    for (const auto& [value, text] : cases) {
        test::Recorder rec;
        panel_output().put_decimal(value);
        panel_output().flush();
        EXPECT_EQ(rec.bytes(), text);
    }
}

TEST(OutputSink, FullBufferIsHandedOnRatherThanLost) {
    test::Recorder rec;
    const std::string long_text(OutputSink::CAPACITY + 10, 'z');
    panel_output().put(long_text.data(), long_text.size());
    EXPECT_EQ(rec.batches().size(), 1U);
    panel_output().flush();
    EXPECT_EQ(rec.bytes(), long_text);
}

TEST(OutputSink, WritesSurviveAMissingReaderOrDescriptor) {
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    write_all(fds[1], "abc", 3);
    char got[4] = {};
    ASSERT_EQ(::read(fds[0], got, 3), 3);
    EXPECT_STREQ(got, "abc");

    // Reader gone: the write fails with EPIPE and the bytes are dropped.
    const auto previous = ::signal(SIGPIPE, SIG_IGN);
    ::close(fds[0]);
    write_all(fds[1], "lost", 4);
    ::close(fds[1]);
    write_all(fds[1], "closed", 6);  // a closed descriptor: dropped as well
    ::signal(SIGPIPE, previous);
}

}  // namespace
}  // namespace panel
