#include "OrnEhDeleteAtTerminate.h"

#include "base/alloc.h"
#include "runtime/admin.h"
#include "runtime/boundary.h"

struct OrnEhDeleteAtTerminateInfo {
    CRuntimeClass* runtimeClass;
};

OrnEhDeleteAtTerminate::OrnEhDeleteAtTerminate(CRuntimeClass* runtimeClass) : m_info(nullptr) {
    m_info = orneh::base::New<OrnEhDeleteAtTerminateInfo>();
    if (m_info) m_info->runtimeClass = runtimeClass;
}

OrnEhDeleteAtTerminate::~OrnEhDeleteAtTerminate() {
    if (!m_info) return;
    CRuntimeClass* runtimeClass = m_info->runtimeClass;
    orneh::Boundary([runtimeClass] {
        if (ExMultiThreadAdmin* admin = PeekAdmin()) admin->DeleteExceptionsOfClass(runtimeClass);
    });
    m_info->runtimeClass = nullptr;
    orneh::base::Delete(m_info);
    m_info = nullptr;
}
