// Helpers shared by the test programs: temporary directories, whole files,
// bounded waits and clocks, a barrier, scoped environment and working
// directory changes, a foreign file lock, shell commands, and the sweeps
// that fail each allocation in turn.
#ifndef ZKQ_TESTS_SUPPORT_TEST_UTIL_H
#define ZKQ_TESTS_SUPPORT_TEST_UTIL_H

#include <chrono>
#include <condition_variable>
#include <functional>
#include <initializer_list>
#include <mutex>
#include <set>
#include <string>

#include <gtest/gtest.h>

namespace zkqtest {

// A fresh directory below base (/tmp by default), removed with its contents
// at destruction.
class TempDir {
public:
    explicit TempDir(const char* base = "/tmp");
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return m_path; }
    std::string file(const std::string& name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};

// Whole-file contents; empty when the file cannot be read.
std::string ReadFile(const std::string& path);
bool FileExists(const std::string& path);
void WriteFile(const std::string& path, const std::string& bytes);

// Success when text holds every piece; the failure names the missing one.
::testing::AssertionResult Contains(const std::string& text, std::initializer_list<std::string> pieces);

// Polls done() every stepMs until it holds (true) or timeoutMs have passed
// (false): the one bounded wait of the tests.
bool WaitUntil(const std::function<bool()>& done, int timeoutMs, int stepMs = 10);

// Polls until thread tid of this process is blocked in the system call
// numbered syscallNumber (true), or timeoutMs have passed (false): how a
// test knows that a thread waits where it should.
bool WaitUntilBlockedIn(long tid, long syscallNumber, int timeoutMs = 20000);

// Milliseconds since it was made.
class Stopwatch {
public:
    long Ms() const {
        return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                     std::chrono::steady_clock::now() - m_start).count());
    }

private:
    std::chrono::steady_clock::time_point m_start = std::chrono::steady_clock::now();
};

// Lets a group of threads meet at one point.
class Barrier {
public:
    explicit Barrier(int count) : m_left(count) {}
    void Wait();

private:
    std::mutex m_mutex;
    std::condition_variable m_cv;
    int m_left;
};

// Sets (or, with a null value, unsets) an environment variable for the
// lifetime of the object, and the library's setting of that name with it
// (the library reads its settings once, at load).
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::string m_name;
    std::string m_old;
    bool m_hadOld;
};

// Changes the working directory for the lifetime of the object.
class ScopedCwd {
public:
    explicit ScopedCwd(const std::string& dir);
    ~ScopedCwd();
    ScopedCwd(const ScopedCwd&) = delete;
    ScopedCwd& operator=(const ScopedCwd&) = delete;

private:
    std::string m_old;
};

// Holds a file as a writer of another process does: an open file
// description of its own with the exclusive flock, outside the library's
// table of this process's writers. Created if missing.
class ForeignHolder {
public:
    explicit ForeignHolder(const std::string& path);
    ~ForeignHolder();
    ForeignHolder(const ForeignHolder&) = delete;
    ForeignHolder& operator=(const ForeignHolder&) = delete;
    bool holds() const { return m_holds; }

private:
    int m_fd;
    bool m_holds;
};

// Resets the allocation seam's failure injection when it goes out of scope.
struct AllocFailureReset {
    AllocFailureReset() = default;
    ~AllocFailureReset();
    AllocFailureReset(const AllocFailureReset&) = delete;
    AllocFailureReset& operator=(const AllocFailureReset&) = delete;
};

// Runs op once for each allocation it makes, failing that allocation
// (first, second, ...), until a run completes without hitting an injected
// failure. Returns the number of allocations op makes when nothing fails.
// op must be repeatable; check(failedAt) is called after each failing run
// (failedAt counts from 1), may assert on the neutral result and free what
// the run made; then as many blocks must be allocated as before the first
// run.
template <typename Op, typename Check>
int ForEachAllocationFailure(Op op, Check check);

// ForEachAllocationFailure for an op that sums up its result as a text:
// each failing run must give full or one of allowed, and the undisturbed
// run (at least minimumAllocations allocations) full.
void EveryAllocationFails(const std::function<std::string()>& op, const std::set<std::string>& allowed,
                          const std::string& full, int minimumAllocations);

// The standard output of a shell command (its bytes as they are); ok, if given, tells whether it
// ended with status 0.
std::string RunCommand(const std::string& command, bool* ok = nullptr);

}  // namespace zkqtest

#include "test_util_inl.h"

#endif
