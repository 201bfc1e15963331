// Log file throughput: report entries per second through OrnEhLogFile (one
// thread, eight threads, four processes, a 1 MiB limited file), against the
// disk's own limit (plain write + fdatasync), and the two ways of making a
// record durable (one fdatasync at close against O_DSYNC writes).
//
// The files live in ZKQ_BENCH_DIR, or in a directory made below the current
// one: run it from the build tree so that they are on the project's disk.
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <chrono>
#include <filesystem>
#include <functional>
#include <thread>
#include <vector>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <benchmark/benchmark.h>

#include "OrnEhLogFile.h"
#include "platform/file.h"

namespace pf = orneh::platform;

namespace {

const char kSeparator[] =
    "********************************************************************";

std::string g_dir;

const std::string& BenchDir() {
    if (g_dir.empty()) {
        if (const char* dir = std::getenv("ZKQ_BENCH_DIR")) {
            g_dir = dir;
        } else {
            char pattern[] = "logfile_bench.XXXXXX";
            if (::mkdtemp(pattern)) g_dir = pattern;
        }
    }
    return g_dir;
}

std::string BenchFile(const char* name) {
    std::string path = BenchDir() + "/" + name;
    ::unlink(path.c_str());
    return path;
}

// A typical report entry: 12 lines, about 700 bytes with the separator line,
// written piece by piece (labels, values, line breaks) as the record code does.
void WriteEntry(OrnEhLogFile& log, unsigned long number) {
    log.WriteDateTime();
    log << "Anwendung: " << "Auftragsverwaltung" << "\r\n";
    log << "Modul: " << "ZKQTRNEH113 1.13.0, Sprache deutsch" << "\r\n";
    log << "Prozess: " << 4711UL << "  Thread: " << number << "\r\n";
    log.SetBlanks(3);
    log << "Quelle: " << "src/orders/order_service.cpp, Zeile 1287" << "\r\n";
    log << "Klasse/Methode: " << "OrderService::CommitBatch" << "\r\n";
    log << "Ursache: " << "Der Auftrag konnte nicht gespeichert werden, weil die Datenbank "
        << "die Verbindung waehrend der Transaktion beendet hat." << "\r\n";
    log << "Fehlernummer: " << 10054L << "  Fehlertextnummer: " << 3121L << "\r\n";
    log << "Parameter: " << "Kunde 20931, Auftrag 7781-2026, Position 14" << "\r\n";
    log.SetBlanks(6);
    log << "Zusatz: " << "Wiederholung 3 von 3; letzte Antwort des Servers: " << "Timeout" << "\r\n";
    log << "Adresse: ";
    log.WriteHex(0x7ffd12a4c0deUL);
    log << "\r\n";
    log.SetBlanks(0);
    log << "Kette: 2 Ausnahmen, neueste zuerst; Datei und Zeile wie oben angegeben." << "\r\n";
}

// The bytes one entry adds to the file, separator line included.
std::string EntryBytes() {
    std::string path = BenchFile("entry_size.log");
    OrnEhLogFile log(path.c_str(), OrnEhLogUnlimited, 0, kSeparator, 1, 1000);
    log.Open();
    WriteEntry(log, 1);
    log.Close();
    FILE* in = std::fopen(path.c_str(), "rb");
    std::string bytes;
    if (in) {
        char chunk[4096];
        std::size_t got;
        while ((got = std::fread(chunk, 1, sizeof chunk, in)) > 0) bytes.append(chunk, got);
        std::fclose(in);
    }
    ::unlink(path.c_str());
    return bytes;
}

// Entries through one object; the number of them whose Open failed. The
// default retries never let a writer of another process give up.
int AppendEntries(const std::string& path, int count, OrnEhLogfileStyle style, unsigned long limit,
                  unsigned long retryDelay = 1, unsigned long maxAttempts = 10000) {
    OrnEhLogFile log(path.c_str(), style, limit, kSeparator, retryDelay, maxAttempts);
    int lost = 0;
    for (int i = 0; i < count; ++i) {
        if (!log.Open()) {
            ++lost;
            continue;
        }
        WriteEntry(log, static_cast<unsigned long>(i));
        log.Close();
    }
    return lost;
}

std::size_t CountSeparators(const std::string& path) {
    FILE* in = std::fopen(path.c_str(), "rb");
    if (!in) return 0;
    std::size_t count = 0;
    char line[4096];
    while (std::fgets(line, sizeof line, in)) {
        if (std::strncmp(line, kSeparator, sizeof kSeparator - 1) == 0) ++count;
    }
    std::fclose(in);
    return count;
}

// The physical limit: the same bytes, one write and one fdatasync per entry.
void BM_PlainWriteFdatasync(benchmark::State& state) {
    const std::string entry = EntryBytes();
    const std::string path = BenchFile("plain.log");
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666);
    for (auto _ : state) {
        if (::write(fd, entry.data(), entry.size()) != static_cast<ssize_t>(entry.size())) {
            state.SkipWithError("write failed");
        }
        ::fdatasync(fd);
    }
    ::close(fd);
    state.SetItemsProcessed(state.iterations());
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(entry.size()));
}
BENCHMARK(BM_PlainWriteFdatasync)->UseRealTime();

// One thread: Open, a ~700-byte entry, Close.
void BM_LogEntryOneThread(benchmark::State& state) {
    const std::string path = BenchFile("one_thread.log");
    OrnEhLogFile log(path.c_str(), OrnEhLogUnlimited, 0, kSeparator, 1, 10000);
    long lost = 0;
    unsigned long n = 0;
    for (auto _ : state) {
        if (!log.Open()) {
            ++lost;
            continue;
        }
        WriteEntry(log, ++n);
        log.Close();
    }
    state.SetItemsProcessed(state.iterations());
    state.counters["lost"] = static_cast<double>(lost);
}
BENCHMARK(BM_LogEntryOneThread)->UseRealTime();

// Eight threads of one process, each with its own object, on one file.
std::string g_sharedPath;
void BM_LogEntryEightThreads(benchmark::State& state) {
    if (state.thread_index() == 0) g_sharedPath = BenchFile("threads.log");
    OrnEhLogFile* log = nullptr;
    long lost = 0;
    unsigned long n = 0;
    for (auto _ : state) {
        if (!log) log = new OrnEhLogFile(g_sharedPath.c_str(), OrnEhLogUnlimited, 0, kSeparator, 1, 10000);
        if (!log->Open()) {
            ++lost;
            continue;
        }
        WriteEntry(*log, ++n);
        log->Close();
    }
    delete log;
    state.SetItemsProcessed(state.iterations());
    state.counters["lost"] = static_cast<double>(lost);
}
BENCHMARK(BM_LogEntryEightThreads)->Threads(8)->UseRealTime();

// Four processes on one file; each iteration forks them and each writes
// kPerProcess entries. Lost entries: failed opens plus records missing from
// the file.
void BM_LogEntryFourProcesses(benchmark::State& state) {
    const int kProcesses = 4;
    const int kPerProcess = 200;
    const std::string path = BenchFile("processes.log");
    long lost = 0;
    for (auto _ : state) {
        ::unlink(path.c_str());
        pid_t children[kProcesses];
        for (pid_t& child : children) {
            child = ::fork();
            if (child == 0) ::_exit(AppendEntries(path, kPerProcess, OrnEhLogUnlimited, 0) > 0 ? 1 : 0);
        }
        for (pid_t child : children) {
            int status = 0;
            ::waitpid(child, &status, 0);
            if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) ++lost;
        }
        state.PauseTiming();
        long found = static_cast<long>(CountSeparators(path));
        lost += kProcesses * kPerProcess - found;
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * kProcesses * kPerProcess);
    state.counters["lost"] = static_cast<double>(lost);
}
BENCHMARK(BM_LogEntryFourProcesses)->UseRealTime()->Unit(benchmark::kMillisecond)->Iterations(5);

// A file of just over limit bytes, whole entries.
void FillFull(const std::string& path, const std::string& entry, unsigned long limit) {
    std::string fill;
    while (fill.size() <= limit) fill += entry;
    FILE* out = std::fopen(path.c_str(), "wb");
    if (out) {
        std::fwrite(fill.data(), 1, fill.size(), out);
        std::fclose(out);
    }
}

// A file limited to 1 MiB and already full: every open cuts the oldest record.
void BM_LogEntryLimitedSteadyState(benchmark::State& state) {
    const unsigned long kLimit = 1048576;
    const std::string path = BenchFile("limited.log");
    FillFull(path, EntryBytes(), kLimit);
    OrnEhLogFile log(path.c_str(), OrnEhLogLimited, kLimit, kSeparator, 1, 10000);
    long lost = 0;
    unsigned long n = 0;
    for (auto _ : state) {
        if (!log.Open()) {
            ++lost;
            continue;
        }
        WriteEntry(log, ++n);
        log.Close();
    }
    struct stat info{};
    ::stat(path.c_str(), &info);
    state.SetItemsProcessed(state.iterations());
    state.counters["lost"] = static_cast<double>(lost);
    state.counters["file_KiB"] = static_cast<double>(info.st_size) / 1024.0;
}
BENCHMARK(BM_LogEntryLimitedSteadyState)->UseRealTime();

// Paired comparisons: the two sides alternate in batches within one run, so
// that a disk whose latency drifts (shared machine, virtual disk) affects
// both alike. The counters give both rates and their ratio.
using Clock = std::chrono::steady_clock;

// Runs the two sides one after the other in every round; each side writes
// `entries` entries and returns how many of them it lost.
void RunPair(benchmark::State& state, int entries, const std::function<long()>& reference,
             const std::function<long()>& candidate) {
    double referenceSeconds = 0, candidateSeconds = 0;
    long lost = 0;
    for (auto _ : state) {
        for (int side = 0; side < 2; ++side) {
            const auto start = Clock::now();
            lost += side == 0 ? reference() : candidate();
            (side == 0 ? referenceSeconds : candidateSeconds) +=
                std::chrono::duration<double>(Clock::now() - start).count();
        }
    }
    const double total = static_cast<double>(state.iterations()) * entries;
    state.counters["reference_per_s"] = total / referenceSeconds;
    state.counters["candidate_per_s"] = total / candidateSeconds;
    state.counters["ratio"] = referenceSeconds / candidateSeconds;
    state.counters["lost"] = static_cast<double>(lost);
}

// Both sides repeat one operation count times a round and lose nothing.
void RunRepeatedPair(benchmark::State& state, int count, const std::function<void()>& reference,
                     const std::function<void()>& candidate) {
    auto repeat = [count](const std::function<void()>& op) {
        for (int i = 0; i < count; ++i) op();
        return 0L;
    };
    RunPair(state, count, [&] { return repeat(reference); }, [&] { return repeat(candidate); });
}

// Small batches, many rounds: the two sides see the same disk conditions.
const int kBatch = 8;
const int kRounds = 150;

// Reference: plain write + fdatasync; candidate: one thread through OrnEhLogFile.
void BM_PairOneThreadVsPlain(benchmark::State& state) {
    const std::string entry = EntryBytes();
    const std::string plainPath = BenchFile("pair_plain.log");
    const std::string logPath = BenchFile("pair_log.log");
    int fd = ::open(plainPath.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666);
    RunPair(
        state, kBatch,
        [&] {
            long lost = 0;
            for (int i = 0; i < kBatch; ++i) {
                if (::write(fd, entry.data(), entry.size()) < 0) ++lost;
                ::fdatasync(fd);
            }
            return lost;
        },
        [&] { return AppendEntries(logPath, kBatch, OrnEhLogUnlimited, 0); });
    ::close(fd);
}
BENCHMARK(BM_PairOneThreadVsPlain)->Iterations(kRounds)->Unit(benchmark::kMillisecond);

// Reference: the raw loop of a durable entry, each entry open + write +
// fdatasync + close; candidate: one entry through OrnEhLogFile (Open, the
// entry's writers, Close).
void BM_PairRawEntryLoopVsLogEntry(benchmark::State& state) {
    const std::string entry = EntryBytes();
    const std::string plainPath = BenchFile("pair_raw.log");
    const std::string logPath = BenchFile("pair_entry.log");
    RunPair(
        state, kBatch,
        [&] {
            long lost = 0;
            for (int i = 0; i < kBatch; ++i) {
                const int fd = ::open(plainPath.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
                if (fd < 0 || ::write(fd, entry.data(), entry.size()) < 0 || ::fdatasync(fd) != 0) ++lost;
                if (fd >= 0) ::close(fd);
            }
            return lost;
        },
        [&] { return AppendEntries(logPath, kBatch, OrnEhLogUnlimited, 0); });
}
BENCHMARK(BM_PairRawEntryLoopVsLogEntry)->Iterations(kRounds)->Unit(benchmark::kMillisecond);

// Reference: one thread; candidate: eight threads of one process, same file,
// 64 entries a side per round.
void BM_PairEightThreadsVsOne(benchmark::State& state) {
    const std::string path = BenchFile("pair_threads.log");
    RunPair(
        state, 64, [&] { return AppendEntries(path, 64, OrnEhLogUnlimited, 0); },
        [&] {
            std::atomic<long> lost{0};
            std::vector<std::thread> threads;
            for (int t = 0; t < 8; ++t) {
                threads.emplace_back([&] { lost += AppendEntries(path, 64 / 8, OrnEhLogUnlimited, 0); });
            }
            for (auto& thread : threads) thread.join();
            return lost.load();
        });
}
BENCHMARK(BM_PairEightThreadsVsOne)->Iterations(kRounds / 4)->Unit(benchmark::kMillisecond);

// Reference: an unlimited file; candidate: a full 1 MiB limited file, where
// every open cuts the oldest record.
void BM_PairLimitedVsUnlimited(benchmark::State& state) {
    const unsigned long kLimit = 1048576;
    const std::string unlimitedPath = BenchFile("pair_unlimited.log");
    const std::string limitedPath = BenchFile("pair_limited.log");
    FillFull(limitedPath, EntryBytes(), kLimit);
    RunPair(
        state, kBatch, [&] { return AppendEntries(unlimitedPath, kBatch, OrnEhLogUnlimited, 0); },
        [&] { return AppendEntries(limitedPath, kBatch, OrnEhLogLimited, kLimit); });
}
BENCHMARK(BM_PairLimitedVsUnlimited)->Iterations(kRounds)->Unit(benchmark::kMillisecond);

// The physical limit of the limited file's steady state: a plain C loop on
// an open descriptor that moves everything behind the oldest entry to the
// front in 1 MiB pieces, cuts the file there, appends the entry and syncs.
long PlainCutAndAppend(int fd, const std::string& entry, int count) {
    static char buffer[1 << 20];
    long lost = 0;
    for (int i = 0; i < count; ++i) {
        struct stat info{};
        if (::fstat(fd, &info) != 0) return count;
        off_t readAt = static_cast<off_t>(entry.size()), writeAt = 0;
        for (ssize_t got; (got = ::pread(fd, buffer, sizeof buffer, readAt)) > 0; readAt += got, writeAt += got) {
            if (::pwrite(fd, buffer, static_cast<std::size_t>(got), writeAt) != got) ++lost;
        }
        if (::ftruncate(fd, writeAt) != 0 || ::pwrite(fd, entry.data(), entry.size(), writeAt) < 0) ++lost;
        ::fdatasync(fd);
    }
    return lost;
}

// Reference: the plain loop; candidate: the full 1 MiB limited log file.
void BM_PairLimitedVsPlainMove(benchmark::State& state) {
    const unsigned long kLimit = 1048576;
    const std::string entry = EntryBytes();
    const std::string plainPath = BenchFile("pair_plain_move.log");
    const std::string limitedPath = BenchFile("pair_limited_log.log");
    FillFull(plainPath, entry, kLimit);
    FillFull(limitedPath, entry, kLimit);
    int fd = ::open(plainPath.c_str(), O_RDWR | O_CLOEXEC);
    RunPair(
        state, kBatch, [&] { return PlainCutAndAppend(fd, entry, kBatch); },
        [&] { return AppendEntries(limitedPath, kBatch, OrnEhLogLimited, kLimit); });
    ::close(fd);
}
BENCHMARK(BM_PairLimitedVsPlainMove)->Iterations(kRounds)->Unit(benchmark::kMillisecond);

// 4 processes of 8 threads each on one full 1 MiB limited file, with the
// standard log file's retries (100 ms, 10 attempts): dropped = failed opens.
void BM_LimitedFourProcessesEightThreads(benchmark::State& state) {
    const int kProcesses = 4, kThreads = 8, kPerThread = 100;
    const unsigned long kLimit = 1048576;
    const std::string path = BenchFile("crowd.log");
    const std::string entry = EntryBytes();
    long dropped = 0;
    for (auto _ : state) {
        state.PauseTiming();
        FillFull(path, entry, kLimit);
        state.ResumeTiming();
        pid_t children[kProcesses];
        for (pid_t& child : children) {
            child = ::fork();
            if (child != 0) continue;
            std::atomic<int> failed{0};
            std::vector<std::thread> threads;
            for (int t = 0; t < kThreads; ++t) {
                threads.emplace_back([&] { failed += AppendEntries(path, kPerThread, OrnEhLogLimited, kLimit, 100, 10); });
            }
            for (auto& thread : threads) thread.join();
            ::_exit(failed.load() > 250 ? 250 : failed.load());
        }
        for (pid_t child : children) {
            int status = 0;
            ::waitpid(child, &status, 0);
            dropped += WIFEXITED(status) ? WEXITSTATUS(status) : kThreads * kPerThread;
        }
    }
    state.SetItemsProcessed(state.iterations() * kProcesses * kThreads * kPerThread);
    state.counters["dropped"] = static_cast<double>(dropped);
    state.counters["opens"] = static_cast<double>(state.iterations() * kProcesses * kThreads * kPerThread);
}
BENCHMARK(BM_LimitedFourProcessesEightThreads)->UseRealTime()->Unit(benchmark::kMillisecond)->Iterations(3);

// Durability, with the log file's pattern of writes on a plain locked
// descriptor: one fdatasync at close (what the log file does) against O_DSYNC
// writes, which only this comparison needs.
enum class Durability { kSyncAtClose, kWriteThrough };

class DurableWriter {
public:
    DurableWriter(const std::string& path, Durability mode)
        : m_fd(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | (mode == Durability::kWriteThrough ? O_DSYNC : 0),
                      0644)),
          m_mode(mode) {
        if (m_fd >= 0) ::flock(m_fd, LOCK_EX);
    }
    ~DurableWriter() {
        if (m_fd < 0) return;
        ::flock(m_fd, LOCK_UN);
        Sync();
        ::close(m_fd);
    }
    DurableWriter(const DurableWriter&) = delete;
    DurableWriter& operator=(const DurableWriter&) = delete;
    long ReadAt(std::uint64_t at, void* buffer, std::size_t size) {
        return static_cast<long>(::pread(m_fd, buffer, size, static_cast<off_t>(at)));
    }
    void WriteAt(std::uint64_t at, const void* data, std::size_t size) {
        if (::pwrite(m_fd, data, size, static_cast<off_t>(at)) > 0) m_dirty = true;
    }
    void Append(const std::string& text) { WriteAt(static_cast<std::uint64_t>(::lseek(m_fd, 0, SEEK_END)), text.data(), text.size()); }
    void Truncate(std::uint64_t length) {
        if (::ftruncate(m_fd, static_cast<off_t>(length)) == 0) m_dirty = true;
    }
    void Sync() {
        if (m_mode == Durability::kSyncAtClose && m_dirty) ::fdatasync(m_fd);
        m_dirty = false;
    }

private:
    int m_fd;
    Durability m_mode;
    bool m_dirty = false;
};

// An entry: one write of the whole text.
void DurableEntry(const std::string& path, const std::string& entry, Durability mode) {
    DurableWriter(path, mode).Append(entry);
}

// An open that cuts: the 1 MiB tail moved to the front in 32767-byte chunks,
// the file truncated, then the entry appended; syncAfterCut adds an
// fdatasync right after the truncation.
void DurableCut(const std::string& path, const std::string& entry, Durability mode, bool syncAfterCut) {
    static char chunk[32767];
    DurableWriter file(path, mode);
    std::uint64_t readAt = entry.size();
    std::uint64_t writeAt = 0;
    for (;;) {
        long got = file.ReadAt(readAt, chunk, sizeof chunk);
        if (got <= 0) break;
        file.WriteAt(writeAt, chunk, static_cast<std::size_t>(got));
        readAt += static_cast<std::uint64_t>(got);
        writeAt += static_cast<std::uint64_t>(got);
    }
    file.Truncate(writeAt);
    if (syncAfterCut) file.Sync();
    file.Append(entry);
}

std::string FullFile(const char* name, const std::string& entry) {
    const std::string path = BenchFile(name);
    std::string fill;
    while (fill.size() <= 1048576) fill += entry;
    pf::File file;
    file.OpenForAppend(path.c_str(), 0);
    file.WriteAll(fill.data(), fill.size());
    return path;
}

// Reference: one fdatasync at close (what the log file does); candidate: O_DSYNC.
void BM_PairEntryDsyncVsFdatasync(benchmark::State& state) {
    const std::string entry = EntryBytes();
    const std::string a = BenchFile("durable_a.log");
    const std::string b = BenchFile("durable_b.log");
    RunRepeatedPair(
        state, kBatch, [&] { DurableEntry(a, entry, Durability::kSyncAtClose); }, [&] { DurableEntry(b, entry, Durability::kWriteThrough); });
}
BENCHMARK(BM_PairEntryDsyncVsFdatasync)->Iterations(kRounds)->Unit(benchmark::kMillisecond);

// The same for opens that cut a full 1 MiB file.
void BM_PairCutDsyncVsFdatasync(benchmark::State& state) {
    const std::string entry = EntryBytes();
    const std::string a = FullFile("cut_a.log", entry);
    const std::string b = FullFile("cut_b.log", entry);
    RunRepeatedPair(
        state, kBatch / 8, [&] { DurableCut(a, entry, Durability::kSyncAtClose, false); }, [&] { DurableCut(b, entry, Durability::kWriteThrough, false); });
}
BENCHMARK(BM_PairCutDsyncVsFdatasync)->Iterations(kRounds)->Unit(benchmark::kMillisecond);

// Reference: one fdatasync at close; candidate: another one right after the cut.
void BM_PairCutExtraSyncVsOne(benchmark::State& state) {
    const std::string entry = EntryBytes();
    const std::string a = FullFile("cut_c.log", entry);
    const std::string b = FullFile("cut_d.log", entry);
    RunRepeatedPair(
        state, kBatch / 4, [&] { DurableCut(a, entry, Durability::kSyncAtClose, false); }, [&] { DurableCut(b, entry, Durability::kSyncAtClose, true); });
}
BENCHMARK(BM_PairCutExtraSyncVsOne)->Iterations(kRounds)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    if (BenchDir().empty()) {
        std::fprintf(stderr, "no directory for the benchmark files\n");
        return 1;
    }
    std::fprintf(stderr, "benchmark files in %s\n", BenchDir().c_str());
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (!std::getenv("ZKQ_BENCH_DIR")) {
        std::error_code ignored;
        std::filesystem::remove_all(BenchDir(), ignored);
    }
    return 0;
}
