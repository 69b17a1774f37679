// Log throughput, in a development root of its own:
//  - LogCall: lines per second through kelp_app_log (console line plus the
//    queue), with file saving off and on;
//  - WriterDrain: lines per second the writer thread puts into the files;
//  - Burst10000: the backlog right after 10000 lines in a burst, and how long
//    the writer needs to work it off at the rate it reached.
// The console lines go to a file in the development root; the results go to
// the original standard output.

#include "KelpAppLog.h"
#include "SaveLogHandler.h"
#include "TestDevRoot.h"

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

SaveLogHandler* writer()
{
    return SaveLogHandler::getInstance();
}

void waitDrained(std::chrono::seconds limit)
{
    const auto end = Clock::now() + limit;
    while (writer()->pendingCount() != 0 && Clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

void BM_LogCall(benchmark::State& state)
{
    const bool saving = state.range(0) != 0;
    if (saving)
        kelp_app_log_save_start();
    else
        kelp_app_log_save_stop();
    int i = 0;
    for (auto _ : state)
        LOG_I("[%s] benchmark line %d with some text of a usual length", __func__, ++i);
    state.counters["lines_per_s"] = benchmark::Counter(static_cast<double>(state.iterations()),
                                                       benchmark::Counter::kIsRate);
    // Whatever is left would keep the writer busy for the next benchmark.
    kelp_app_log_save_stop();
}
// Bounded: with saving on, every line stays queued until the writer gets to it.
BENCHMARK(BM_LogCall)->Arg(0)->Arg(1)->Iterations(100000)->UseRealTime();

void BM_WriterDrain(benchmark::State& state)
{
    const int lines = static_cast<int>(state.range(0));
    for (auto _ : state) {
        kelp_app_log_save_start();
        const auto t0 = Clock::now();
        for (int i = 0; i < lines; ++i)
            LOG_I("[%s] drain line %d", __func__, i);
        waitDrained(std::chrono::seconds(60));
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - t0).count());
        kelp_app_log_save_stop();
    }
    state.counters["lines_per_s"] = benchmark::Counter(static_cast<double>(lines) * state.iterations(),
                                                       benchmark::Counter::kIsRate);
}
BENCHMARK(BM_WriterDrain)->Arg(200)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_Burst10000(benchmark::State& state)
{
    const int burst = 10000;
    for (auto _ : state) {
        kelp_app_log_save_start();
        const auto t0 = Clock::now();
        for (int i = 0; i < burst; ++i)
            LOG_I("[%s] burst line %d", __func__, i);
        const auto t1 = Clock::now();
        const double backlog = static_cast<double>(writer()->pendingCount());
        // The writer's rate over the next two seconds.
        std::this_thread::sleep_for(std::chrono::seconds(2));
        const double written = backlog - static_cast<double>(writer()->pendingCount());
        const double rate = written / 2.0;
        state.SetIterationTime(std::chrono::duration<double>(t1 - t0).count());
        state.counters["backlog_lines"] = backlog;
        state.counters["writer_lines_per_s"] = rate;
        state.counters["drain_s"] = rate > 0 ? backlog / rate : -1;
        kelp_app_log_save_stop();
    }
}
BENCHMARK(BM_Burst10000)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv)
{
    holvik_test::TestDevRoot root;
    // Results to the original standard output, console lines to a file.
    const int resultsFd = dup(STDOUT_FILENO);
    std::ofstream results("/proc/self/fd/" + std::to_string(resultsFd));
    fflush(stdout);
    const int consoleFd = open((root.root() + "/console.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(consoleFd, STDOUT_FILENO);
    close(consoleFd);

    kelp_app_log_init();
    kelp_app_log_save_stop();

    benchmark::Initialize(&argc, argv);
    benchmark::ConsoleReporter reporter;
    reporter.SetOutputStream(&results);
    reporter.SetErrorStream(&results);
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
