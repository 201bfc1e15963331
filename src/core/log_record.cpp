// The record of one exception, the report entry and the details text, and
// the static Log that writes a report entry for the calling thread's chain.
#include "core/log_record.h"

#include <climits>

#include "OrnEhBasis.h"
#include "OrnEhLogFile.h"
#include "OrnEhParam.h"
#include "core/basis_info.h"
#include "core/journal_facts.h"
#include "core/stack_block.h"
#include "journal/report_journal.h"
#include "base/alloc.h"
#include "platform/system.h"
#include "runtime/admin.h"
#include "runtime/boundary.h"

namespace ap = orneh::platform;

using orneh::core::Info;

namespace {

const unsigned int kLogPathSize = 261;

}  // namespace

void OrnEhBasis::Log(OrnEhLogFile& log) const {
    const OrnEhBasisInfo* info = m_info;
    if (!info) return;
    orneh::Contained([&] {
        log << "Fehlerursache: " << info->Text(OrnEhBasisInfo::kCause) << "\r\n";
        log << "Source: " << info->Text(OrnEhBasisInfo::kSource) << "\r\n";
        log << "Methode: " << info->Text(OrnEhBasisInfo::kClassName) << " :: "
            << info->Text(OrnEhBasisInfo::kMethod) << "\r\n";
        log << "Fehlernummer: " << info->errorNo << "\r\n";
        log << "Fehlertextnummer: " << info->errorTextNo << "   \xDC" "berschriftennummer: "
            << info->captionNo << "\r\n";
        if (info->params) info->params->Log(log);
        log << "ProzessId: " << static_cast<unsigned long>(ap::CurrentProcessId())
            << "   Aufgetreten in Thread: " << static_cast<unsigned long>(info->threadId)
            << "   Ausgegeben in Thread: " << static_cast<unsigned long>(GetExThreadId())
            << "\r\n";
    });
}

namespace orneh {
namespace core {

namespace {

// The records from newest down the chain to until (not included; null: to
// the oldest), each after an empty line; each also to the journal.
void WriteRecordsDown(OrnEhLogFile& log, OrnEhBasis* newest, const OrnEhBasis* until,
                      orneh::journal::ReportJournal& journal) {
    for (OrnEhBasis* e = newest; e && e != until;) {
        log.NewLine(1);
        journal.BeginRecord();
        OrnEhBasisAccess::WriteOwnRecord(e, log);
        journal.StackBegins();
        WriteStackBlock(e, log);
        if (journal.On()) SendRecordFacts(journal, e);
        OrnEhBasisInfo* info = Info(e);
        if (!info) break;
        log.SetBlanks(3);
        e = info->prev;
    }
}

// The newest exception of the chain that since is in, at most steps newer.
OrnEhBasis* NewestFrom(OrnEhBasis* since, int steps) {
    OrnEhBasis* newest = since;
    for (int count = 0; count < steps; ++count) {
        OrnEhBasisInfo* info = Info(newest);
        if (!info || !info->next) break;
        newest = info->next;
    }
    return newest;
}

}  // namespace

// Exceptions that join the chain while the entry is written (a fault inside
// an application's Log override, translated) go into the same entry, after
// the others; a few, in case each record makes the next.
void WriteReportEntry(OrnEhLogFile& log, const char* message, OrnEhBasis* newest) {
    // The entry ends with Close however its writing ends (a Log override
    // that ends its thread included): the file is let go, and the next entry
    // does not run into this one.
    orneh::journal::ReportJournal journal(message);
    struct Closing {
        OrnEhLogFile& log;
        ~Closing() {
            log.SetTap(nullptr, nullptr);
            log.Close();
        }
    } closing{log};
    if (journal.On()) log.SetTap(&orneh::journal::ReportJournal::Tap, &journal);
    OrnEhBasis* const tail = NewestFrom(newest, INT_MAX);
    log << "Fehler: ";
    log.WriteDateTime();
    log.SetBlanks(3);
    log << "Fehlermeldung: " << message << "\r\n";
    log << "Anwendung: " << GetApplicationName() << "\r\n";
    WriteRecordsDown(log, newest, nullptr, journal);
    WriteRecordsDown(log, NewestFrom(tail, 16), tail, journal);
    log.NewLine(1);
    log.NewLine(1);
    log.SetBlanks(0);
}

bool WriteDetailsText(OrnEhLogFile& log, OrnEhBasis* newest) {
    if (!log.SetMemoryMode(1)) return false;
    log << "Fehler: ";
    log.WriteDateTime();
    log.SetBlanks(3);
    log.NewLine(1);
    log << "Anwendung: " << GetApplicationName() << "\r\n";
    log.NewLine(1);
    OrnEhBasis* oldest = newest;
    while (OrnEhBasisInfo* info = Info(oldest)) {
        if (!info->prev) break;
        oldest = info->prev;
    }
    for (OrnEhBasis* e = oldest; e; e = e->GetNext()) {
        OrnEhBasisAccess::WriteRecord(e, log);
        log.SetBlanks(3);
        log.NewLine(1);
    }
    return true;
}

}  // namespace core
}  // namespace orneh

void OrnEhBasis::Log(const char* const message, CException* exception, int autoDelete) {
    orneh::HandledExceptionAside aside;  // the records' Log hooks may end the thread
    orneh::Boundary([&] {
        if (exception) AdoptException(exception, autoDelete);
        ExContainer* container = GetCurrentContainer();
        if (container) orneh::core::LogChain(container, message, container->GetLast());
    });
}

namespace orneh {
namespace core {

void LogAlone(OrnEhBasis* e) {
    if (ExContainer* container = GetCurrentContainer()) {
        LogChain(container, nullptr, e);
        return;
    }
    OrnEhLogFile log;
    ApplyLogConfigTo(log);
    if (log.GetStyle() == OrnEhLogOff) return;
    NameStacksAhead(e);
    log.Open();
    WriteReportEntry(log, nullptr, e);
}

void LogChain(ExContainer* container, const char* message, OrnEhBasis* newest) {
    orneh::Contained([&] {
        if (container->logFile.GetStyle() == OrnEhLogOff) return;
        // The newest exception that names a log file of its own decides.
        OrnEhLogfileStyle style = OrnEhLogLimited;
        unsigned long maxSize = 0;
        // Owned: a Log hook may end the thread while the entry is written.
        orneh::base::OwnedBlock<char> path(static_cast<char*>(orneh::base::AllocZeroed(kLogPathSize)));
        if (path) {
            for (OrnEhBasis* e = newest; e; e = e->GetPrev()) {
                e->GetLogFileInfos(path.get(), style, maxSize);
                path.get()[kLogPathSize - 1] = '\0';  // a hook that fills the whole buffer
                if (path.get()[0]) break;
            }
        }
        NameStacksAhead(newest);
        container->logFile.Open(path.get(), style, maxSize);
        WriteReportEntry(container->logFile, message, newest);
    });
}

}  // namespace core
}  // namespace orneh

void OrnEhBasis::LogKindHead(OrnEhLogFile& file, const char* kindName) const {
    file << "Fehlerart: " << kindName << "\r\n";
    file.SetBlanks(6);
    OrnEhBasis::Log(file);
}
