// OrnEhCLib: a failed runtime-library call. It carries the error number the
// caller passes; its text and caption come from tables 381 and 382 of the
// language module (text 1 unless the application sets another).
#ifndef ORNEH_ORNEHCLIB_H
#define ORNEH_ORNEHCLIB_H

#include "OrnEhBasis.h"

class ORNEH_API OrnEhCLib : public OrnEhBasis {
    DECLARE_DYNAMIC(OrnEhCLib)
public:
    OrnEhCLib(const char* const source, const char* const method, const char* const cause,
              unsigned long errorNo, unsigned long extraNo, int push);
    virtual ~OrnEhCLib();

    void Log(OrnEhLogFile& file) const override;
    const char* GetResourceModulname() const override;
    unsigned long GetResIdForTextInfo() const override;
    unsigned long GetResIdForCaption() const override;

private:
    void* m_kindData;  // unused; kept for the common shape of the kinds
};

#endif
