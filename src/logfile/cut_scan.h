// Where the cut of a limited log file ends: the position just behind the
// first separator line, found with large reads.
//
// The result is the one a reader of pieces of separator length + 2 bytes
// gets (the log file's historic rule): a piece that begins a line and holds a
// line feed is a line (the next piece starts behind it); a full piece
// without one begins a long line, whose following pieces are skipped until
// one holds a line feed; a full piece that ends in a line feed and starts
// with the separator is the separator line. The scan ends at the end of the
// file, and also as soon as fewer bytes than a piece remain.
#ifndef ORNEH_LOGFILE_CUT_SCAN_H
#define ORNEH_LOGFILE_CUT_SCAN_H

#include <cstddef>
#include <cstdint>

namespace orneh {
namespace logfile {

// The bytes being scanned.
class CutSource {
public:
    // Up to size bytes at offset, fewer only at the end; -1 on error.
    virtual long ReadAt(std::uint64_t offset, char* out, std::size_t size) = 0;
    // The first offset at or after offset that may hold bytes other than
    // zeros, or the end of the file when none does; false on error.
    virtual bool NextData(std::uint64_t offset, std::uint64_t* next) = 0;

protected:
    ~CutSource() = default;
};

// The bytes of the file at [start, start + used); atEnd once a read came up
// short, so that start + used is the end of the file. After the scan it holds
// the bytes from the cut point on that were read already.
struct CutWindow {
    char* data;
    std::size_t capacity;  // at least twice the separator length + 2
    std::uint64_t start;
    std::size_t used;
    bool atEnd;
};

// Sets *cut to the position just behind the first separator line, or to the
// end of the file. False when a read fails.
bool FindCutPoint(CutSource& source, const char* separator, std::size_t separatorLength, CutWindow& window,
                  std::uint64_t* cut) noexcept;

}  // namespace logfile
}  // namespace orneh

#endif
