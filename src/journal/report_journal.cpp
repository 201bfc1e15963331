#include "journal/report_journal.h"

#include <cstring>

#include "base/alloc.h"
#include "journal/entry.h"

namespace orneh {
namespace journal {
namespace {

// An entry larger than this goes on in a memory file.
constexpr std::size_t kEntryBuffer = 32 * 1024;

}  // namespace

ReportJournal::ReportJournal(const char* message) noexcept : m_message(message) {
    if (!Enabled()) return;
    m_buffer = static_cast<char*>(base::Alloc(kEntryBuffer));
    platform::NewEntryId(m_id);
}

ReportJournal::~ReportJournal() { base::Free(m_buffer); }

void ReportJournal::Tap(void* self, const char* data, std::size_t length) noexcept {
    auto* journal = static_cast<ReportJournal*>(self);
    if (!journal->m_inRecord || journal->m_textLost) return;
    try {
        journal->m_text.append(data, length);
    } catch (...) {
        journal->m_textLost = true;  // no memory: the entry goes without its text
    }
}

void ReportJournal::BeginRecord() noexcept {
    if (!On()) return;
    m_text.clear();
    m_textLost = false;
    m_stackAt = std::string::npos;
    m_inRecord = true;
}

void ReportJournal::StackBegins() noexcept {
    if (m_inRecord) m_stackAt = m_text.size();
}

void ReportJournal::EndRecord(const RecordFacts& facts) noexcept {
    if (!m_inRecord) return;
    m_inRecord = false;
    Entry entry(m_buffer, kEntryBuffer);
    const bool fault = facts.known && facts.known->fault;
    entry.Common(facts.known, facts.kind ? facts.kind : "", m_message ? m_message : facts.cause, fault, m_id);
    entry.Number("ORNEH_RECORD_NO", ++m_recordNo);
    if (facts.source && *facts.source) entry.Field("CODE_FILE", facts.source);
    entry.Begin("CODE_FUNC", kValueLimit);
    if (facts.className && *facts.className) {
        entry.Piece(facts.className, std::strlen(facts.className), Encoding::kLog);
        entry.Piece(" :: ", 4, Encoding::kUtf8);
    }
    if (facts.method) entry.Piece(facts.method, std::strlen(facts.method), Encoding::kLog);
    entry.End();
    if (facts.known && facts.known->errnoNumber && facts.errorNo != 0) entry.Number("ERRNO", facts.errorNo);
    if (facts.cause) entry.Field("ORNEH_CAUSE", facts.cause);
    entry.Number("ORNEH_ERROR_NO", facts.errorNo);
    entry.Number("ORNEH_TEXT_NO", facts.textNo);
    entry.Number("ORNEH_CAPTION_NO", facts.captionNo);
    entry.Number("ORNEH_THREAD_RAISED", facts.raisedThread);
    entry.Number("ORNEH_THREAD_REPORTED", facts.reportingThread);
    for (std::size_t i = 0; i < facts.paramCount; ++i) {
        const char* value = facts.param(facts.params, i);
        entry.Field("ORNEH_PARAM", value ? value : "");
    }
    if (m_stackAt != std::string::npos && m_stackAt < m_text.size()) {
        FrameLines frames(entry);
        frames.Piece(m_text.data() + m_stackAt, m_text.size() - m_stackAt);
        frames.End();
    }
    if (!m_textLost) {
        entry.Begin("ORNEH_RECORD", kRecordLimit);
        entry.Piece(m_text.data(), m_text.size(), Encoding::kLog);
        entry.End();
    }
    entry.Send();
}

}  // namespace journal
}  // namespace orneh
