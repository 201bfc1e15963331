#include "journal/entry.h"

#include <cstring>

#include "base/settings.h"
#include "platform/fixed_text.h"

namespace orneh {
namespace journal {
namespace {

// U+0080..U+009F of code page 1252 (the rest of its upper half is Latin-1).
// The library's own table, not the language library's: a signal handler
// must not call into another library through a lazily bound symbol.
const unsigned short kHigh[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

std::size_t EncodeUtf8(unsigned int c, char* out) {
    if (c < 0x80) {
        out[0] = static_cast<char>(c);
        return 1;
    }
    if (c < 0x800) {
        out[0] = static_cast<char>(0xC0 | (c >> 6));
        out[1] = static_cast<char>(0x80 | (c & 0x3F));
        return 2;
    }
    out[0] = static_cast<char>(0xE0 | (c >> 12));
    out[1] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out[2] = static_cast<char>(0x80 | (c & 0x3F));
    return 3;
}

// The length of the valid UTF-8 sequence of two or more bytes at data, or 0.
std::size_t Utf8Sequence(const unsigned char* data, std::size_t length) {
    const unsigned char lead = data[0];
    const std::size_t need = lead >= 0xF0 && lead <= 0xF4 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC2 && lead < 0xE0 ? 2 : 0;
    if (need == 0 || (lead >= 0xF5) || need > length) return 0;
    for (std::size_t i = 1; i < need; ++i) {
        if ((data[i] & 0xC0) != 0x80) return 0;
    }
    return need;
}

}  // namespace

Entry::Entry(char* buffer, std::size_t size) noexcept
    : m_out(buffer, size) {
    const char* encoding = base::GetSetting(base::Setting::kTextEncoding);
    m_utf8Texts = encoding && (std::strcmp(encoding, "utf-8") == 0 || std::strcmp(encoding, "UTF-8") == 0);
}

void Entry::Begin(const char* name, std::size_t limit) noexcept {
    m_name = name;
    m_out.Append(name, std::strlen(name));
    m_out.Append("\n", 1);
    m_lengthAt = m_out.Reserve8();
    m_length = 0;
    m_limit = limit;
    m_cut = false;
    m_pendingCr = false;
}

void Entry::Out(const char* data, std::size_t length, bool divisible) noexcept {
    if (m_cut) return;
    if (m_length + length > m_limit) {
        // Plain characters up to the limit; a character as a whole or not.
        if (divisible) Out(data, m_limit - m_length, false);
        m_cut = true;
        if (!m_cutField) m_cutField = m_name;
        return;
    }
    m_out.Append(data, length);
    m_length += length;
}

void Entry::Piece(const char* data, std::size_t length, Encoding encoding) noexcept {
    const auto* in = reinterpret_cast<const unsigned char*>(data);
    for (std::size_t i = 0; i < length && !m_cut;) {
        const unsigned char c = in[i];
        if (encoding == Encoding::kUtf8) {
            // As given, but never cut inside a character.
            std::size_t run = 1;
            while (i + run < length && (in[i + run] & 0xC0) == 0x80) ++run;
            Out(data + i, run);
            i += run;
            continue;
        }
        if (m_pendingCr) {
            m_pendingCr = false;
            if (c != '\n') Out("\r", 1);
        }
        if (c == '\r') {
            m_pendingCr = true;
            ++i;
            continue;
        }
        if (c < 0x80) {
            // A run of plain characters at once.
            std::size_t run = 1;
            while (i + run < length && in[i + run] < 0x80 && in[i + run] != '\r') ++run;
            Out(data + i, run, true);
            i += run;
            continue;
        }
        if (m_utf8Texts) {
            if (const std::size_t run = Utf8Sequence(in + i, length - i)) {
                Out(data + i, run);
                i += run;
                continue;
            }
        }
        char utf8[3];
        Out(utf8, EncodeUtf8(c < 0xA0 ? kHigh[c - 0x80] : c, utf8));
        ++i;
    }
}

void Entry::End() noexcept {
    if (m_pendingCr) Out("\r", 1);
    m_pendingCr = false;
    m_out.Patch8(m_lengthAt, m_length);
    m_out.Append("\n", 1);
}

void Entry::Field(const char* name, const char* value, Encoding encoding, std::size_t limit) noexcept {
    Begin(name, limit);
    if (value) Piece(value, std::strlen(value), encoding);
    End();
}

void Entry::Number(const char* name, unsigned long value) noexcept {
    char digits[24];
    platform::FixedText text{digits, sizeof digits, 0};
    text.Decimal(value);
    Field(name, digits, Encoding::kUtf8);
}

void Entry::Id(const char* name, const unsigned char id[16]) noexcept {
    char hex[33];
    for (int i = 0; i < 16; ++i) {
        hex[2 * i] = "0123456789abcdef"[id[i] >> 4];
        hex[2 * i + 1] = "0123456789abcdef"[id[i] & 0xF];
    }
    hex[32] = '\0';
    Field(name, hex, Encoding::kUtf8);
}

void Entry::Common(const KindInfo* known, const char* kind, const char* text, bool fault,
                   const unsigned char reportId[16]) noexcept {
    Begin("MESSAGE", kValueLimit);
    Piece(kind, std::strlen(kind), Encoding::kLog);
    // The text without the line break a system message ends with.
    std::size_t length = text ? std::strlen(text) : 0;
    while (length > 0 && (text[length - 1] == '\n' || text[length - 1] == '\r' || text[length - 1] == ' ')) --length;
    if (length > 0) {
        Piece(": ", 2, Encoding::kUtf8);
        Piece(text, length, Encoding::kLog);
    }
    End();
    Field("PRIORITY", fault || LastResortScope::Active() ? "2" : "3", Encoding::kUtf8);
    char identifier[128];
    CopyIdentifier(identifier, sizeof identifier);
    Field("SYSLOG_IDENTIFIER", identifier);
    if (known) Field("MESSAGE_ID", known->messageId, Encoding::kUtf8);
    Field("ORNEH_KIND", kind);
    Id("ORNEH_REPORT_ID", reportId);
}

int Entry::Send() noexcept {
    if (m_cutField) Field("ORNEH_CUT", m_cutField, Encoding::kUtf8);
    const int error = m_out.Send();
    NoteSendResult(error);
    return error;
}

void FrameLines::Piece(const char* data, std::size_t length) noexcept {
    for (std::size_t i = 0; i < length; ++i) {
        const char c = data[i];
        if (c == '\n') {
            End();
            continue;
        }
        if (c == '\r') continue;
        if (m_used == 0 && c == ' ') continue;  // the indentation
        if (m_used + 1 < sizeof m_line) m_line[m_used++] = c;
    }
}

void FrameLines::End() noexcept {
    if (m_used >= 2 && m_line[0] == '#' && m_line[1] >= '0' && m_line[1] <= '9') {
        m_entry.Begin("ORNEH_FRAME", kValueLimit);
        m_entry.Piece(m_line, m_used, Encoding::kLog);
        m_entry.End();
    }
    m_used = 0;
}

}  // namespace journal
}  // namespace orneh
