// The control cycle's clock. Every cycle starts at a deadline on the
// monotonic clock, the deadlines one period apart from start-up, so the work
// of a cycle and the latency of waking up never add to the period and ten
// cycles are one second. A panel that was stopped or starved for a period or
// more runs one cycle late and then keeps the rhythm from that moment: it
// never races through the cycles it missed.
#pragma once

#include <cstdint>

namespace panel {

inline constexpr std::int64_t CYCLE_PERIOD_NS = 100'000'000;

// A clock in nanoseconds, and a sleep that returns at or after a deadline on
// it. Tests pass a fake one.
struct PacingClock {
    std::int64_t (*now)(void* context);
    void (*sleep_until)(void* context, std::int64_t deadline);
    void* context;
};

// The monotonic clock, sleeping with clock_nanosleep to an absolute time and
// again to the same deadline when a signal cuts the sleep short.
PacingClock monotonic_clock();

class Pacer {
public:
    // The first deadline is one period after now.
    explicit Pacer(const PacingClock& clock);
    // Sleeps until the deadline, then sets the next one.
    void wait();
    [[nodiscard]] std::int64_t deadline() const { return deadline_; }

private:
    PacingClock clock_;
    std::int64_t deadline_;
};

}  // namespace panel
