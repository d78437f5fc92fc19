// Cost of the control cycle's own work, with output into a memory sink:
// one cycle of an idle panel, one of a running panel, a whole 300 s run, and
// one cycle of the trace program, and the explorer's whole search.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstddef>
#include <memory>

#include "control_cycle.h"
#include "key_script.h"
#include "output_sink.h"
#include "properties.h"
#include "state_space.h"
#include "trace_writer.h"

namespace {

// Counts the bytes of each flush, as a stand-in for the terminal.
void count_bytes(void* total, const char* /*bytes*/, std::size_t size) {
    *static_cast<std::size_t*>(total) += size;
}

std::size_t bytes_out = 0;

panel::Panel fresh_panel() {
    panel::Panel p{};
    panel::Start_Panel(p);
    p.output.set_handler(&count_bytes, &bytes_out);
    return p;
}

void BM_IdleCycle(benchmark::State& state) {
    panel::Panel p = fresh_panel();
    for (auto _ : state) {
        panel::Control_Cycle(p, std::nullopt);
        benchmark::DoNotOptimize(p);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_IdleCycle);

void BM_RunningCycle(benchmark::State& state) {
    panel::Panel p = fresh_panel();
    for (auto _ : state) {
        // Keep a run going: start a 300 s preset whenever the last one ended.
        if (p.control.operation != panel::OP_RUNNING) {
            state.PauseTiming();
            p = fresh_panel();
            for (const char key : {'d', 'd', 'd', 'd', 'x', 'e'}) panel::Control_Cycle(p, key);
            state.ResumeTiming();
        }
        panel::Control_Cycle(p, std::nullopt);
        benchmark::DoNotOptimize(p);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_RunningCycle);

void BM_WholeLongestRun(benchmark::State& state) {
    for (auto _ : state) {
        panel::Panel p = fresh_panel();
        for (const char key : {'d', 'd', 'd', 'd', 'x', 'e'}) panel::Control_Cycle(p, key);
        for (int cycle = 1; cycle < 3000; ++cycle) panel::Control_Cycle(p, std::nullopt);
        benchmark::DoNotOptimize(p);
        if (p.control.operation != panel::OP_ENDED) state.SkipWithError("run did not end");
    }
}
BENCHMARK(BM_WholeLongestRun)->Unit(benchmark::kMillisecond);

// The trace program's whole work per cycle: the cycle, the screen that reads
// its output, and a CSV row written to /dev/null.
void BM_TraceCsvCycle(benchmark::State& state) {
    const int null_fd = ::open("/dev/null", O_WRONLY);
    auto out = std::make_unique<panel::trace::Output>(null_fd);
    panel::trace::Tracer tracer;
    panel::trace::TraceWriter writer(*out, panel::trace::Format::CSV, false, 0);
    writer.begin(tracer.record());
    for (auto _ : state) writer.write(tracer.step(panel::NO_KEY));
    writer.finish();
    out->flush();
    ::close(null_fd);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_TraceCsvCycle);

// The explorer's search of the whole state space from start-up, and its
// property checks; items are states.
void BM_ExploreWholeSpace(benchmark::State& state) {
    const auto start = panel::explore::pack(fresh_panel(), std::nullopt);  // nothing drawn yet
    auto space = std::make_unique<panel::explore::StateSpace>();
    std::uint32_t states = 0;
    for (auto _ : state) {
        if (!start || !space->explore(*start)) state.SkipWithError("a state did not pack");
        benchmark::DoNotOptimize(panel::explore::check_properties(*space));
        states = space->size();
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * states);
}
BENCHMARK(BM_ExploreWholeSpace)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
