#include "logfile/cut_scan.h"

#include <cstring>

namespace orneh {
namespace logfile {
namespace {

// Makes [position, position + need) available in the window unless the file
// ends first; the bytes before position are dropped. False on a read error.
bool Provide(CutSource& source, CutWindow& window, std::uint64_t position, std::size_t need) noexcept {
    const std::uint64_t windowEnd = window.start + window.used;
    if (position + need <= windowEnd || window.atEnd) return true;
    const std::size_t keep = static_cast<std::size_t>(windowEnd - position);
    std::memmove(window.data, window.data + (position - window.start), keep);
    window.start = position;
    window.used = keep;
    const std::size_t wanted = window.capacity - keep;
    const long got = source.ReadAt(windowEnd, window.data + keep, wanted);
    if (got < 0) return false;
    window.used += static_cast<std::size_t>(got);
    window.atEnd = static_cast<std::size_t>(got) < wanted;
    return true;
}

// Skipping a long line over a hole: the hole holds no line feed, so the
// pieces inside it are skipped at once (keeping their alignment).
void SkipHole(CutSource& source, CutWindow& window, std::uint64_t* position, std::size_t piece) noexcept {
    const std::uint64_t windowEnd = window.start + window.used;
    std::uint64_t data = 0;
    if (!source.NextData(windowEnd, &data) || data <= windowEnd) return;
    const std::uint64_t skipped = (data - *position) / piece * piece;
    if (skipped == 0) return;
    *position += skipped;
    window.start = *position;
    window.used = 0;
}

}  // namespace

bool FindCutPoint(CutSource& source, const char* separator, std::size_t separatorLength, CutWindow& window,
                  std::uint64_t* cut) noexcept {
    const std::size_t piece = separatorLength + 2;
    std::uint64_t position = 0;
    bool skipping = false;  // inside a line longer than a piece
    for (;;) {
        if (!Provide(source, window, position, piece)) return false;
        const std::size_t offset = static_cast<std::size_t>(position - window.start);
        const std::size_t available = window.used - offset;
        if (available < piece) {  // the rest cannot hold a separator line
            *cut = window.start + window.used;
            return true;
        }
        const char* at = window.data + offset;
        if (!skipping) {
            const char* lineFeed = static_cast<const char*>(std::memchr(at, '\n', piece));
            if (!lineFeed) {
                skipping = true;
                position += piece;
                continue;
            }
            const std::size_t length = static_cast<std::size_t>(lineFeed - at) + 1;
            position += length;
            if (length == piece && std::memcmp(at, separator, separatorLength) == 0) {
                *cut = position;
                return true;
            }
            continue;
        }
        const char* lineFeed = static_cast<const char*>(std::memchr(at, '\n', available));
        if (lineFeed) {
            // The piece holding it must be a whole one: go to its start first.
            const std::size_t pieces = static_cast<std::size_t>(lineFeed - at) / piece;
            if (pieces == 0) {
                position += static_cast<std::size_t>(lineFeed - at) + 1;
                skipping = false;
            } else {
                position += pieces * piece;
            }
            continue;
        }
        if (window.atEnd) {
            *cut = window.start + window.used;
            return true;
        }
        position += available / piece * piece;
        if (position + piece > window.start + window.used) SkipHole(source, window, &position, piece);
    }
}

}  // namespace logfile
}  // namespace orneh
