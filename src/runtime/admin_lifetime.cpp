// The administration's lifetime: the marker of calls inside the library,
// the process-wide object made on first need, and its end when the module
// goes away.
#include <cstdlib>

#include "base/alloc.h"
#include "runtime/admin_state.h"

namespace ap = orneh::platform;
using namespace orneh::runtime;

orneh::platform::Mutex orneh::runtime::g_createLock;

namespace {

int CallsInside() {
    int sum = 0;
    for (CallStripe& stripe : g_activeCalls) sum += stripe.count.load();
    return sum;
}

}  // namespace

// --- ActiveCall ---------------------------------------------------------------

ActiveCall::ActiveCall() {
    if (t_callDepth++ != 0) return;
    t_stripe = ap::CurrentThreadId() % kStripes;
    g_activeCalls[t_stripe].count.fetch_add(1);
}

ActiveCall::~ActiveCall() {
    if (--t_callDepth == 0) g_activeCalls[t_stripe].count.fetch_sub(1);
}

bool LibraryClosing() { return g_closing.load() && !t_tearingDown; }

// --- The process-wide administration ------------------------------------------

ExMultiThreadAdmin* PeekAdmin() { return g_admin.load(); }

ExMultiThreadAdmin* GetAdmin() {
    if (LibraryClosing()) return nullptr;
    ExMultiThreadAdmin* admin = g_admin.load();
    if (admin) return admin;
    ap::MutexLock lock(g_createLock);
    admin = g_admin.load();
    if (admin || LibraryClosing()) return admin;
    void* block = orneh::base::Alloc(sizeof(ExMultiThreadAdmin));
    if (!block) std::exit(-1);
    admin = new (block) ExMultiThreadAdmin();
    g_admin.store(admin);
    return admin;
}

ExContainer* GetCurrentContainer() {
    ExMultiThreadAdmin* admin = GetAdmin();
    return admin ? admin->GetContainer() : nullptr;
}

void CreateAdminAtLoad() {
    g_closing.store(false);
    GetAdmin();
}

void DestroyAdminAtUnload() {
    ap::MutexLock lock(g_createLock);
    g_closing.store(true);
    if (ExMultiThreadAdmin* admin = g_admin.load()) admin->StopWatchingThreadEnds();
    // Wait (bounded) until no other thread is inside the library. A thread
    // that stays inside keeps using its data, so then nothing is freed: the
    // process is going away anyway.
    int own = t_callDepth > 0 ? 1 : 0;
    for (int waited = 0; CallsInside() > own; ++waited) {
        if (waited >= 1000) return;
        ap::SleepMilliseconds(1);
    }
    ExMultiThreadAdmin* admin = g_admin.load();
    if (!admin) return;
    t_tearingDown = true;
    admin->~ExMultiThreadAdmin();
    g_admin.store(nullptr);
    orneh::base::Free(admin);
    t_tearingDown = false;
}
