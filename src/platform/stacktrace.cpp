// Call stacks taken with the C++ runtime's own unwinder (the one every throw
// already relies on, also across the signal frame of a translated fault), and
// modules found with the loader's lock-free lookup.
#include "platform/stacktrace.h"

#include <atomic>
#include <cstring>
#include <dlfcn.h>
#include <link.h>
#include <setjmp.h>
#include <signal.h>
#include <ucontext.h>
#include <unistd.h>
#include <unwind.h>

#include "base/settings.h"
#include "platform/fixed_text.h"

namespace orneh {
namespace platform {
namespace {

std::atomic<int> g_mode{-1};

// The executable's path: the loader gives it no name of its own. Taken once
// when the library is loaded, so that the fault handler only reads it.
char g_executable[1024];
struct ExecutablePath {
    ExecutablePath() {
        ssize_t n = readlink("/proc/self/exe", g_executable, sizeof g_executable - 1);
        g_executable[n > 0 ? n : 0] = '\0';
    }
} g_executablePath;

// The faulting thread's stack, between the handler and the exception.
// Plain data: the handler must not run thread-local initialisation.
struct KeptStack {
    const void* key;
    CallStack stack;
};
thread_local KeptStack t_kept;
// Where a fault inside the unwinder goes back to (see EndFaultedStackWalk).
thread_local sigjmp_buf t_walkStart;
thread_local sigset_t t_walkMask;  // the mask to go back with
thread_local volatile sig_atomic_t t_walking;

// A damaged stack can make the unwinder go round in circles: it may step
// this many frames in all, skipped ones included.
const int kMaxSteps = 4 * kMaxStackFrames;

struct Walk {
    CallStack* out;
    std::uintptr_t start;  // the first frame to keep (0: after skip frames)
    int skip;
    bool started;
    int steps;
};

_Unwind_Reason_Code Step(struct _Unwind_Context* context, void* arg) {
    Walk& walk = *static_cast<Walk*>(arg);
    if (++walk.steps > kMaxSteps) return _URC_END_OF_STACK;
    int beforeInstruction = 0;
    auto ip = static_cast<std::uintptr_t>(_Unwind_GetIPInfo(context, &beforeInstruction));
    if (!walk.started) {
        if (walk.start) {
            // The interrupted frame is the one the signal frame leads to.
            if (ip != walk.start || !beforeInstruction) return _URC_NO_REASON;
        } else if (walk.skip-- > 0) {
            return _URC_NO_REASON;
        }
        walk.started = true;
    }
    if (ip == 0) return _URC_END_OF_STACK;
    if (beforeInstruction) walk.out->exact |= std::uint64_t{1} << walk.out->count;
    walk.out->frames[walk.out->count++] = ip;
    return walk.out->count == kMaxStackFrames ? _URC_END_OF_STACK : _URC_NO_REASON;
}

std::uintptr_t InterruptedInstruction(const void* ucontext) {
#if defined(__x86_64__)
    return static_cast<std::uintptr_t>(
        static_cast<const ucontext_t*>(ucontext)->uc_mcontext.gregs[REG_RIP]);
#elif defined(__aarch64__)
    return static_cast<std::uintptr_t>(static_cast<const ucontext_t*>(ucontext)->uc_mcontext.pc);
#else
    (void)ucontext;
    return 0;
#endif
}

// When the unwinder could not pass the signal frame (a jump to nowhere, code
// without unwind tables, a damaged stack), the faulting instruction is still
// worth having.
void KeepInterruptedOnly(CallStack& out, std::uintptr_t interrupted) {
    if (out.count > 0 || !interrupted) return;
    out.exact = 1;
    out.frames[out.count++] = interrupted;
}

}  // namespace

StackTraceMode GetStackTraceMode() noexcept {
    int mode = g_mode.load(std::memory_order_relaxed);
    if (mode < 0) {
        const char* value = base::GetSetting(base::Setting::kStackTrace);
        mode = static_cast<int>(StackTraceMode::kFaults);
        if (std::strcmp(value, "all") == 0) mode = static_cast<int>(StackTraceMode::kAll);
        if (std::strcmp(value, "off") == 0) mode = static_cast<int>(StackTraceMode::kOff);
        g_mode.store(mode, std::memory_order_relaxed);
    }
    return static_cast<StackTraceMode>(mode);
}

void SetStackTraceMode(StackTraceMode mode) noexcept {
    g_mode.store(static_cast<int>(mode), std::memory_order_relaxed);
}

__attribute__((noinline)) void CaptureStack(CallStack& out, int skip) noexcept {
    out.count = 0;
    out.exact = 0;
    Walk walk{&out, 0, skip + 1, false, 0};  // + this function's own frame
    _Unwind_Backtrace(&Step, &walk);
}

void CaptureSignalStack(const void* ucontext, CallStack& out) noexcept {
    out.count = 0;
    out.exact = 0;
    std::uintptr_t interrupted = InterruptedInstruction(ucontext);
    Walk walk{&out, interrupted, 0, false, 0};
    if (interrupted) _Unwind_Backtrace(&Step, &walk);
    KeepInterruptedOnly(out, interrupted);
}

void KeepFaultStack(const void* ucontext, const void* key) noexcept {
    t_kept.key = nullptr;
    if (!ucontext || GetStackTraceMode() == StackTraceMode::kOff) return;
    t_kept.stack.count = 0;
    t_kept.stack.exact = 0;
    // The jump back comes from a nested handler, which may run with another
    // mask: the one of the fault goes back with it. Taken from the context,
    // not saved by sigsetjmp, which would cost a system call per fault.
    t_walkMask = static_cast<const ucontext_t*>(ucontext)->uc_sigmask;
    if (sigsetjmp(t_walkStart, 0) == 0) {
        t_walking = 1;
        CaptureSignalStack(ucontext, t_kept.stack);
    }
    t_walking = 0;
    KeepInterruptedOnly(t_kept.stack, InterruptedInstruction(ucontext));
    if (t_kept.stack.count > 0) t_kept.key = key;
}

void EndFaultedStackWalk() noexcept {
    if (!t_walking) return;
    t_walking = 0;
    pthread_sigmask(SIG_SETMASK, &t_walkMask, nullptr);
    siglongjmp(t_walkStart, 1);
}

const CallStack* KeptFaultStack(const void* key) noexcept {
    if (!key || t_kept.key != key) return nullptr;
    return &t_kept.stack;
}

void ForgetFaultStack() noexcept { t_kept.key = nullptr; }

bool FindModule(std::uintptr_t address, const char** path, std::uintptr_t* offset) noexcept {
    const struct link_map* map = nullptr;
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 35))
    // Lock-free and safe in a signal handler.
    struct dl_find_object found;
    if (_dl_find_object(reinterpret_cast<void*>(address), &found) == 0) map = found.dlfo_link_map;
#else
    Dl_info info;
    void* extra = nullptr;
    if (dladdr1(reinterpret_cast<void*>(address), &info, &extra, RTLD_DL_LINKMAP)) {
        map = static_cast<const struct link_map*>(extra);
    }
#endif
    if (!map) return false;
    *path = map->l_name && map->l_name[0] ? map->l_name : g_executable;
    *offset = address - static_cast<std::uintptr_t>(map->l_addr);
    return true;
}

std::size_t FormatPlainFrame(const CallStack& stack, int i, int index, char* out,
                             std::size_t size) noexcept {
    if (!out || size == 0) return 0;
    FixedText line{out, size, 0};
    out[0] = '\0';
    line.Text("#");
    line.Decimal(static_cast<unsigned long>(index));
    line.Text(" 0x");
    line.Hex(stack.frames[i], 16);
    const char* path = nullptr;
    std::uintptr_t offset = 0;
    if (FindModule(LookupAddress(stack, i), &path, &offset)) {
        line.Text(" (");
        line.Text(path);
        line.Text("+0x");
        line.Hex(offset, 1);
        line.Text(")");
    }
    return line.length;
}

}  // namespace platform
}  // namespace orneh
