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
        if (!container) return nullptr;
        OrnEhBasis* newest = container->last;
        // A released exception still waiting for its deferred deletion is not
        // part of the chain handed out: the container keeps it.
        for (OrnEhBasis* e = newest; e; e = e->GetPrev()) {
            if (e == container->current) container->current = nullptr;
        }
        container->last = nullptr;
        return newest;
    } catch (...) {
        return nullptr;
    }
}

void OrnEhSetExceptions(OrnEhBasis* e) {
    try {
        if (!e) return;
        ActiveCall active;
        ExContainer* container = GetCurrentContainer();
        if (!container) return;
        // A chain that is this thread's own already stays as it is.
        for (OrnEhBasis* walk = container->last; walk; walk = walk->GetPrev()) {
            if (walk == e) return;
        }
        OrnEhBasis* oldest = e->GetFirst();
        container->Append(oldest);
        container->last = e;
        container->current = e;
    } catch (...) {
    }
}

int OrnEhExistMARLOException() {
    try {
        ActiveCall active;
        ExContainer* container = GetCurrentContainer();
        return container && container->last ? 1 : 0;
    } catch (...) {
        return 0;
    }
}
