// The record of a process that is about to end, written when nothing else
// can be trusted: no allocation, no lock of this process, only short waits.
// It goes to the first of the error log's places that takes it whole: the
// configured name, an existing ZKFEHLER.LOG in $TMP, $TEMP, $TMPDIR or
// /tmp, FEHLER.LOG in the current directory (each judged as
// OpenRegularFile judges names); a file another writer holds is waited for
// at most kLastRecordLockWaitMs. A place that fails part-way is cut back to
// where the record began, so no torn record stays there. When no place takes
// it, the record goes to stderr.
//
// Thread safety: any thread, also in a signal handler; several threads may
// write their records at once.
#ifndef ORNEH_PLATFORM_LAST_RECORD_H
#define ORNEH_PLATFORM_LAST_RECORD_H

#include <cstddef>
#include <cstdint>

namespace orneh {
namespace platform {

// The names of the standard error log (the standard log file's search).
constexpr char kStandardLogName[] = "ZKFEHLER.LOG";
constexpr char kFallbackLogName[] = "FEHLER.LOG";
constexpr char kFallbackLogDirectory[] = "/tmp";
constexpr std::size_t kMaxStandardPath = 260;  // bytes, terminating zero included
constexpr unsigned long kLastRecordLockWaitMs = 200;

// What a last record is written through: text in pieces, kept in a small
// buffer and written on.
class RecordSink {
public:
    typedef void (*Output)(void* context, const char* data, std::size_t length);

    explicit RecordSink(int fd) noexcept : m_fd(fd) {}
    // Into output instead of a descriptor (the journal's copy of a record).
    RecordSink(Output output, void* context) noexcept : m_fd(-1), m_output(output), m_context(context) {}
    RecordSink(const RecordSink&) = delete;
    RecordSink& operator=(const RecordSink&) = delete;

    void Text(const char* text) noexcept;
    void Hex(std::uintptr_t value) noexcept;  // lower case, no prefix
    void Decimal(unsigned long value) noexcept;
    // Writes what is kept; false once anything could not be written.
    bool Flush() noexcept;

private:
    int m_fd;
    Output m_output = nullptr;
    void* m_context = nullptr;
    bool m_failed = false;
    std::size_t m_used = 0;
    char m_buffer[1024];
};

// Writes the record; called once for each place tried, so it must write
// the same text each time.
typedef void (*RecordWriter)(RecordSink& sink, const void* context);

void AppendLastRecord(RecordWriter writer, const void* context) noexcept;

// The configured name, copied into a fixed buffer (a name too long for it
// is dropped); null or empty for none. One caller at a time (the caller's
// lock); readers may run meanwhile.
void SetLastRecordPath(const char* path) noexcept;

}  // namespace platform
}  // namespace orneh

#endif
