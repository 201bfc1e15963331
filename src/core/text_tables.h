// The two byte tables that hold error texts and captions in a resource
// module. Both are sequences of little-endian records without padding,
// ended by a record whose number is 0:
//   text table:    number (4), text (NUL-terminated), caption number (4),
//                  message type (4), show flag (2), log flag (2)
//   caption table: number (4), caption (NUL-terminated)
// The walks never read outside the size they are given: a table without an
// end mark, a text without its NUL or a record cut short ends the search.
#ifndef ORNEH_CORE_TEXT_TABLES_H
#define ORNEH_CORE_TEXT_TABLES_H

#include <cstddef>

namespace orneh {
namespace core {

struct TextRecord {
    const char* text;  // points into the table
    unsigned long captionNo;
    unsigned long messageType;
    short showFlag;
    short logFlag;
};

// Record textNo of a text table of size bytes; false when it is not there.
bool FindTextRecord(const void* table, std::size_t size, unsigned long textNo, TextRecord& out);

// Caption captionNo of a caption table of size bytes, or null.
const char* FindCaption(const void* table, std::size_t size, unsigned long captionNo);

// The bytes from entry to the end of the resource that holds it, when entry
// points into a loaded resource module; a table given by other means (an
// override of the resource hooks) is trusted up to its end mark.
std::size_t TableBytes(const void* entry);

}  // namespace core
}  // namespace orneh

#endif
