// Real time the simulated board needs for virtual time: a start-up with 300 ms of busy-wait delays
// (the firmware polls the timer count), and an idle second of ticks.
#include <benchmark/benchmark.h>

#include "tests/board_host/support.h"

static void StartUpWith300msBusyWait(benchmark::State &state) {
    for (auto _ : state) {
        sim_start(standinOptions(300));
        sim_run_until_idle();
        sim_stop();
    }
}
BENCHMARK(StartUpWith300msBusyWait)->Unit(benchmark::kMillisecond);

static void IdleSecond(benchmark::State &state) {
    sim_start(standinOptions());
    sim_run_until_idle();
    for (auto _ : state) sim_run_for(1000);
    sim_stop();
}
BENCHMARK(IdleSecond)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
