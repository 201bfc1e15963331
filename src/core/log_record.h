// The text the library writes about errors: the report entry of a chain in
// the log file (newest first) and the details text of the error dialog
// (oldest first), both made of the exceptions' own records.
#ifndef ORNEH_CORE_LOG_RECORD_H
#define ORNEH_CORE_LOG_RECORD_H

class OrnEhBasis;
class OrnEhLogFile;
class ExContainer;

namespace orneh {
namespace core {

// Writes the report entry for message and the chain ending at newest into
// log, which the caller has opened, and closes log (also when a record's
// writing ends the thread).
void WriteReportEntry(OrnEhLogFile& log, const char* message, OrnEhBasis* newest);

// Switches log to memory mode and writes the details text of the chain
// ending at newest; false (nothing written) when memory mode cannot start.
bool WriteDetailsText(OrnEhLogFile& log, OrnEhBasis* newest);

// The static Log for the chain ending at newest: a report entry in the
// container's standard log file (or the file the newest exception that names
// one asks for).
void LogChain(ExContainer* container, const char* message, OrnEhBasis* newest);

// A report entry for e alone, which no chain can take (its record could not
// be had, or the thread has no container): in the thread's standard log
// file, or one of its own configured as those are.
void LogAlone(OrnEhBasis* e);

}  // namespace core
}  // namespace orneh

#endif
