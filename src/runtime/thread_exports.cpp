// The exported thread functions: registration, end of a thread's work, and
// handing a chain from one thread to another.
#include "OrnEh.h"
#include "OrnEhBasis.h"
#include "core/basis_info.h"
#include "runtime/admin.h"
#include "runtime/boundary.h"

using orneh::Boundary;

void OrnEhInitThreadExHandling() {
    Boundary([] {
        ExMultiThreadAdmin* admin = GetAdmin();
        std::uint32_t index = 0;
        if (admin) admin->InitThread(index, 0);
    });
}

void OrnEhEndThreadExHandling() {
    Boundary([] {
        ExMultiThreadAdmin* admin = GetAdmin();
        if (admin && !admin->EndThread()) {
            WriteEmergencyText("EndThreadExHandling ohne InitThreadExHandling");
        }
    });
}

OrnEhBasis* OrnEhGetExceptions() {
    return Boundary(nullptr, []() -> OrnEhBasis* {
        ExContainer* container = GetCurrentContainer();
        return container ? container->TakeChain() : nullptr;
    });
}

void OrnEhSetExceptions(OrnEhBasis* e) {
    if (!e) return;
    Boundary([e] {
        if (ExContainer* container = GetCurrentContainer()) container->AttachChain(e);
    });
}

int OrnEhExistMARLOException() {
    return Boundary(0, [] {
        ExContainer* container = GetCurrentContainer();
        return container && container->GetLast() ? 1 : 0;
    });
}
