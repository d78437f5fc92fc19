// No heap allocation after start: every operator new in this test binary is
// counted, and many cycles of every kind must add none.
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

namespace panel {
namespace {

void count_only(void* total, const char*, std::size_t size) { *static_cast<std::size_t*>(total) += size; }

TEST(Allocation, CyclesAllocateNothing) {
    std::size_t bytes = 0;
    panel_output().set_handler(&count_only, &bytes);
    Panel p = test::started_panel();
    // Set, run to the end with bells, reset, cancel, open and close, modes.
    const std::string session = "caaaxcae" + std::string(130, 'x') + "ffdddxe" + std::string(20, 'x') + "e" +
                                "dddddd" + "\xff\x80\x1b[A";
    const long before = allocations.load();
    for (int round = 0; round < 200; ++round) {
        for (const char key : session) Control_Cycle(p, static_cast<std::int8_t>(key));
        for (int i = 0; i < 50; ++i) Control_Cycle(p, std::nullopt);
    }
    EXPECT_EQ(allocations.load() - before, 0);
    EXPECT_GT(bytes, 0U);
    panel_output().set_handler(&test::discard, nullptr);
}

}  // namespace
}  // namespace panel
