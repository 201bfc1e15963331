// Free functions of the library and the log file style.
//
// Thread safety: OrnEhCopyString and OrnEhDeleteString may be called from any
// thread.
#ifndef ORNEH_ORNEH_H
#define ORNEH_ORNEH_H

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

#endif
