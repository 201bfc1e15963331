// OrnEhLogFile: the writers. Everything goes through WriteText, which buffers
// for the open file (with indentation) or collects into the memory text.
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "OrnEhLogFile.h"
#include "logfile/logfile_state.h"
#include "logfile/loss_notice.h"
#include "base/alloc.h"
#include "platform/system.h"
#include "base/contained.h"

namespace lf = orneh::logfile;
namespace pf = orneh::platform;

namespace {

const char kBlankRun[] =
    "                                                                                                   ";
static_assert(sizeof kBlankRun - 1 == lf::kMaxIndent, "the blank run is the indentation limit");

}  // namespace

void OrnEhLogFile::State::FlushBuffer() noexcept {
    if (bufferUsed > 0) Put(buffer, bufferUsed);
    std::memset(buffer, 0, sizeof buffer);
    bufferUsed = 0;
}

void OrnEhLogFile::State::Put(const char* data, std::size_t length) noexcept {
    if (entryLost || !file.IsOpen() || length == 0) return;
    if (file.WriteAll(data, length)) {
        entryWritten += length;
    } else {
        MoveEntry(data, length, errno);
    }
}

// A write of the entry failed (no room, a size limit, an I/O error): the
// entry leaves the file, which is cut back to where the entry began, so that
// no torn entry stays in front of the next one. The standard log file goes
// on with the candidates after the failed one, as a failed open would: the
// first that takes what was written of the entry and the failed bytes holds
// it from now on. Without one the entry is lost. Either is told once.
bool OrnEhLogFile::State::EntryStart(std::uint64_t* start) noexcept {
    if (!entryStartKnown) {
        std::uint64_t size = 0;
        const std::uint64_t appended = file.Appended() - appendedAtStart;
        if (!file.Size(&size) || appended > size) return false;
        entryStart = size - appended;
        entryStartKnown = true;
    }
    *start = entryStart;
    return true;
}

void OrnEhLogFile::State::MoveEntry(const char* failedData, std::size_t failedLength, int error) noexcept {
    char failedName[sizeof openName];
    std::memcpy(failedName, openName, sizeof failedName);
    // Without its start (the file's size cannot be read) the entry can be
    // neither cut back nor read back: it stays as far as it got, counted lost.
    std::uint64_t start = 0;
    const bool haveStart = EntryStart(&start);
    const std::uint64_t written = entryWritten;
    pf::File failed = std::move(file);
    entryFailed = true;
    bool moved = false;
    while (haveStart && !moved && isStandard && candidate != lf::Candidate::kFallback) {
        OpenStandardFallbacks(candidate == lf::Candidate::kNamed ? lf::Candidate::kSearched : lf::Candidate::kFallback);
        if (!file.IsOpen()) break;
        if (style == OrnEhLogLimited) CutToSize(maxSize);
        if (!file.Size(&entryStart)) entryStart = 0;
        entryStartKnown = true;
        moved = CopyEntry(failed, start, written) && file.WriteAll(failedData, failedLength);
        if (!moved) {
            file.Truncate(entryStart);
            file.Close();
        }
    }
    if (haveStart) failed.Truncate(start);
    failed.Close();
    if (moved) {
        entryWritten = written + failedLength;
        char consequence[sizeof openName + 32];
        std::snprintf(consequence, sizeof consequence, "the record went to %s", openName);
        lf::NoticeLogFailure(failedName, error, consequence);
    } else {
        entryLost = true;
        lf::NoticeLogFailure(failedName, error, "the record is lost");
    }
}

bool OrnEhLogFile::State::CopyEntry(pf::File& from, std::uint64_t start, std::uint64_t length) noexcept {
    char piece[1024];
    for (std::uint64_t done = 0; done < length;) {
        const std::size_t want = length - done < sizeof piece ? static_cast<std::size_t>(length - done) : sizeof piece;
        const long got = from.ReadAt(start + done, piece, want);
        if (got != static_cast<long>(want) || !file.WriteAll(piece, want)) return false;
        done += want;
    }
    return true;
}

void OrnEhLogFile::State::AppendToMemory(const char* text, std::size_t length) noexcept {
    if (!memoryText) return;
    std::size_t needed = memoryLength + length + 1;
    if (needed > memoryCapacity) {
        void* grown = orneh::base::Realloc(memoryText, needed);
        if (!grown) return;
        memoryText = static_cast<char*>(grown);
        memoryCapacity = needed;
    }
    std::memcpy(memoryText + memoryLength, text, length + 1);
    memoryLength += length;
}

void OrnEhLogFile::State::WriteText(const char* text) noexcept {
    if (!text || !*text) return;
    const std::size_t length = std::strlen(text);
    if (memoryMode) {
        AppendToMemory(text, length);
        return;
    }
    if (!file.IsOpen()) return;

    // Indentation never reaches beyond the run of blanks.
    const std::size_t indent = blanks > lf::kMaxIndent ? lf::kMaxIndent : blanks;
    if (indent + bufferUsed + length >= lf::kBufferSize) FlushBuffer();
    if (tap) {
        if (lineStart) tap(tapContext, kBlankRun, indent);
        tap(tapContext, text, length);
    }
    if (lineStart) {
        std::memcpy(buffer + bufferUsed, kBlankRun, indent);
        bufferUsed += static_cast<std::uint32_t>(indent);
        lineStart = 0;
    }
    if (text[length - 1] == '\n') lineStart = 1;
    if (bufferUsed + length < lf::kBufferSize) {
        std::memcpy(buffer + bufferUsed, text, length);
        bufferUsed += static_cast<std::uint32_t>(length);
    } else {
        FlushBuffer();
        Put(text, length);
    }
}

OrnEhLogFile& OrnEhLogFile::operator<<(const char* text) {
    orneh::Contained([&] {
        if (m_state) m_state->WriteText(text);
    });
    return *this;
}

namespace {

template <typename Value>
void WriteFormatted(OrnEhLogFile& log, const char* format, Value value) {
    char digits[24];
    std::snprintf(digits, sizeof digits, format, value);
    log << digits;
}

}  // namespace

OrnEhLogFile& OrnEhLogFile::operator<<(unsigned short value) {
    orneh::Contained([&] {
        WriteFormatted(*this, "%hu", value);
    });
    return *this;
}

OrnEhLogFile& OrnEhLogFile::operator<<(short value) {
    orneh::Contained([&] {
        WriteFormatted(*this, "%hd", value);
    });
    return *this;
}

OrnEhLogFile& OrnEhLogFile::operator<<(unsigned long value) {
    orneh::Contained([&] {
        WriteFormatted(*this, "%lu", value);
    });
    return *this;
}

OrnEhLogFile& OrnEhLogFile::operator<<(long value) {
    orneh::Contained([&] {
        WriteFormatted(*this, "%ld", value);
    });
    return *this;
}

void OrnEhLogFile::WriteHex(unsigned long value) {
    orneh::Contained([&] {
        WriteFormatted(*this, "%lx", value);
    });
}

void OrnEhLogFile::NewLine(unsigned short count) {
    orneh::Contained([&] {
        if (!m_state) return;
        for (unsigned short i = 0; i < count; ++i) m_state->WriteText("\r\n");
        m_state->lineStart = 1;
    });
}

void OrnEhLogFile::WriteDateTime() {
    orneh::Contained([&] {
        if (!m_state) return;
        const pf::LocalTime now = pf::GetLocalTime();
        *this << now.day << "." << now.month << "." << now.year << " " << now.hour << ":"
              << now.minute << ":" << now.second << "\r\n";
    });
}

void OrnEhLogFile::SetBlanks(unsigned short count) {
    if (m_state) m_state->blanks = count;
}

int OrnEhLogFile::SetMemoryMode(int on) {
    return orneh::Contained(0, [&] {
        if (!m_state) return 1;
        State& s = *m_state;
        orneh::base::Free(s.memoryText);
        s.memoryText = nullptr;
        s.memoryLength = 0;
        if (!on) {
            s.memoryMode = 0;
            s.memoryCapacity = 0;
            return 1;
        }
        s.memoryText = static_cast<char*>(orneh::base::Alloc(lf::kMemoryTextStart));
        if (!s.memoryText) {
            s.memoryMode = 0;
            s.memoryCapacity = 0;
            return 0;
        }
        s.memoryText[0] = '\0';
        s.memoryMode = 1;
        s.memoryCapacity = lf::kMemoryTextStart;
        return 1;
    });
}

const char* OrnEhLogFile::GetMemoryText() const {
    return m_state ? m_state->memoryText : nullptr;
}
