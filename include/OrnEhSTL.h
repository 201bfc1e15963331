// OrnEhSTL: wraps a standard-library exception; keeps the text of what().
#ifndef ORNEH_ORNEHSTL_H
#define ORNEH_ORNEHSTL_H

#include <exception>

#include "OrnEhBasis.h"

struct StlErrorData;

class ORNEH_API OrnEhSTL : public OrnEhBasis {
    DECLARE_DYNAMIC(OrnEhSTL)
public:
    OrnEhSTL(const std::exception& wrapped, int push);
    virtual ~OrnEhSTL();

    void Log(OrnEhLogFile& file) const override;
    char* GetErrorTextInfo(void* entry, unsigned long textNo, unsigned long& messageType,
                           unsigned long& captionNo, short& logFlag,
                           short& showFlag) const override;
    char* GetCaptionText(void* entry, unsigned long captionNo) const override;
    void FreeCaptionText(char* text) const override;

private:
    StlErrorData* m_data;
};

#endif
