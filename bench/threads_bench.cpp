// The cost of an exception's life in the library: made (four texts, two
// parameters), pushed and released, against a like-for-like standard object;
// with two threads at once; in a thread registered after 10,000 others came
// and went; and the memory 100,000 short threads leave behind.
//
// Comparisons alternate the two sides in batches within one run (ratio =
// candidate time / reference time per cycle), so both meet the same machine.
#include <atomic>
#include <chrono>
#include <ctime>
#include <condition_variable>
#include <cstdio>
#include <functional>
#include <malloc.h>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

#include <benchmark/benchmark.h>

#include "OrnEh.h"
#include "OrnEhBasis.h"
#include "OrnEhParam.h"

namespace {

using Clock = std::chrono::steady_clock;

class BenchException : public OrnEhBasis {
public:
    BenchException(const OrnEhParam& params)
        : OrnEhBasis("orders.cpp", "OrderBook", "Load", "the order file could not be read", 2, 4711,
                     params, 0, nullptr, 0, 0, 1) {}
    ~BenchException() override { CheckBeforeDelete(); }
};

// The standard object of the same content: four texts, two parameter texts.
class StdLike : public std::runtime_error {
public:
    StdLike(const char* source, const char* className, const char* method, const char* cause,
            const char* param1, const char* param2)
        : std::runtime_error(cause), m_source(source), m_className(className), m_method(method),
          m_params{param1, param2} {}

private:
    std::string m_source, m_className, m_method;
    std::string m_params[2];
};

// One cycle of the library: new exception (pushed by its constructor),
// Release (the exception is deleted at the next cycle's push).
void LibraryCycles(int count) {
    for (int i = 0; i < count; ++i) {
        OrnEhParam params(2);
        params.SetParam("orders.dat");
        params.SetParam("42");
        benchmark::DoNotOptimize(new BenchException(params));
        OrnEhBasis::Release();
    }
}

void StdCycles(int count) {
    for (int i = 0; i < count; ++i) {
        auto* e = new StdLike("orders.cpp", "OrderBook", "Load", "the order file could not be read",
                              "orders.dat", "42");
        benchmark::DoNotOptimize(e);
        delete e;
    }
}

// A thread that runs what it is given, one task at a time, and waits for it.
class Worker {
public:
    Worker() : m_thread([this] { Loop(); }) {}
    ~Worker() {
        Start([] {}, true);
        m_thread.join();
    }
    void Start(std::function<void()> task, bool last = false) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_task = std::move(task);
        m_last = last;
        m_pending = true;
        m_cv.notify_all();
    }
    void Wait() {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_cv.wait(lock, [this] { return !m_pending; });
    }
    void Run(std::function<void()> task) {
        Start(std::move(task));
        Wait();
    }

private:
    void Loop() {
        for (;;) {
            std::unique_lock<std::mutex> lock(m_mutex);
            m_cv.wait(lock, [this] { return m_pending; });
            std::function<void()> task = m_task;
            bool last = m_last;
            lock.unlock();
            task();
            OrnEhEndThreadExHandling();
            lock.lock();
            m_pending = false;
            m_cv.notify_all();
            if (last) return;
        }
    }
    std::mutex m_mutex;
    std::condition_variable m_cv;
    std::function<void()> m_task;
    bool m_pending = false;
    bool m_last = false;
    std::thread m_thread;
};

// The CPU time of the calling thread: on a machine shared with other jobs the
// wall clock also counts the time the thread waited for a processor.
double ThreadSeconds() {
    struct timespec now;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// Runs cycles in the calling thread; its CPU seconds.
double Timed(void (*cycles)(int), int count) {
    const double start = ThreadSeconds();
    cycles(count);
    return ThreadSeconds() - start;
}

// Alternates reference and candidate for the state's iterations; each side
// runs `cycles` cycles a round and returns the seconds it took.
// ratio = candidate time / reference time.
void RunPair(benchmark::State& state, int cycles, const std::function<double()>& reference,
             const std::function<double()>& candidate) {
    double referenceSeconds = 0, candidateSeconds = 0;
    for (auto _ : state) {
        referenceSeconds += reference();
        candidateSeconds += candidate();
    }
    const double total = static_cast<double>(state.iterations()) * cycles;
    state.counters["reference_ns"] = referenceSeconds / total * 1e9;
    state.counters["candidate_ns"] = candidateSeconds / total * 1e9;
    state.counters["ratio"] = candidateSeconds / referenceSeconds;
}

const int kCycles = 2000;
const int kRounds = 200;

// CPU and wall seconds of cycles run in the calling thread.
struct Times {
    double cpu = 0, wall = 0;
};
Times TimedBoth(void (*cycles)(int), int count) {
    const auto wallStart = Clock::now();
    const double cpuStart = ThreadSeconds();
    cycles(count);
    return {ThreadSeconds() - cpuStart, std::chrono::duration<double>(Clock::now() - wallStart).count()};
}

// The standard object against the library's cycle, alternating, on the main
// thread (0) or on a second thread (1); ratio is by CPU time, wall_ratio by
// the wall clock (which also counts waiting for a processor).
void BM_PairStdObjectVsLibraryCycle(benchmark::State& state) {
    Worker second;
    const bool onSecond = state.range(0) == 1;
    auto side = [&](void (*cycles)(int)) {
        Times times;
        if (onSecond) {
            second.Run([&] { times = TimedBoth(cycles, kCycles); });
        } else {
            times = TimedBoth(cycles, kCycles);
        }
        return times;
    };
    Times reference, candidate;
    for (auto _ : state) {
        const Times r = side(StdCycles), c = side(LibraryCycles);
        reference.cpu += r.cpu, reference.wall += r.wall;
        candidate.cpu += c.cpu, candidate.wall += c.wall;
    }
    const double total = static_cast<double>(state.iterations()) * kCycles;
    state.counters["reference_ns"] = reference.cpu / total * 1e9;
    state.counters["candidate_ns"] = candidate.cpu / total * 1e9;
    state.counters["ratio"] = candidate.cpu / reference.cpu;
    state.counters["wall_ratio"] = candidate.wall / reference.wall;
    state.SetLabel(onSecond ? "second thread" : "main thread");
}
BENCHMARK(BM_PairStdObjectVsLibraryCycle)->Arg(0)->Arg(1)->Iterations(kRounds)->Unit(benchmark::kMillisecond);

// Reference: one thread runs kCycles; candidate: two threads run kCycles
// each at the same time. Wall time: this is about running in parallel, so it
// needs both processors free of other work. The aggregate rate of two
// threads against one is 2 / ratio.
double WallSeconds(const std::function<void()>& work) {
    const auto start = Clock::now();
    work();
    return std::chrono::duration<double>(Clock::now() - start).count();
}

void BM_PairOneThreadVsTwo(benchmark::State& state) {
    Worker first, second;
    // CPU time of the cycles per thread, alone and side by side: equal when
    // the threads do not slow each other down (no shared lock or cache line),
    // whatever the wall clock says on a busy machine.
    double alone = 0, together[2] = {0, 0};
    RunPair(
        state, kCycles,
        [&] { return WallSeconds([&] { first.Run([&] { alone += Timed(LibraryCycles, kCycles); }); }); },
        [&] {
            return WallSeconds([&] {
                first.Start([&] { together[0] += Timed(LibraryCycles, kCycles); });
                second.Start([&] { together[1] += Timed(LibraryCycles, kCycles); });
                first.Wait();
                second.Wait();
            });
        });
    state.counters["two_threads_rate"] = 2.0 / state.counters["ratio"];
    state.counters["cpu_ratio"] = (together[0] + together[1]) / (2 * alone);
}
BENCHMARK(BM_PairOneThreadVsTwo)->Iterations(kRounds / 2)->Unit(benchmark::kMillisecond);

// Reference: the first thread (registered when the library was loaded);
// candidate: a thread registered after 10,000 others have come and gone.
void BM_PairFirstThreadVsLateThread(benchmark::State& state) {
    for (int i = 0; i < 10000; ++i) {
        std::thread([] {
            OrnEhParam params(2);
            params.SetParam("orders.dat");
            new BenchException(params);
        }).join();
    }
    Worker late;
    RunPair(
        state, kCycles, [] { return Timed(LibraryCycles, kCycles); },
        [&] {
            double seconds = 0;
            late.Run([&] { seconds = Timed(LibraryCycles, kCycles); });
            return seconds;
        });
}
BENCHMARK(BM_PairFirstThreadVsLateThread)->Iterations(kRounds)->Unit(benchmark::kMillisecond);

// The heap a live exception takes: 1000 of them alive at once (the
// library's in the thread's chain, its parameter list gone as the caller's
// goes), bytes of the allocator's chunks in use per exception, headers
// included, against 1000 standard objects.
std::size_t HeapInUse() { return mallinfo2().uordblks; }

void BM_LiveExceptionBytes(benchmark::State& state) {
    const int kLive = 1000;
    double library = 0, standard = 0;
    std::vector<StdLike*> kept;
    kept.reserve(kLive);
    for (auto _ : state) {
        std::size_t before = HeapInUse();
        for (int i = 0; i < kLive; ++i) {
            OrnEhParam params(2);
            params.SetParam("orders.dat");
            params.SetParam("42");
            benchmark::DoNotOptimize(new BenchException(params));
        }
        library = static_cast<double>(HeapInUse() - before) / kLive;
        OrnEhBasis::Release();
        OrnEhEndThreadExHandling();
        before = HeapInUse();
        for (int i = 0; i < kLive; ++i) {
            kept.push_back(new StdLike("orders.cpp", "OrderBook", "Load", "the order file could not be read",
                                       "orders.dat", "42"));
        }
        standard = static_cast<double>(HeapInUse() - before) / kLive;
        for (StdLike* e : kept) delete e;
        kept.clear();
    }
    state.counters["library_bytes"] = library;
    state.counters["standard_bytes"] = standard;
    state.counters["ratio"] = library / standard;
}
BENCHMARK(BM_LiveExceptionBytes)->Iterations(3);

long ResidentBytes() {
    long pages = 0, resident = 0;
    if (std::FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
        std::fclose(f);
    }
    return resident * sysconf(_SC_PAGESIZE);
}

// 100,000 threads, each pushing an exception and releasing it (or not: every
// second one ends holding it), one after another.
void BM_ShortThreadsResidentGrowth(benchmark::State& state) {
    const int kThreads = 100000;
    const long before = ResidentBytes();
    for (auto _ : state) {
        for (int i = 0; i < kThreads; ++i) {
            std::thread([i] {
                OrnEhParam params(2);
                params.SetParam("orders.dat");
                new BenchException(params);
                if (i % 2) OrnEhBasis::Release();
            }).join();
        }
    }
    state.counters["threads"] = kThreads;
    state.counters["rss_growth_MB"] = static_cast<double>(ResidentBytes() - before) / (1024.0 * 1024.0);
}
BENCHMARK(BM_ShortThreadsResidentGrowth)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
