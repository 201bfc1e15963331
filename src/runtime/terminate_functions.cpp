// The terminate function list. One lock keeps it consistent while threads
// register, remove and walk it; the lock is re-entrant, so a terminate
// function may itself register or remove functions. The functions are called
// without the lock held. While a walk is under way a removed node is unlinked
// but not freed: the walk may stand on it, and its next pointer still leads
// on into the list.
//
// The functions are the application's: they get a normal thread's stack.
// A last resort reached from the fault handler runs on the small signal
// stack, so there they run on a thread of their own, which is waited for.
#include "runtime/terminate_functions.h"

#include "OrnEh.h"
#include "base/alloc.h"
#include "platform/fault_translator.h"
#include "platform/signals.h"
#include "platform/stacktrace.h"
#include "platform/system.h"
#include "base/contained.h"
#include "runtime/se_translator.h"

namespace {

struct TerminateNode {
    void (*function)();
    TerminateNode* next;
    TerminateNode* nextUnlinked;  // in the list of nodes removed during a walk
};

orneh::platform::Mutex g_lock;
orneh::platform::HeldAcrossFork<g_lock> g_lockAcrossFork;
TerminateNode* g_head GUARDED_BY(g_lock) = nullptr;
int g_walks GUARDED_BY(g_lock) = 0;
TerminateNode* g_unlinked GUARDED_BY(g_lock) = nullptr;

}  // namespace

void OrnEhSetTerminateFunction(void (*function)()) {
    orneh::platform::MutexLock guard(g_lock);
    TerminateNode* node = orneh::base::New<TerminateNode>();
    if (!node) return;
    node->function = function;
    node->next = g_head;
    node->nextUnlinked = nullptr;
    g_head = node;
}

void OrnEhDeleteTerminateFunction(void (*function)()) {
    orneh::platform::MutexLock guard(g_lock);
    for (TerminateNode** link = &g_head; *link; link = &(*link)->next) {
        if ((*link)->function != function) continue;
        TerminateNode* node = *link;
        *link = node->next;
        if (g_walks > 0) {
            node->nextUnlinked = g_unlinked;
            g_unlinked = node;
        } else {
            orneh::base::Delete(node);
        }
        return;
    }
}

namespace {

// A walk under way; when it ends, however it ends (a terminate function may
// end its thread), the nodes removed meanwhile are freed by the last walk.
struct WalkUnderWay {
    WalkUnderWay() {
        orneh::platform::MutexLock guard(g_lock);
        ++g_walks;
    }
    ~WalkUnderWay() {
        orneh::platform::MutexLock guard(g_lock);
        if (--g_walks != 0) return;
        while (g_unlinked) {
            TerminateNode* next = g_unlinked->nextUnlinked;
            orneh::base::Delete(g_unlinked);
            g_unlinked = next;
        }
    }
};

void Walk() {
    WalkUnderWay walk;
    TerminateNode* node;
    {
        orneh::platform::MutexLock guard(g_lock);
        node = g_head;
    }
    while (node) {
        if (node->function) orneh::Contained(node->function);
        orneh::platform::MutexLock guard(g_lock);
        node = node->next;
    }
}

// A fault in a function is thrown to the catch around it in this thread too.
void WalkOnOwnThread(void*) {
    orneh::platform::SetSeTranslator(&ExSeTranslator);
    Walk();
}

}  // namespace

namespace orneh {
namespace runtime {

void CallTerminateFunctions() {
    {
        platform::MutexLock guard(g_lock);
        if (!g_head) return;
    }
    if (platform::OnAlternateSignalStack() && platform::RunOnNewThread(&WalkOnOwnThread, nullptr)) return;
    Walk();
}

}  // namespace runtime
}  // namespace orneh
