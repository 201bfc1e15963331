// Pieces the exception kinds share.
#ifndef ORNEH_KINDS_KIND_SUPPORT_H
#define ORNEH_KINDS_KIND_SUPPORT_H

#include "OrnEhLogFile.h"

namespace orneh {
namespace kinds {

// What every kind that supplies its own error text promises about the
// presentation: message type 0, no caption number, logged and shown.
inline void SetOwnTextPresentation(unsigned long& messageType, unsigned long& captionNo,
                                   short& logFlag, short& showFlag) {
    messageType = 0;
    captionNo = 0;
    logFlag = 1;
    showFlag = 1;
}

// One line of a kind's record with a hexadecimal value.
inline void WriteHexLine(OrnEhLogFile& file, const char* label, unsigned long value) {
    file << label;
    file.WriteHex(value);
    file << "\r\n";
}

}  // namespace kinds
}  // namespace orneh

#endif
