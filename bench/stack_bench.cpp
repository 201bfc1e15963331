// Call stacks: what capturing costs a translated fault, what ORNEH_STACKTRACE=all
// adds to every exception made and released, what naming a 20-frame stack
// costs when a record is written (a stack seen before, and a first one), and
// what linking the library adds to a program's start.
#include <benchmark/benchmark.h>

#include <chrono>
#include <csetjmp>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include "OrnEh.h"
#include "OrnEhBasis.h"
#include "OrnEhSEH.h"
#include "core/stack_block.h"
#include "platform/stacktrace.h"
#include "platform/symbolize.h"

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

// The reference of a fault's cost: a raw SIGSEGV handler that leaves by
// siglongjmp (restoring the signal mask), 20 frames down as well.
sigjmp_buf g_rawJump;
void RawHandler(int, siginfo_t*, void*) { siglongjmp(g_rawJump, 1); }

double ThreadSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

double WallSeconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

const int kFaultsPerSide = 200;

// Raw handler (reference) against the translated fault (candidate) of the
// mode given, alternating in rounds of 200 faults each; ratio by the
// thread's CPU time, wall_ratio by the wall clock.
void BM_PairRawFaultVsTranslated(benchmark::State& state) {
    auto mode = static_cast<ap::StackTraceMode>(state.range(0));
    ap::SetStackTraceMode(mode);
    OrnEhInitThreadExHandling();
    auto raw = [] {
        if (sigsetjmp(g_rawJump, 1) == 0) ReadAt(nullptr);
    };
    auto translated = [] {
        try {
            ReadAt(nullptr);
        } catch (OrnEhSEH*) {
            OrnEhBasis::Release();
        }
    };
    double cpu[2] = {0, 0}, wall[2] = {0, 0};
    for (auto _ : state) {
        struct sigaction action{}, library{};
        action.sa_sigaction = &RawHandler;
        action.sa_flags = SA_SIGINFO;
        sigemptyset(&action.sa_mask);
        sigaction(SIGSEGV, &action, &library);
        double c = ThreadSeconds(), w = WallSeconds();
        for (int i = 0; i < kFaultsPerSide; ++i) AtDepth(20, raw);
        cpu[0] += ThreadSeconds() - c, wall[0] += WallSeconds() - w;
        sigaction(SIGSEGV, &library, nullptr);
        c = ThreadSeconds(), w = WallSeconds();
        for (int i = 0; i < kFaultsPerSide; ++i) AtDepth(20, translated);
        cpu[1] += ThreadSeconds() - c, wall[1] += WallSeconds() - w;
    }
    const double faults = static_cast<double>(state.iterations()) * kFaultsPerSide;
    state.counters["reference_us"] = cpu[0] / faults * 1e6;
    state.counters["candidate_us"] = cpu[1] / faults * 1e6;
    state.counters["ratio"] = cpu[1] / cpu[0];
    state.counters["wall_ratio"] = wall[1] / wall[0];
    state.SetLabel(ModeName(mode));
    ap::SetStackTraceMode(ap::StackTraceMode::kFaults);
}
BENCHMARK(BM_PairRawFaultVsTranslated)
    ->Arg(static_cast<int>(ap::StackTraceMode::kOff))
    ->Arg(static_cast<int>(ap::StackTraceMode::kFaults))
    ->Iterations(50)
    ->Unit(benchmark::kMillisecond);

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

// A stack of 20 frames (the benchmark program, libstdc++, libc).
ap::CallStack TwentyFrames() {
    ap::CallStack stack;
    auto capture = [&stack] { ap::CaptureStack(stack, 0); };
    AtDepth(30, capture);
    stack.count = 20;
    return stack;
}

// CPU time the symbolizer program has used so far (nanoseconds; 0 when it
// cannot be read): it runs in a process of its own, which the benchmark's
// CPU clock does not see. Found through the library's pidfd of it.
double ProgramCpuNanoseconds() {
    double total = 0;
    DIR* fds = opendir("/proc/self/fd");
    if (!fds) return 0;
    while (dirent* entry = readdir(fds)) {
        char link[64] = {0}, path[320];
        std::snprintf(path, sizeof path, "/proc/self/fd/%s", entry->d_name);
        if (readlink(path, link, sizeof link - 1) <= 0 || std::strcmp(link, "anon_inode:[pidfd]") != 0) continue;
        std::snprintf(path, sizeof path, "/proc/self/fdinfo/%s", entry->d_name);
        FILE* info = std::fopen(path, "r");
        int pid = 0;
        char line[128];
        while (info && std::fgets(line, sizeof line, info)) std::sscanf(line, "Pid: %d", &pid);
        if (info) std::fclose(info);
        std::snprintf(path, sizeof path, "/proc/%d/schedstat", pid);
        FILE* stat = pid > 0 ? std::fopen(path, "r") : nullptr;
        double onCpu = 0;
        if (stat && std::fscanf(stat, "%lf", &onCpu) == 1) total += onCpu;
        if (stat) std::fclose(stat);
    }
    closedir(fds);
    return total;
}

// The block of a stack seen before: every name from the cache.
void BM_SymbolizeSeenBefore(benchmark::State& state) {
    const ap::CallStack stack = TwentyFrames();
    orneh::core::SymbolizedStackText(stack);
    for (auto _ : state) benchmark::DoNotOptimize(orneh::core::SymbolizedStackText(stack));
}
BENCHMARK(BM_SymbolizeSeenBefore)->Unit(benchmark::kMicrosecond);

// The block of a first stack: Arg 1, the symbolizer program started for it
// (a record of a process's first stack); Arg 0, the program running with
// its modules read, the addresses new. Real time, and the program's CPU
// time as a counter (the benchmark's CPU clock sees only its own side).
void BM_SymbolizeFirstStack(benchmark::State& state) {
    const bool start = state.range(0) != 0;
    const ap::CallStack stack = TwentyFrames();
    orneh::core::SymbolizedStackText(stack);
    double programCpu = 0;
    for (auto _ : state) {
        state.PauseTiming();
        if (start) {
            ap::symbolizetest::Reset();
        } else {
            ap::symbolizetest::ClearCache();
        }
        const double before = ProgramCpuNanoseconds();
        state.ResumeTiming();
        benchmark::DoNotOptimize(orneh::core::SymbolizedStackText(stack));
        state.PauseTiming();
        programCpu += ProgramCpuNanoseconds() - before;
        state.ResumeTiming();
    }
    state.counters["program_cpu_ms"] = benchmark::Counter(programCpu / 1e6, benchmark::Counter::kAvgIterations);
    state.SetLabel(start ? "program started" : "program running");
}
BENCHMARK(BM_SymbolizeFirstStack)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();

// Start-up: a program that only starts and ends, linked with the library
// against the same program linked with libstdc++ alone (bench/startup_probe.cpp),
// run alternately in rounds of 20 within one run. Wall and CPU time per
// start (the CPU time from wait4, the child's own, from its exec on). ZKQ_STARTUP_PLAIN and
// ZKQ_STARTUP_LIBRARY name other programs to compare (a build of another
// version of the library).
struct Started {
    double wallNs = 0;
    double cpuNs = 0;
};

Started StartAndWait(const char* program) {
    struct timespec from, to;
    clock_gettime(CLOCK_MONOTONIC, &from);
    char* const argv[] = {const_cast<char*>(program), nullptr};
    pid_t pid = -1;
    posix_spawn(&pid, program, nullptr, nullptr, argv, environ);  // no copy of this process
    int status = 0;
    struct rusage usage = {};
    wait4(pid, &status, 0, &usage);
    clock_gettime(CLOCK_MONOTONIC, &to);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) std::fprintf(stderr, "%s failed\n", program);
    Started started;
    started.wallNs = (to.tv_sec - from.tv_sec) * 1e9 + (to.tv_nsec - from.tv_nsec);
    started.cpuNs = (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e9 +
                    (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * 1e3;
    return started;
}

void BM_PairStartup(benchmark::State& state) {
    const char* plain = std::getenv("ZKQ_STARTUP_PLAIN");
    const char* library = std::getenv("ZKQ_STARTUP_LIBRARY");
    const std::string dir = ZKQ_BENCH_BINARY_DIR;
    const std::string plainPath = plain ? plain : dir + "/startup_plain";
    const std::string libraryPath = library ? library : dir + "/startup_library";
    const int kRound = 20;
    Started reference, candidate;
    for (auto _ : state) {
        for (int i = 0; i < kRound; ++i) {
            Started a = StartAndWait(plainPath.c_str()), b = StartAndWait(libraryPath.c_str());
            reference.wallNs += a.wallNs;
            reference.cpuNs += a.cpuNs;
            candidate.wallNs += b.wallNs;
            candidate.cpuNs += b.cpuNs;
        }
    }
    const double starts = static_cast<double>(state.iterations()) * kRound;
    state.counters["plain_wall_us"] = reference.wallNs / starts / 1e3;
    state.counters["library_wall_us"] = candidate.wallNs / starts / 1e3;
    state.counters["plain_cpu_us"] = reference.cpuNs / starts / 1e3;
    state.counters["library_cpu_us"] = candidate.cpuNs / starts / 1e3;
    state.counters["wall_ratio"] = candidate.wallNs / reference.wallNs;
    state.counters["cpu_ratio"] = candidate.cpuNs / reference.cpuNs;
}
BENCHMARK(BM_PairStartup)->Iterations(25)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
