// The journal as a second destination: a durable log entry (one record,
// written and synced through OrnEhBasis::Log) with the journal on against
// off, and what a record costs while journald is stopped (SIGSTOP), with
// the longest a record took.
//
// Needs root: the program starts its own systemd-journald in a private
// mount namespace (as the tests do). The log files live in ZKQ_BENCH_DIR, or
// in a directory made below the current one (run it from the build tree, so
// that they are on the project's disk).
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sched.h>
#include <spawn.h>
#include <string>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <benchmark/benchmark.h>

#include "OrnEh.h"
#include "OrnEhBasis.h"
#include "OrnEhWin32.h"

extern char** environ;

namespace {

pid_t g_journald = -1;
std::string g_dir;

// journald in a namespace of this process: "" or why not.
std::string StartJournald() {
    if (::unshare(CLONE_NEWNS) != 0 || ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
        return std::string("no private mount namespace: ") + std::strerror(errno);
    }
    for (const char* dir : {"/run/systemd/journal", "/run/log"}) {
        ::mkdir(dir, 0755);
        if (::mount("tmpfs", dir, "tmpfs", 0, "mode=0755") != 0) return std::string("no tmpfs on ") + dir;
    }
    char daemon[] = "/lib/systemd/systemd-journald";
    char* argv[] = {daemon, nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    const int failed = posix_spawn(&g_journald, daemon, &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    if (failed) return std::string("systemd-journald does not start: ") + std::strerror(failed);
    for (int i = 0; i < 200 && ::access("/run/systemd/journal/socket", F_OK) != 0; ++i) ::usleep(50000);
    return ::access("/run/systemd/journal/socket", F_OK) == 0 ? "" : "journald opened no socket";
}

void LogOne(unsigned long number) {
    OrnEhBasis::Log("Der Auftrag konnte nicht gespeichert werden",
                    new OrnEhWin32("src/orders/order_service.cpp", "CommitBatch", "Datenbank getrennt", 104 + number % 2, 0, 1),
                    1);
    OrnEhBasis::Release();
}

std::string g_memoryDir;  // a tmpfs: the entry without the disk's sync

double Seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// Journal off (the reference) against on, in alternating batches of 8
// entries (150 rounds), so that both sides meet the same disk; the ratio
// counter is what the goal (at most 1.2) is checked against. Arg: 0 the log
// file on the disk (a durable entry), 1 on a tmpfs (the library's own cost).
void BM_PairJournalOnVsOff(benchmark::State& state) {
    const bool memory = state.range(0) != 0;
    OrnEhInitialize("JournalBench", OrnEhLogLimited, "bench.log", nullptr, (memory ? g_memoryDir : g_dir).c_str(), 1 << 20);
    double off = 0, on = 0;
    unsigned long number = 0;
    for (auto _ : state) {
        for (int round = 0; round < 150; ++round) {
            for (int side = 0; side < 2; ++side) {
                OrnEhSetJournal(side == 0 ? OrnEhJournalOff : OrnEhJournalOn);
                const auto start = std::chrono::steady_clock::now();
                for (int i = 0; i < 8; ++i) LogOne(++number);
                (side == 0 ? off : on) += Seconds(start);
            }
        }
    }
    const double entries = 150.0 * 8 * static_cast<double>(state.iterations());
    state.counters["off_us"] = off / entries * 1e6;
    state.counters["on_us"] = on / entries * 1e6;
    state.counters["ratio"] = on / off;
    state.SetLabel(memory ? "log on tmpfs" : "log on disk, durable");
}
BENCHMARK(BM_PairJournalOnVsOff)->Arg(0)->Arg(1)->Iterations(1)->Unit(benchmark::kMillisecond);

// With journald stopped (SIGSTOP): what one record costs, and the longest
// any record took (the first few wait for room, 10 ms at most each).
void BM_JournaldStopped(benchmark::State& state) {
    const bool memory = state.range(0) != 0;
    OrnEhInitialize("JournalBench", OrnEhLogLimited, "bench.log", nullptr, (memory ? g_memoryDir : g_dir).c_str(), 1 << 20);
    OrnEhSetJournal(OrnEhJournalOn);
    ::kill(g_journald, SIGSTOP);
    double slowest = 0;
    unsigned long number = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        LogOne(++number);
        slowest = std::max(slowest, Seconds(start) * 1e6);
    }
    ::kill(g_journald, SIGCONT);
    state.counters["slowest_us"] = slowest;
    state.SetLabel(memory ? "log on tmpfs" : "log on disk, durable");
}
BENCHMARK(BM_JournaldStopped)->Arg(0)->Arg(1)->Iterations(1000)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    const std::string why = StartJournald();
    if (!why.empty()) {
        std::fprintf(stderr, "journal_bench: %s\n", why.c_str());
        return 1;
    }
    if (const char* dir = std::getenv("ZKQ_BENCH_DIR")) {
        g_dir = dir;
    } else {
        char pattern[] = "journal_bench.XXXXXX";
        if (::mkdtemp(pattern)) g_dir = pattern;
    }
    char absolute[4096];
    if (!::realpath(g_dir.c_str(), absolute)) return 1;
    g_dir = absolute;
    g_memoryDir = g_dir + "/memory";
    ::mkdir(g_memoryDir.c_str(), 0700);
    if (::mount("tmpfs", g_memoryDir.c_str(), "tmpfs", 0, nullptr) != 0) return 1;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    ::kill(g_journald, SIGTERM);
    ::waitpid(g_journald, nullptr, 0);
    return 0;
}
