// The administration's lifetime: the process-wide object made on first need,
// and its end when the module goes away.
#include <cstdlib>

#include "base/alloc.h"
#include "runtime/admin_state.h"

namespace ap = orneh::platform;
using namespace orneh::runtime;

orneh::platform::Mutex orneh::runtime::g_createLock;

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
    ExMultiThreadAdmin* admin = g_admin.load();
    if (!admin) return;
    admin->StopWatchingThreadEnds();
    // Another thread may still hold a caught exception, a chain or a record
    // of the administration, or be inside the library: then nothing is
    // freed. At exit the kernel takes the memory back; after an unload it
    // stays, unused.
    if (ap::OtherThreadsRunning()) return;
    t_tearingDown = true;
    admin->~ExMultiThreadAdmin();
    g_admin.store(nullptr);
    orneh::base::Free(admin);
    t_tearingDown = false;
}
