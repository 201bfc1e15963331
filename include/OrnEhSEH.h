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

    // --- Used inside the library only (not exported). -----------------------

    // A thread's reserve for a fault that finds no memory: made in advance
    // with room for a record, a context and a call stack; null when that room
    // cannot be had.
    ORNEH_LOCAL static OrnEhSEH* NewReserve();
    // Fills the reserve from a fault without allocating (one record, no
    // nested ones); the caller links it into the chain.
    ORNEH_LOCAL void TakeFault(EXCEPTION_POINTERS* pointers);

private:
    SehExceptionCopy* m_copy;
};

#endif
