// What the journal's entry of one record says about its exception.
#ifndef ORNEH_CORE_JOURNAL_FACTS_H
#define ORNEH_CORE_JOURNAL_FACTS_H

#include "journal/report_journal.h"

class OrnEhBasis;

namespace orneh {
namespace core {

// Ends e's record in journal with e's facts (its kind, numbers, threads,
// parameters), which sends it.
void SendRecordFacts(journal::ReportJournal& journal, const OrnEhBasis* e);

}  // namespace core
}  // namespace orneh

#endif
