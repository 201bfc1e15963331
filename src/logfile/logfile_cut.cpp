// OrnEhLogFile: cutting the oldest record off a file above its size limit,
// in place.
#include <cstring>

#include "OrnEhLogFile.h"
#include "logfile/logfile_state.h"
#include "platform/alloc.h"

namespace lf = orneh::logfile;
namespace pf = orneh::platform;

namespace {

// The chunk buffer for moving the file's tail; the write buffer (free while
// opening) serves when the chunk cannot be allocated.
class MoveBuffer {
public:
    MoveBuffer(char* spare, std::size_t spareSize)
        : m_owned(static_cast<char*>(pf::Alloc(lf::kMoveChunk))),
          m_data(m_owned ? m_owned : spare),
          m_size(m_owned ? lf::kMoveChunk : spareSize) {}
    ~MoveBuffer() { pf::Free(m_owned); }
    MoveBuffer(const MoveBuffer&) = delete;
    MoveBuffer& operator=(const MoveBuffer&) = delete;

    char* data() const { return m_data; }
    std::size_t size() const { return m_size; }

private:
    char* m_owned;
    char* m_data;
    std::size_t m_size;
};

}  // namespace

// Reads the next piece of a line: up to size - 1 bytes, ended just behind the
// first line feed (the file position is moved back to there). kEnd when
// nothing is left or the rest is too short to hold another full piece.
lf::PieceResult OrnEhLogFile::State::ReadLine(char* piece, std::size_t size, std::size_t* length) noexcept {
    piece[size - 1] = '\0';
    long got = file.Read(piece, size - 1);
    if (got < 0) return lf::PieceResult::kError;
    if (got == 0) return lf::PieceResult::kEnd;
    std::size_t read = static_cast<std::size_t>(got);
    const char* lineFeed = static_cast<const char*>(std::memchr(piece, '\n', read));
    if (!lineFeed) {
        piece[read] = '\0';
        *length = read;
        return lf::PieceResult::kPiece;
    }
    std::size_t pieceLength = static_cast<std::size_t>(lineFeed - piece) + 1;
    piece[pieceLength] = '\0';
    *length = pieceLength;
    if (read < size - 1) return lf::PieceResult::kEnd;
    std::int64_t back = static_cast<std::int64_t>(read - pieceLength);
    if (back > 0 && !file.Seek(-back, pf::SeekFrom::kCurrent)) return lf::PieceResult::kError;
    return lf::PieceResult::kPiece;
}

// Finds the position just behind the first separator line, or the end of
// the file when there is none. False when the file cannot be read.
bool OrnEhLogFile::State::FindCutPoint(std::uint64_t* cut) noexcept {
    const std::size_t separatorLength = std::strlen(separator);
    const std::size_t pieceSize = separatorLength + 3;
    char piece[lf::kMaxSeparatorLength + 3];
    bool skipping = false;
    if (!file.Seek(0, pf::SeekFrom::kBegin)) return false;
    for (;;) {
        std::size_t length = 0;
        lf::PieceResult result = ReadLine(piece, pieceSize, &length);
        if (result == lf::PieceResult::kError) return false;
        if (result == lf::PieceResult::kEnd) break;
        const bool endsLine = piece[length - 1] == '\n';
        if (skipping) {
            skipping = !endsLine;
            continue;
        }
        if (length != separatorLength + 2) continue;
        if (!endsLine) {
            skipping = true;  // the start of a line longer than a separator line
            continue;
        }
        if (std::memcmp(piece, separator, separatorLength) == 0) break;
    }
    return file.Seek(0, pf::SeekFrom::kCurrent, cut);
}

// Moves everything from cut on to the front; the length moved in *moved.
bool OrnEhLogFile::State::MoveToFront(std::uint64_t cut, std::uint64_t* moved) noexcept {
    MoveBuffer chunk(buffer, sizeof buffer);
    std::uint64_t readAt = cut;
    std::uint64_t writeAt = 0;
    for (;;) {
        if (!file.Seek(static_cast<std::int64_t>(readAt), pf::SeekFrom::kBegin)) return false;
        long got = file.Read(chunk.data(), chunk.size());
        if (got < 0) return false;
        if (got == 0) break;
        if (!file.Seek(static_cast<std::int64_t>(writeAt), pf::SeekFrom::kBegin) ||
            !file.WriteAll(chunk.data(), static_cast<std::size_t>(got))) {
            return false;
        }
        readAt += static_cast<std::uint64_t>(got);
        writeAt += static_cast<std::uint64_t>(got);
    }
    *moved = writeAt;
    return true;
}

// Removes everything up to and including the first separator line (the whole
// file when there is none). When reading or moving fails, the file keeps its
// length: bytes not yet moved are never thrown away. The fdatasync at Close
// puts the cut on disk together with the record.
void OrnEhLogFile::State::CutToSize(std::uint64_t limit) noexcept {
    std::uint64_t size = 0;
    if (!file.IsOpen() || !file.Size(&size) || size <= limit || !separator) return;
    if (std::strlen(separator) > lf::kMaxSeparatorLength) return;  // a piece must fit the buffer
    std::uint64_t cut = 0;
    std::uint64_t moved = 0;
    if (FindCutPoint(&cut) && MoveToFront(cut, &moved) && file.Truncate(moved)) {
        file.Seek(static_cast<std::int64_t>(moved), pf::SeekFrom::kBegin);
    } else {
        file.Seek(0, pf::SeekFrom::kEnd);
    }
}
