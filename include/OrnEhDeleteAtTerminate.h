// OrnEhDeleteAtTerminate: define one with static lifetime for each exception
// class whose code lives in a module that may go away before the library.
// When it is destroyed (while that code is still loaded), every exception of
// the class, or of a class derived from it, is unlinked from the chain of
// every thread and deleted.
#ifndef ORNEH_ORNEHDELETEATTERMINATE_H
#define ORNEH_ORNEHDELETEATTERMINATE_H

#include "compat/OrnEhAfx.h"
#include "compat/OrnEhExport.h"

struct OrnEhDeleteAtTerminateInfo;

class ORNEH_API OrnEhDeleteAtTerminate {
public:
    explicit OrnEhDeleteAtTerminate(CRuntimeClass* runtimeClass);
    virtual ~OrnEhDeleteAtTerminate();

private:
    OrnEhDeleteAtTerminate(const OrnEhDeleteAtTerminate&) = delete;
    OrnEhDeleteAtTerminate& operator=(const OrnEhDeleteAtTerminate&) = delete;

    OrnEhDeleteAtTerminateInfo* m_info;
};

#endif
