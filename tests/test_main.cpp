// Test entry: panel output is discarded unless a test records it, so the
// drawing of cycles never reaches the test runner's terminal.
#include <gtest/gtest.h>

#include "test_support.h"

int main(int argc, char** argv) {
    panel::panel_output().set_handler(&panel::test::discard, nullptr);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
