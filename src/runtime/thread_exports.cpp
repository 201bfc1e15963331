// The exported thread functions: registration, end of a thread's work, and
// handing a chain from one thread to another.
#include "OrnEh.h"
#include "OrnEhBasis.h"
#include "core/basis_info.h"
#include "runtime/admin.h"

void OrnEhInitThreadExHandling() {
    try {
        ActiveCall active;
        ExMultiThreadAdmin* admin = GetAdmin();
        std::uint32_t index = 0;
        if (admin) admin->InitThread(index, 0);
    } catch (...) {
    }
}

void OrnEhEndThreadExHandling() {
    try {
        ActiveCall active;
        ExMultiThreadAdmin* admin = GetAdmin();
        if (admin && !admin->EndThread()) {
            WriteEmergencyText("EndThreadExHandling ohne InitThreadExHandling");
        }
    } catch (...) {
    }
}

OrnEhBasis* OrnEhGetExceptions() {
    try {
        ActiveCall active;
        ExContainer* container = GetCurrentContainer();
        return container ? container->TakeChain() : nullptr;
    } catch (...) {
        return nullptr;
    }
}

void OrnEhSetExceptions(OrnEhBasis* e) {
    try {
        if (!e) return;
        ActiveCall active;
        if (ExContainer* container = GetCurrentContainer()) container->AttachChain(e);
    } catch (...) {
    }
}

int OrnEhExistMARLOException() {
    try {
        ActiveCall active;
        ExContainer* container = GetCurrentContainer();
        return container && container->GetLast() ? 1 : 0;
    } catch (...) {
        return 0;
    }
}
