// The cost of the stack capture at a throw: throw-and-catch with the capture on, and with it off (the
// baseline: only the hook's forwarding remains), in the same run. Symbolising is measured apart.
#include "exception_dialog/CallStack.h"
#include "exception_dialog/SmartException.h"

#include <benchmark/benchmark.h>

namespace
{

__attribute__((noinline)) void Thrower(int Depth)
{
    if (Depth > 0)
    {
        Thrower(Depth - 1);
        benchmark::ClobberMemory();
        return;
    }
    throw orb::EConvertError("bad value");
}

void ThrowAndCatch(benchmark::State& state, bool Capture)
{
    orb::EnableThrowCapture(Capture);
    for (auto _ : state)
    {
        try
        {
            Thrower(static_cast<int>(state.range(0)));
        }
        catch (const orb::Exception& e)
        {
            benchmark::DoNotOptimize(&e);
        }
    }
    orb::EnableThrowCapture(true);
}

void BM_ThrowWithoutCapture(benchmark::State& state)
{
    ThrowAndCatch(state, false);
}
BENCHMARK(BM_ThrowWithoutCapture)->Arg(0)->Arg(10)->Unit(benchmark::kMicrosecond);

void BM_ThrowWithCapture(benchmark::State& state)
{
    ThrowAndCatch(state, true);
}
BENCHMARK(BM_ThrowWithCapture)->Arg(0)->Arg(10)->Unit(benchmark::kMicrosecond);

void BM_ReportText(benchmark::State& state)
{
    orb::TCallStack stack;
    try
    {
        Thrower(10);
    }
    catch (const orb::Exception& e)
    {
        stack = orb::ThrownCallStackOf(e);
    }
    for (auto _ : state)
        benchmark::DoNotOptimize(orb::CallStackText(stack));
}
BENCHMARK(BM_ReportText)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
