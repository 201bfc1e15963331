// Free functions of the library and the log file style.
//
// Thread safety: OrnEhCopyString and OrnEhDeleteString may be called from any
// thread.
#ifndef ORNEH_ORNEH_H
#define ORNEH_ORNEH_H

#include <cstddef>

#include "compat/OrnEhExport.h"

// How a log file treats its size. The underlying type is fixed so that any
// value may be stored; every value other than 1 and 2 acts like 0.
enum OrnEhLogfileStyle : int {
    OrnEhLogUnlimited = 0,  // grows without limit
    OrnEhLogLimited = 1,    // the oldest record is cut at open while above the limit
    OrnEhLogOff = 2         // reports write no records into the standard log file
};

// A heap copy of text (malloc'd, release with OrnEhDeleteString); null for a
// null text or when memory runs out.
ORNEH_API char* OrnEhCopyString(const char* const text);

// Frees a text made by OrnEhCopyString or handed out by the library; null is
// ignored.
ORNEH_API void OrnEhDeleteString(const char* const text);

// Whether the error log's records also go to the systemd journal, one
// structured entry each (see the README, "The systemd journal"). The
// underlying type is fixed; every value other than 1 and 2 acts like 0.
enum OrnEhJournalMode : int {
    OrnEhJournalAuto = 0,  // on when the process runs as a systemd service (JOURNAL_STREAM is set)
    OrnEhJournalOn = 1,
    OrnEhJournalOff = 2
};

class OrnEhBasis;

// --- Initialisation and last resorts -------------------------------------------
// Called once at start-up in the main thread: installs the terminate handler,
// the calling thread's fault translator and (unless OLE_DEBUG is set) the
// process-wide filter for faults nobody handles, and configures the standard
// log file of every thread: directory/subDirectory/fileName, style and size
// limit; applicationName is printed in every report entry.
ORNEH_API void OrnEhInitialize(const char* const applicationName, OrnEhLogfileStyle style,
                               const char* const fileName, const char* const subDirectory,
                               const char* const directory, unsigned long maxSize);
// Switches the journal for the whole process, in place of what ORNEH_JOURNAL
// said at load. Any thread; records being written keep the switch they began
// with.
ORNEH_API void OrnEhSetJournal(OrnEhJournalMode mode);
// Functions the last-resort handlers call before the process ends, the one
// registered last first. A function registered twice is called twice.
ORNEH_API void OrnEhSetTerminateFunction(void (*function)());
// Removes one registration of function.
ORNEH_API void OrnEhDeleteTerminateFunction(void (*function)());
// New handlers: make the calling thread's reserve OrnEhMemory the newest
// exception of its chain with the size asked for, and throw it (as
// OrnEhMemory*). Hook one into std::set_new_handler:
//     std::set_new_handler([] { OrnEhMarloNewHandler(); });
// They return 0 only when the thread has no reserve exception.
ORNEH_API int OrnEhMarloNewHandler(std::size_t size);
ORNEH_API int OrnEhMarloNewHandler();

// --- Threads -----------------------------------------------------------------
// A thread is registered on its first use of the library; calling this early
// also installs the fault translator in it.
ORNEH_API void OrnEhInitThreadExHandling();
// Releases the calling thread's chain when its work ends.
ORNEH_API void OrnEhEndThreadExHandling();
// Takes the calling thread's whole chain out of it and returns its newest
// exception (null for an empty chain); the caller owns the chain now.
ORNEH_API OrnEhBasis* OrnEhGetExceptions();
// Appends the chain whose newest exception is e to the calling thread's chain;
// e becomes the newest. Null does nothing.
ORNEH_API void OrnEhSetExceptions(OrnEhBasis* e);
// 1 when the calling thread's chain holds an exception, else 0.
ORNEH_API int OrnEhExistMARLOException();

#endif
