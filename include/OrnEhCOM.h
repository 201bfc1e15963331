// OrnEhCOM: wraps a COM failure reported as a _com_error. It copies what the
// error says at construction (HRESULT, description, source, help file and
// context, interface id, the system's message) and keeps no COM object. Its
// text is the component's description, or else the system's message.
#ifndef ORNEH_ORNEHCOM_H
#define ORNEH_ORNEHCOM_H

#include "OrnEhBasis.h"
#include "compat/OrnEhComDef.h"

struct ComErrorData;

class ORNEH_API OrnEhCOM : public OrnEhBasis {
    DECLARE_DYNAMIC(OrnEhCOM)
public:
    OrnEhCOM(const _com_error& error, int push);
    virtual ~OrnEhCOM();

    void Log(OrnEhLogFile& file) const override;
    char* GetErrorTextInfo(void* entry, unsigned long textNo, unsigned long& messageType,
                           unsigned long& captionNo, short& logFlag,
                           short& showFlag) const override;
    char* GetCaptionText(void* entry, unsigned long captionNo) const override;
    void FreeCaptionText(char* text) const override;

private:
    ComErrorData* m_data;
};

#endif
