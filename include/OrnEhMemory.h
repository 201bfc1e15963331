// OrnEhMemory: a failed memory allocation.
//
// The library keeps one per thread, made in advance (the thread's reserve
// exception): when an allocation fails, the new handler stores the requested
// size in it, makes it the newest exception of the thread's chain and throws
// it. Its auto-delete flag is off, so Delete() leaves it alive; only the
// library destroys it.
#ifndef ORNEH_ORNEHMEMORY_H
#define ORNEH_ORNEHMEMORY_H

#include "OrnEhBasis.h"

class ORNEH_API OrnEhMemory : public OrnEhBasis {
    DECLARE_DYNAMIC(OrnEhMemory)
public:
    OrnEhMemory();
    virtual ~OrnEhMemory();

    void SetSize(unsigned int size);
    // The same without the 32-bit limit of SetSize (used by the new handlers).
    ORNEH_LOCAL void SetRequestedSize(unsigned long size);

    void Log(OrnEhLogFile& file) const override;
    char* GetErrorTextInfo(void* entry, unsigned long textNo, unsigned long& messageType,
                           unsigned long& captionNo, short& logFlag,
                           short& showFlag) const override;
    void FreeErrorText(char* text) const override;
    char* GetCaptionText(void* entry, unsigned long captionNo) const override;
    void FreeCaptionText(char* text) const override;

private:
    unsigned long m_size;  // the requested size
};

#endif
