// OrnEhMFC: wraps an exception of MFC's own family (a CException that is not
// an OrnEhBasis). It copies the wrapped exception's message and class name at
// construction and keeps no reference to it; its caption is "MFC".
#ifndef ORNEH_ORNEHMFC_H
#define ORNEH_ORNEHMFC_H

#include "OrnEhBasis.h"

struct MfcErrorData;

class ORNEH_API OrnEhMFC : public OrnEhBasis {
    DECLARE_DYNAMIC(OrnEhMFC)
public:
    // autoDelete nonzero: wrapped->Delete() once its message is copied.
    OrnEhMFC(CException* const wrapped, int autoDelete, int push);
    virtual ~OrnEhMFC();

    void Log(OrnEhLogFile& file) const override;
    char* GetErrorTextInfo(void* entry, unsigned long textNo, unsigned long& messageType,
                           unsigned long& captionNo, short& logFlag,
                           short& showFlag) const override;
    char* GetCaptionText(void* entry, unsigned long captionNo) const override;

private:
    MfcErrorData* m_data;
};

#endif
