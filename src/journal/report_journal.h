// A report entry's records for the journal, one entry each: the log file
// hands over the text it writes (OrnEhLogFile::SetTap), the report the
// facts of each exception; each record is sent as soon as it is whole. All
// records of one report share ORNEH_REPORT_ID; ORNEH_RECORD_NO counts them
// from 1, the newest, as the entry lists them.
#ifndef ORNEH_JOURNAL_REPORT_JOURNAL_H
#define ORNEH_JOURNAL_REPORT_JOURNAL_H

#include <cstddef>
#include <string>

#include "journal/journal.h"

namespace orneh {
namespace journal {

struct RecordFacts {
    const char* kind;        // the exception's class
    const KindInfo* known;   // the nearest kind of the library's, or null
    const char* source;      // CODE_FILE
    const char* className;   // CODE_FUNC is "class :: method"
    const char* method;
    const char* cause;
    unsigned long errorNo;
    unsigned long textNo;
    unsigned long captionNo;
    unsigned long raisedThread;
    unsigned long reportingThread;
    // The parameters: paramCount slots, param(params, i) each (null: empty).
    const void* params;
    std::size_t paramCount;
    const char* (*param)(const void* params, std::size_t index);
};

class ReportJournal {
public:
    // message: the report's text (null for a Log without one). Off when the
    // journal is off.
    explicit ReportJournal(const char* message) noexcept;
    ~ReportJournal();
    ReportJournal(const ReportJournal&) = delete;
    ReportJournal& operator=(const ReportJournal&) = delete;

    bool On() const noexcept { return m_buffer != nullptr; }
    // The log file's text, as it goes into the file.
    static void Tap(void* self, const char* data, std::size_t length) noexcept;

    void BeginRecord() noexcept;
    void StackBegins() noexcept;  // the text from here is the record's stack block
    void EndRecord(const RecordFacts& facts) noexcept;

private:
    char* m_buffer = nullptr;
    const char* m_message;
    unsigned char m_id[16];
    unsigned long m_recordNo = 0;
    bool m_inRecord = false;
    bool m_textLost = false;
    std::string m_text;
    std::size_t m_stackAt = 0;
};

}  // namespace journal
}  // namespace orneh

#endif
