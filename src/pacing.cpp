#include "pacing.h"

#include <cerrno>
#include <ctime>

namespace panel {
namespace {

constexpr std::int64_t NS_PER_SECOND = 1'000'000'000;

std::int64_t monotonic_now(void* /*context*/) {
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::int64_t>(now.tv_sec) * NS_PER_SECOND + now.tv_nsec;
}

void monotonic_sleep_until(void* /*context*/, std::int64_t deadline) {
    const timespec until{static_cast<time_t>(deadline / NS_PER_SECOND),
                         static_cast<long>(deadline % NS_PER_SECOND)};
    while (::clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &until, nullptr) == EINTR) {
    }
}

}  // namespace

PacingClock monotonic_clock() { return {&monotonic_now, &monotonic_sleep_until, nullptr}; }

Pacer::Pacer(const PacingClock& clock)
    : clock_(clock), deadline_(clock.now(clock.context) + CYCLE_PERIOD_NS) {}

void Pacer::wait() {
    clock_.sleep_until(clock_.context, deadline_);
    const std::int64_t now = clock_.now(clock_.context);
    if (now - deadline_ >= CYCLE_PERIOD_NS) {
        deadline_ = now + CYCLE_PERIOD_NS;  // a whole period late: start the rhythm again from now
    } else {
        deadline_ += CYCLE_PERIOD_NS;  // on time or a little late: the next deadline stays on the grid
    }
}

}  // namespace panel
