// Call stacks: what capturing costs a translated fault, what ORNEH_STACKTRACE=all
// adds to every exception made and released, and what symbolizing a 20-frame
// stack costs when a record is written.
#include <benchmark/benchmark.h>

#include "OrnEh.h"
#include "OrnEhBasis.h"
#include "OrnEhSEH.h"
#include "core/stack_block.h"
#include "platform/stacktrace.h"

namespace ap = orneh::platform;

namespace {

volatile int g_sink;
__attribute__((noipa, no_sanitize("undefined"))) void ReadAt(volatile int* p) { g_sink = *p; }

class BenchException : public OrnEhBasis {
public:
    BenchException()
        : OrnEhBasis("bench.cpp", "Bench", "Run", "measured", 1, 1, 0, nullptr, 0, 0, 1) {}
    ~BenchException() override { CheckBeforeDelete(); }
};

// Calls body `depth` frames further down.
template <typename Body>
__attribute__((noinline)) void AtDepth(int depth, Body& body) {
    if (depth > 0) {
        AtDepth(depth - 1, body);
        g_sink = depth;  // no tail call
    } else {
        body();
    }
}

const char* ModeName(ap::StackTraceMode mode) {
    return mode == ap::StackTraceMode::kOff ? "off" : mode == ap::StackTraceMode::kAll ? "all" : "faults";
}

// One fault, translated, caught and released; 20 frames below the benchmark.
void BM_TranslatedFault(benchmark::State& state) {
    auto mode = static_cast<ap::StackTraceMode>(state.range(0));
    ap::SetStackTraceMode(mode);
    OrnEhInitThreadExHandling();
    auto fault = [] {
        try {
            ReadAt(nullptr);
        } catch (OrnEhSEH*) {
            OrnEhBasis::Release();
        }
    };
    for (auto _ : state) AtDepth(20, fault);
    state.SetLabel(ModeName(mode));
    ap::SetStackTraceMode(ap::StackTraceMode::kFaults);
}
BENCHMARK(BM_TranslatedFault)
    ->Arg(static_cast<int>(ap::StackTraceMode::kOff))
    ->Arg(static_cast<int>(ap::StackTraceMode::kFaults));

// An exception made (pushed into the chain) and released, 20 frames down.
void BM_ExceptionMadeAndReleased(benchmark::State& state) {
    auto mode = static_cast<ap::StackTraceMode>(state.range(0));
    ap::SetStackTraceMode(mode);
    auto make = [] {
        benchmark::DoNotOptimize(new BenchException());
        OrnEhBasis::Release();
    };
    for (auto _ : state) AtDepth(20, make);
    state.SetLabel(ModeName(mode));
    ap::SetStackTraceMode(ap::StackTraceMode::kFaults);
}
BENCHMARK(BM_ExceptionMadeAndReleased)
    ->Arg(static_cast<int>(ap::StackTraceMode::kFaults))
    ->Arg(static_cast<int>(ap::StackTraceMode::kAll));

// The unwinder alone, for a stack of about 25 frames.
void BM_CaptureStack(benchmark::State& state) {
    ap::CallStack stack;
    auto capture = [&stack] { ap::CaptureStack(stack, 0); };
    for (auto _ : state) AtDepth(20, capture);
    state.counters["frames"] = stack.count;
}
BENCHMARK(BM_CaptureStack);

// The block's lines for a stack of 20 frames, as a record is written: the
// modules read, names, files and lines found.
void BM_SymbolizeTwentyFrames(benchmark::State& state) {
    ap::CallStack stack;
    auto capture = [&stack] { ap::CaptureStack(stack, 0); };
    AtDepth(30, capture);
    stack.count = 20;
    for (auto _ : state) benchmark::DoNotOptimize(orneh::core::SymbolizedStackText(stack));
}
BENCHMARK(BM_SymbolizeTwentyFrames)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
