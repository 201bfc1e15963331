// The terminate function list. One lock keeps it consistent while threads
// register, remove and walk it; the lock is re-entrant, so a terminate
// function may itself register or remove functions.
#include "runtime/terminate_functions.h"

#include "OrnEh.h"
#include "platform/alloc.h"
#include "platform/system.h"

namespace {

struct TerminateNode {
    void (*function)();
    TerminateNode* next;
};

orneh::platform::Mutex g_lock;
orneh::platform::HeldAcrossFork<g_lock> g_lockAcrossFork;
TerminateNode* g_head GUARDED_BY(g_lock) = nullptr;

}  // namespace

void OrnEhSetTerminateFunction(void (*function)()) {
    orneh::platform::MutexLock guard(g_lock);
    TerminateNode* node = orneh::platform::New<TerminateNode>();
    if (!node) return;
    node->function = function;
    node->next = g_head;
    g_head = node;
}

void OrnEhDeleteTerminateFunction(void (*function)()) {
    orneh::platform::MutexLock guard(g_lock);
    for (TerminateNode** link = &g_head; *link; link = &(*link)->next) {
        if ((*link)->function != function) continue;
        TerminateNode* node = *link;
        *link = node->next;
        orneh::platform::Delete(node);
        return;
    }
}

namespace orneh {
namespace runtime {

void CallTerminateFunctions() {
    // The functions are called from a copy of the list, so that one may
    // register or remove functions without disturbing the walk.
    const int kMax = 256;
    void (*functions[kMax])();
    int count = 0;
    {
        orneh::platform::MutexLock guard(g_lock);
        for (TerminateNode* node = g_head; node && count < kMax; node = node->next) {
            functions[count++] = node->function;
        }
    }
    for (int i = 0; i < count; ++i) {
        try {
            if (functions[i]) functions[i]();
        } catch (...) {
        }
    }
}

}  // namespace runtime
}  // namespace orneh
