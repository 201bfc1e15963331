// Thread ids as the library reports them: the kernel's, or an identity the
// calling thread borrows to work on another thread's chain; the main thread.
#include "runtime/admin_state.h"

namespace ap = orneh::platform;
using namespace orneh::runtime;

std::uint32_t GetExThreadId() {
    if (t_override) return t_override->threadId;
    return t_overrideId ? t_overrideId : ap::CurrentThreadId();
}

void SetExThreadIdOverride(std::uint32_t threadId) {
    t_override = nullptr;
    t_overrideId = threadId;
}

void SetRecordOverride(ExMultiThreadAdminInfo* info) {
    t_override = info;
    t_overrideId = 0;
}

std::uint32_t GetMainThreadId() { return g_mainThreadId.load(); }

void SetMainThreadId(std::uint32_t threadId) { g_mainThreadId.store(threadId); }
