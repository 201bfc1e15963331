// OrnEhSEH: a processor fault (access violation, division by zero, stack
// overflow ...) turned into an exception of the family. The library makes it
// itself: the fault translator of a registered thread throws one from the
// faulting point, and the top-level filter logs one for a fault nobody
// handles. It copies the exception records and the processor context, and
// its log record holds the code by name and a dump of the registers.
#ifndef ORNEH_ORNEHSEH_H
#define ORNEH_ORNEHSEH_H

#include "OrnEhBasis.h"
#include "compat/OrnEhSeh.h"

struct SehExceptionCopy;

class ORNEH_API OrnEhSEH : public OrnEhBasis {
    DECLARE_DYNAMIC(OrnEhSEH)
public:
    // Never throws and never fails: whatever cannot be copied is absent.
    OrnEhSEH(EXCEPTION_POINTERS* pointers, int push);
    virtual ~OrnEhSEH();

    void Log(OrnEhLogFile& file) const override;
    const char* GetResourceModulname() const override;
    unsigned long GetResIdForTextInfo() const override;
    unsigned long GetResIdForCaption() const override;

private:
    SehExceptionCopy* m_copy;
};

#endif
