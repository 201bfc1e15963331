// OrnEhLogFile: cutting the oldest record off a file above its size limit,
// in place.
//
// Another program may truncate the file meanwhile without taking the writer
// lock (copytruncate, ": > file"). The cut then never grows the file and
// never leaves zeros: it stops, keeps what is there, and the record is
// appended behind it.
#include <cstring>

#include "OrnEhLogFile.h"
#include "logfile/cut_scan.h"
#include "logfile/logfile_state.h"
#include "base/alloc.h"

namespace lf = orneh::logfile;
namespace pf = orneh::platform;

namespace {

// Enough for two pieces of the longest separator line.
constexpr std::size_t kFallbackSize = 2 * (lf::kMaxSeparatorLength + 2);

// The working memory of one cut: a large heap block, or the caller's small
// block when the heap has none (slower, same result).
class CutBuffer {
public:
    CutBuffer(char* fallback, std::size_t fallbackSize)
        : m_owned(static_cast<char*>(orneh::base::Alloc(lf::kCutBufferSize))),
          m_data(m_owned ? m_owned : fallback),
          m_size(m_owned ? lf::kCutBufferSize : fallbackSize) {}
    ~CutBuffer() { orneh::base::Free(m_owned); }
    CutBuffer(const CutBuffer&) = delete;
    CutBuffer& operator=(const CutBuffer&) = delete;

    char* data() const { return m_data; }
    std::size_t size() const { return m_size; }

private:
    char* m_owned;
    char* m_data;
    std::size_t m_size;
};

class FileSource final : public lf::CutSource {
public:
    explicit FileSource(pf::File& file) : m_file(file) {}
    long ReadAt(std::uint64_t offset, char* out, std::size_t size) override {
        return m_file.ReadAt(offset, out, size);
    }
    bool NextData(std::uint64_t offset, std::uint64_t* next) override { return m_file.NextData(offset, next); }

private:
    pf::File& m_file;
};

// Writes in place while it lives; appending again afterwards.
class InPlace {
public:
    explicit InPlace(pf::File& file) : m_file(file), m_ok(file.SetAppending(false)) {}
    ~InPlace() { m_file.SetAppending(true); }
    InPlace(const InPlace&) = delete;
    InPlace& operator=(const InPlace&) = delete;
    bool ok() const { return m_ok; }

private:
    pf::File& m_file;
    bool m_ok;
};

// The file was read up to readEnd, so it was at least that long; shorter now
// means someone truncated it.
bool Shrunk(const pf::File& file, std::uint64_t readEnd) {
    std::uint64_t size = 0;
    return !file.Size(&size) || size < readEnd;
}

// After a truncation that came between the check and a write (or the final
// truncate) of ours: what we wrote at or behind end goes, and so do the zeros
// that filled the gap up to it. Log text holds no NUL bytes, so the zeros
// end where the text left behind by the truncation ends.
void TakeBackWrite(pf::File& file, std::uint64_t end, char* buffer, std::size_t size) {
    std::uint64_t length = 0;
    if (file.Size(&length) && length > end) file.Truncate(end);
    while (end > 0) {
        const std::size_t chunk = end < size ? static_cast<std::size_t>(end) : size;
        if (file.ReadAt(end - chunk, buffer, chunk) != static_cast<long>(chunk)) return;
        std::size_t kept = chunk;
        while (kept > 0 && buffer[kept - 1] == '\0') --kept;
        end -= chunk - kept;
        if (kept > 0) break;
    }
    if (file.Size(&length) && length > end) file.Truncate(end);
}

// Moves everything from cut on to the front: first the bytes the scan holds
// already, then chunk by chunk; finally the file ends behind them. A failed
// read or write stops the move and keeps the length (no byte that was not
// moved is thrown away); a truncation by someone else stops it too.
void MoveTail(pf::File& file, lf::CutWindow& window, std::uint64_t cut) {
    std::uint64_t readEnd = window.start + window.used;
    std::uint64_t writeAt = 0;
    const char* pending = window.data + (cut - window.start);
    std::size_t pendingLength = static_cast<std::size_t>(readEnd - cut);
    for (;;) {
        if (pendingLength > 0) {
            if (Shrunk(file, readEnd) || !file.WriteAllAt(writeAt, pending, pendingLength)) return;
            if (Shrunk(file, readEnd)) return TakeBackWrite(file, writeAt, window.data, window.capacity);
            writeAt += pendingLength;
        }
        if (window.atEnd) break;
        const long got = file.ReadAt(readEnd, window.data, window.capacity);
        if (got < 0) return;
        window.atEnd = static_cast<std::size_t>(got) < window.capacity;
        pending = window.data;
        pendingLength = static_cast<std::size_t>(got);
        readEnd += pendingLength;
    }
    if (Shrunk(file, readEnd) || !file.Truncate(writeAt) || writeAt == 0) return;
    // A truncation just before ours would have made ours lengthen the file
    // with zeros: the last moved byte is text, never NUL.
    char last = 0;
    if (file.ReadAt(writeAt - 1, &last, 1) == 1 && last == '\0') TakeBackWrite(file, writeAt, window.data, window.capacity);
}

}  // namespace

// Removes everything up to and including the first separator line (the whole
// file when there is none). The fdatasync at Close puts the cut on disk
// together with the record.
void OrnEhLogFile::State::CutToSize(std::uint64_t limit) noexcept {
    std::uint64_t size = 0;
    if (!file.IsOpen() || !file.Size(&size) || size <= limit || !separator) return;
    const std::size_t separatorLength = std::strlen(separator);
    if (separatorLength > lf::kMaxSeparatorLength) return;
    char fallback[kFallbackSize];
    CutBuffer buffer(fallback, sizeof fallback);
    InPlace inPlace(file);
    if (!inPlace.ok()) return;
    FileSource source(file);
    lf::CutWindow window{buffer.data(), buffer.size(), 0, 0, false};
    std::uint64_t cut = 0;
    if (lf::FindCutPoint(source, separator, separatorLength, window, &cut)) MoveTail(file, window, cut);
}
