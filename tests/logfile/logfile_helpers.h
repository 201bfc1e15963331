// Helpers shared by the log file tests (and the platform file tests).
#ifndef ZKQ_TESTS_LOGFILE_LOGFILE_HELPERS_H
#define ZKQ_TESTS_LOGFILE_LOGFILE_HELPERS_H

#include <fcntl.h>
#include <functional>
#include <set>
#include <string>
#include <sys/file.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "OrnEhLogFile.h"
#include "base/alloc.h"
#include "support/test_util.h"

namespace logtest {

// A record as the library leaves it: the text, then the separator line.
inline std::string Record(const std::string& text, const std::string& separator = "--") { return text + separator + "\r\n"; }

// What closes a record of the standard log file.
inline std::string StandardEnd() { return std::string(68, '*') + "\r\n\r\n\r\n"; }

// Holds a file as a writer of another process does: its own open file
// description with the exclusive lock, outside the in-process table.
class ForeignHolder {
public:
    explicit ForeignHolder(const std::string& path) : m_fd(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666)) {
        m_holds = m_fd >= 0 && ::flock(m_fd, LOCK_EX | LOCK_NB) == 0;
    }
    ~ForeignHolder() { ::close(m_fd); }
    ForeignHolder(const ForeignHolder&) = delete;
    ForeignHolder& operator=(const ForeignHolder&) = delete;
    bool holds() const { return m_holds; }

private:
    int m_fd;
    bool m_holds;
};

// Runs op with each of its allocations failing in turn: every outcome must be
// full or in allowed, with nothing left allocated (writer table entries
// included); the undisturbed run (at least minimumAllocations allocations)
// must give full.
inline void EveryAllocationFails(const std::function<std::string()>& op, const std::set<std::string>& allowed,
                                 const std::string& full, int minimumAllocations) {
    namespace at = orneh::base::alloctest;
    zkqtest::AllocFailureReset reset;
    const long baseline = at::Outstanding();
    std::string outcome;
    const int allocations = zkqtest::ForEachAllocationFailure([&] { outcome = op(); }, [&](int failedAt) {
        EXPECT_EQ(at::Outstanding(), baseline) << "leak when allocation " << failedAt << " failed";
        EXPECT_TRUE(allowed.count(outcome) || outcome == full) << "allocation " << failedAt << ": " << outcome.substr(0, 60);
    });
    EXPECT_GE(allocations, minimumAllocations);
    EXPECT_EQ(outcome, full);
}

}  // namespace logtest

#endif
