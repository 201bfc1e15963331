// One journal entry, field by field, in the native protocol's binary-safe
// form (every value length-prefixed, so line breaks and control characters
// arrive as they are). Texts of the log are converted on the way: code page
// 1252 to UTF-8 (with ORNEH_TEXT_ENCODING=utf-8, a valid UTF-8 sequence is
// kept as it is, as the dialog does), CR LF to LF. A value longer than its
// limit is cut at a character's start and the entry gets ORNEH_CUT=<field>.
// No allocation: the caller's buffer, then a memory file (journal_socket.h).
#ifndef ORNEH_JOURNAL_ENTRY_H
#define ORNEH_JOURNAL_ENTRY_H

#include <cstddef>
#include <cstdint>

#include "journal/journal.h"
#include "platform/journal_socket.h"

namespace orneh {
namespace journal {

constexpr std::size_t kValueLimit = 64 * 1024;        // bytes of UTF-8 per field
constexpr std::size_t kRecordLimit = 1024 * 1024;     // ORNEH_RECORD, the whole record

enum class Encoding { kUtf8, kLog };

class Entry {
public:
    Entry(char* buffer, std::size_t size) noexcept;

    void Field(const char* name, const char* value, Encoding encoding = Encoding::kLog,
               std::size_t limit = kValueLimit) noexcept;
    void Number(const char* name, unsigned long value) noexcept;
    void Id(const char* name, const unsigned char id[16]) noexcept;
    // The fields every entry of ours has: MESSAGE ("<kind>: <text>"),
    // PRIORITY, SYSLOG_IDENTIFIER, MESSAGE_ID, ORNEH_KIND, ORNEH_REPORT_ID.
    void Common(const KindInfo* known, const char* kind, const char* text, bool fault,
                const unsigned char reportId[16]) noexcept;

    // A value in pieces.
    void Begin(const char* name, std::size_t limit) noexcept;
    void Piece(const char* data, std::size_t length, Encoding encoding) noexcept;
    void End() noexcept;

    // Sends and tells a failure (NoteSendResult); the errno value or 0.
    int Send() noexcept;

private:
    // divisible: plain characters, which may be cut anywhere.
    void Out(const char* data, std::size_t length, bool divisible = false) noexcept;

    platform::JournalDatagram m_out;
    bool m_utf8Texts;
    const char* m_name = nullptr;
    std::uint64_t m_lengthAt = 0;
    std::size_t m_length = 0;
    std::size_t m_limit = 0;
    bool m_cut = false;
    bool m_pendingCr = false;
    const char* m_cutField = nullptr;
};

// The stack frames of a stack block's text, one ORNEH_FRAME field per line
// that begins (after its blanks) with '#' and a digit; fed in pieces.
class FrameLines {
public:
    explicit FrameLines(Entry& entry) noexcept : m_entry(entry) {}
    void Piece(const char* data, std::size_t length) noexcept;
    void End() noexcept;  // the last line, when it has no line break

private:
    Entry& m_entry;
    char m_line[512];
    std::size_t m_used = 0;
};

}  // namespace journal
}  // namespace orneh

#endif
