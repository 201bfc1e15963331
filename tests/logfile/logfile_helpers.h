// Helpers shared by the log file tests.
#ifndef ZKQ_TESTS_LOGFILE_LOGFILE_HELPERS_H
#define ZKQ_TESTS_LOGFILE_LOGFILE_HELPERS_H

#include <chrono>
#include <fcntl.h>
#include <string>
#include <sys/file.h>
#include <unistd.h>

#include "OrnEhLogFile.h"
#include "support/test_util.h"

namespace logtest {

// A record as the library writes it: the text, then the separator line.
inline std::string Record(const std::string& text, const std::string& separator) {
    return text + separator + "\r\n";
}

inline std::string Stars() { return std::string(68, '*'); }

// Writes one record through a public-constructor object.
inline int AppendRecord(const std::string& path, const std::string& text, const char* separator,
                        OrnEhLogfileStyle style = OrnEhLogUnlimited, unsigned long maxSize = 0) {
    OrnEhLogFile log(path.c_str(), style, maxSize, separator, 10, 3);
    if (!log.Open()) return 0;
    log << text.c_str();
    log.Close();
    return 1;
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

// True when a real /tmp/ZKFEHLER.LOG would redirect the standard log file.
inline bool SystemStandardFileExists() { return zkqtest::FileExists("/tmp/ZKFEHLER.LOG"); }

}  // namespace logtest

#endif
