// OrnEhWin32: a failed system call. It carries the system error code (by
// default the thread's last error, errno on this platform) and shows the
// system's message for it.
#ifndef ORNEH_ORNEHWIN32_H
#define ORNEH_ORNEHWIN32_H

#include "OrnEhBasis.h"

class ORNEH_API OrnEhWin32 : public OrnEhBasis {
    DECLARE_DYNAMIC(OrnEhWin32)
public:
    // errorNo 0 stands for the calling thread's last error, taken before
    // anything else happens in the constructor.
    OrnEhWin32(const char* const source, const char* const method, const char* const cause,
               unsigned long errorNo, unsigned long extraNo, int push);
    virtual ~OrnEhWin32();

    void Log(OrnEhLogFile& file) const override;
    char* GetErrorTextInfo(void* entry, unsigned long textNo, unsigned long& messageType,
                           unsigned long& captionNo, short& logFlag,
                           short& showFlag) const override;
    void FreeErrorText(char* text) const override;
    char* GetCaptionText(void* entry, unsigned long captionNo) const override;
    void FreeCaptionText(char* text) const override;

private:
    void* m_kindData;  // unused; kept for the common shape of the kinds
};

#endif
