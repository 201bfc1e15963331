// A real systemd-journald for the tests, in a private mount namespace of the
// test process: empty tmpfs on /run/systemd/journal, /run/log (and
// /var/log/journal where it exists), so the daemon and journalctl see only
// what the test sends. Entries are read back with `journalctl -o export`,
// which keeps every byte of a value.
#ifndef ZKQ_TESTS_JOURNAL_JOURNALD_H
#define ZKQ_TESTS_JOURNAL_JOURNALD_H

#include <map>
#include <string>
#include <vector>

#include <sys/types.h>

namespace zkqtest {

// One entry: each field with its values (a repeated field has several).
using JournalEntry = std::map<std::string, std::vector<std::string>>;

class Journald {
public:
    // Enters the namespace (once per process) and starts the daemon on an
    // empty journal; "" on success, else why it cannot (the tests skip).
    static std::string Start();
    static void Stop();  // ends the daemon; its socket file stays
    static pid_t Pid();
    // `journalctl -o export <matches>`, parsed; waits up to 20 s for at
    // least `atLeast` entries.
    static std::vector<JournalEntry> Read(const std::string& matches, std::size_t atLeast = 1);
};

// The one value of a field, or "" (a test failure when it is repeated).
std::string Field(const JournalEntry& entry, const std::string& name);

// Standard error of this process into a file while it lives.
class CapturedStderr {
public:
    explicit CapturedStderr(const std::string& path);
    ~CapturedStderr();
    std::string Text() const;

private:
    std::string m_path;
    int m_saved;
};

}  // namespace zkqtest

#endif
