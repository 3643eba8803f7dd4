// Expansion and arithmetic of typical command lines per second: a line without forms (the common
// host line), one with three register forms, and one with a form inside an arithmetic form.
#include <benchmark/benchmark.h>

#include "macro/macro.h"
#include "tests/support/macro_env.h"

namespace {

void expandLine(benchmark::State &state, const char *line) {
    resetEnv();
    iMem[1] = 14;
    pt[2] = {100, 200};
    char exp[130], out[130];
    for (auto _ : state) {
        expandVariables(exp, sizeof exp, line, nullptr);
        processMath(out, sizeof out, exp);
        benchmark::DoNotOptimize(out);
    }
}
BENCHMARK_CAPTURE(expandLine, plain, "t \"Temperature of the boiler\" 10 20");
BENCHMARK_CAPTURE(expandLine, forms, "l `i1` `p2` `%04 i1`");
BENCHMARK_CAPTURE(expandLine, arithmetic, "c `(`i1`*3)` `(240/2)` 10");

} // namespace

BENCHMARK_MAIN();
