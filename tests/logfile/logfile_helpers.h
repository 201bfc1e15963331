// Helpers shared by the log file tests.
#ifndef ZKQ_TESTS_LOGFILE_LOGFILE_HELPERS_H
#define ZKQ_TESTS_LOGFILE_LOGFILE_HELPERS_H

#include <chrono>
#include <fcntl.h>
#include <functional>
#include <string>
#include <sys/file.h>
#include <unistd.h>

#include "OrnEhLogFile.h"
#include "support/test_util.h"

namespace logtest {

// A record as the library leaves it: the text, then the separator line.
inline std::string Record(const std::string& text, const std::string& separator) {
    return text + separator + "\r\n";
}

// What closes a record of the standard log file.
inline std::string StandardEnd() { return std::string(68, '*') + "\r\n\r\n\r\n"; }

// Opens path with separator "--", runs write, closes, returns the file.
inline std::string Written(const std::string& path, const std::function<void(OrnEhLogFile&)>& write) {
    OrnEhLogFile log(path.c_str(), OrnEhLogUnlimited, 0, "--", 10, 1);
    if (!log.Open()) return "(not opened)";
    write(log);
    log.Close();
    return zkqtest::ReadFile(path);
}

// Holds a file as a writer of another process does: its own open file
// description with the exclusive lock, outside the in-process table.
class ForeignHolder {
public:
    explicit ForeignHolder(const std::string& path)
        : m_fd(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666)) {
        if (m_fd >= 0 && ::flock(m_fd, LOCK_EX | LOCK_NB) != 0) {
            ::close(m_fd);
            m_fd = -1;
        }
    }
    ~ForeignHolder() {
        if (m_fd >= 0) ::close(m_fd);
    }
    ForeignHolder(const ForeignHolder&) = delete;
    ForeignHolder& operator=(const ForeignHolder&) = delete;
    bool holds() const { return m_fd >= 0; }

private:
    int m_fd;
};

inline long MillisecondsSince(std::chrono::steady_clock::time_point start) {
    return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                 std::chrono::steady_clock::now() - start)
                                 .count());
}

// Points TMP, TEMP and TMPDIR at directories the test controls.
struct ScopedTempVariables {
    ScopedTempVariables(const char* tmp, const char* temp, const char* tmpdir)
        : m_tmp("TMP", tmp), m_temp("TEMP", temp), m_tmpdir("TMPDIR", tmpdir) {}
    zkqtest::ScopedEnv m_tmp;
    zkqtest::ScopedEnv m_temp;
    zkqtest::ScopedEnv m_tmpdir;
};

// True when a real /tmp/ZKFEHLER.LOG would take part in the search.
inline bool SystemStandardFileExists() { return zkqtest::FileExists("/tmp/ZKFEHLER.LOG"); }

}  // namespace logtest

#endif
