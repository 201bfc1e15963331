// The journal's copy of a record the last resorts write without the heap
// (the plain records, the emergency texts): sent after the file record,
// built on the stack and sent without waiting; no allocation, no lock.
#ifndef ORNEH_JOURNAL_PLAIN_ENTRY_H
#define ORNEH_JOURNAL_PLAIN_ENTRY_H

#include "journal/journal.h"
#include "platform/last_record.h"

namespace orneh {
namespace journal {

// writer writes the record as it wrote it into the file (called twice: the
// record, then its frames); message is the MESSAGE after the kind (its first
// line is taken).
void SendPlainRecord(const KindInfo& kind, const char* message, unsigned long raisedThread,
                     platform::RecordWriter writer, const void* context) noexcept;

}  // namespace journal
}  // namespace orneh

#endif
