// The systemd journal as a second destination of the error log's records:
// whether it is on, the name entries carry, the kinds' message ids, and the
// one line on stderr when the journal does not take them.
//
// Best effort: a record the journal does not take (no journald, a stopped
// or slow one, a refused or full socket) is dropped without waiting; the
// log file has it. Nothing here allocates or takes a lock, so the last
// resorts may use it after their file record.
//
// Thread safety: any thread, also in a signal handler.
#ifndef ORNEH_JOURNAL_JOURNAL_H
#define ORNEH_JOURNAL_JOURNAL_H

#include <cstddef>

namespace orneh {
namespace journal {

// ORNEH_JOURNAL / OrnEhSetJournal: 0 auto (on when JOURNAL_STREAM is set:
// the process runs under systemd), 1 on, 2 off; other values act as 0.
bool Enabled() noexcept;
void SetMode(int mode) noexcept;

// SYSLOG_IDENTIFIER: the application's name given to OrnEhInitialize (kept
// in a fixed buffer, cut at 127 bytes), else the program's name. Copy
// copies it into out.
void SetIdentifier(const char* name) noexcept;
void CopyIdentifier(char* out, std::size_t size) noexcept;

// What the journal knows of a kind: its MESSAGE_ID (32 hex digits), whether
// its error number is an errno value, whether it is a fault.
struct KindInfo {
    const char* name;
    const char* messageId;
    bool errnoNumber;
    bool fault;
};
// The kind of that name, or null for a kind of the application's own (its
// base class's then counts).
const KindInfo* FindKind(const char* name) noexcept;
// The plain records of the last resorts: an uncaught exception, a fault
// nobody handles, an emergency text.
extern const KindInfo kUncaughtKind;
extern const KindInfo kFaultKind;
extern const KindInfo kEmergencyKind;

// While one lives in a thread, the records it writes are a last resort's
// (PRIORITY 2).
class LastResortScope {
public:
    LastResortScope() noexcept;
    ~LastResortScope();
    LastResortScope(const LastResortScope&) = delete;
    LastResortScope& operator=(const LastResortScope&) = delete;
    static bool Active() noexcept;

private:
    bool m_was;
};

// The result of a send (0 or an errno value): the first failure after a
// send that went through is told in one line on stderr; a success arms it
// again.
void NoteSendResult(int error) noexcept;

}  // namespace journal
}  // namespace orneh

#endif
