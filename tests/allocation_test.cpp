// No heap allocation after start: every operator new of this binary is
// counted while cycles of every kind run.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "test_support.h"

namespace {
std::atomic<long> allocations{0};
}  // namespace

void* operator new(std::size_t size) {
    allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

TEST(Allocation, CyclesAllocateNothing) {
    // Set, run to the end with bells, reset, start and cancel, modes, odd bytes.
    const std::string session =
        "caaaxcae" + std::string(130, 'x') + "ffdddxe" + std::string(20, 'x') + "e" + "dddddd\xff\x80\x1b[A";
    panel::panel_output().set_handler(&panel::discard_output, nullptr);
    panel::Panel p = panel::test::started();
    const long before = allocations.load();
    for (int round = 0; round < 200; ++round) {
        for (const char key : session) panel::Control_Cycle(p, static_cast<std::int8_t>(key));
        for (int i = 0; i < 50; ++i) panel::Control_Cycle(p, std::nullopt);
    }
    EXPECT_EQ(allocations.load() - before, 0);
}
