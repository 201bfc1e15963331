// What every kind that supplies its own error text promises about the
// presentation: message type 0, no caption number, logged and shown.
#ifndef ORNEH_KINDS_KIND_TEXTS_H
#define ORNEH_KINDS_KIND_TEXTS_H

namespace orneh {
namespace kinds {

inline void SetOwnTextPresentation(unsigned long& messageType, unsigned long& captionNo,
                                   short& logFlag, short& showFlag) {
    messageType = 0;
    captionNo = 0;
    logFlag = 1;
    showFlag = 1;
}

}  // namespace kinds
}  // namespace orneh

#endif
