#include "platform/signals.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <mutex>
#include <pthread.h>
#include <sys/mman.h>
#include <ucontext.h>
#include <unistd.h>

#include "platform/fault_translator.h"
#include "platform/stacktrace.h"

namespace orneh {
namespace platform {
namespace {

const int kSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGTRAP};
const std::size_t kAltStackSize = 64 * 1024;
// How long the handler may take before the process is ended by the fault's
// own signal: a fault inside the allocator must not become a hang.
const unsigned int kHandlerSeconds = 10;

std::atomic<UnhandledExceptionFilter> g_filter{nullptr};
std::once_flag g_installOnce;
struct sigaction g_previous[NSIG];
std::atomic<int> g_handlingSignal{0};

// The calling thread's alternate stack and stack bounds. Plain data, so that
// the handler can read it without running any thread-local initialisation.
struct ThreadFaultState {
    void* mapping;
    std::size_t mappingSize;
    std::uintptr_t stackLow;
    std::uintptr_t guardSize;
};
thread_local ThreadFaultState t_state;

// Gives the alternate stack back when the thread ends; touched only outside
// the handler.
struct AltStackRelease {
    bool armed = false;
    ~AltStackRelease() {
        if (!t_state.mapping) return;
        stack_t disable{};
        disable.ss_flags = SS_DISABLE;
        sigaltstack(&disable, nullptr);
        munmap(t_state.mapping, t_state.mappingSize);
        t_state.mapping = nullptr;
    }
};
thread_local AltStackRelease t_release;

bool InStackGuard(const void* address) {
    if (!t_state.stackLow) return false;
    auto a = reinterpret_cast<std::uintptr_t>(address);
    std::uintptr_t reach = t_state.guardSize > 65536 ? t_state.guardSize : 65536;
    return a + reach + 4096 >= t_state.stackLow && a < t_state.stackLow + 4096;
}

void FillContext(const ucontext_t* uc, CONTEXT& c, EXCEPTION_RECORD& record) {
#if defined(__x86_64__)
    const greg_t* g = uc->uc_mcontext.gregs;
    c.ContextFlags = 0x1000F;  // control, integer, segments, floating point
    c.Eax = static_cast<ORN_REG>(g[REG_RAX]);
    c.Ebx = static_cast<ORN_REG>(g[REG_RBX]);
    c.Ecx = static_cast<ORN_REG>(g[REG_RCX]);
    c.Edx = static_cast<ORN_REG>(g[REG_RDX]);
    c.Esi = static_cast<ORN_REG>(g[REG_RSI]);
    c.Edi = static_cast<ORN_REG>(g[REG_RDI]);
    c.Ebp = static_cast<ORN_REG>(g[REG_RBP]);
    c.Esp = static_cast<ORN_REG>(g[REG_RSP]);
    c.Eip = static_cast<ORN_REG>(g[REG_RIP]);
    c.EFlags = static_cast<DWORD>(g[REG_EFL]);
    auto segments = static_cast<std::uint64_t>(g[REG_CSGSFS]);
    c.SegCs = static_cast<DWORD>(segments & 0xFFFF);
    c.SegGs = static_cast<DWORD>((segments >> 16) & 0xFFFF);
    c.SegFs = static_cast<DWORD>((segments >> 32) & 0xFFFF);
    c.SegSs = static_cast<DWORD>((segments >> 48) & 0xFFFF);
    if (const auto* fp = uc->uc_mcontext.fpregs) {
        c.FloatSave.ControlWord = fp->cwd;
        c.FloatSave.StatusWord = fp->swd;
        c.FloatSave.TagWord = fp->ftw;
        c.FloatSave.ErrorOffset = static_cast<DWORD>(fp->rip);
        c.FloatSave.ErrorSelector = fp->fop;
        c.FloatSave.DataOffset = static_cast<DWORD>(fp->rdp);
        for (int i = 0; i < 8; ++i) std::memcpy(&c.FloatSave.RegisterArea[i * 10], &fp->_st[i], 10);
    }
    record.ExceptionAddress = reinterpret_cast<void*>(g[REG_RIP]);
#else
    (void)uc;
    (void)c;
    (void)record;
#endif
}

// A throw from the handler skips sigreturn, which would have restored the
// floating-point control state of the interrupted code.
void RestoreFpuControl(const ucontext_t* uc) {
#if defined(__x86_64__)
    if (const auto* fp = uc->uc_mcontext.fpregs) {
        unsigned int mxcsr = fp->mxcsr & ~0x3Fu;  // without the sticky exception flags
        unsigned short cw = fp->cwd;
        __asm__ volatile("ldmxcsr %0" : : "m"(mxcsr));
        __asm__ volatile("fnclex\n\tfldcw %0" : : "m"(cw));
    }
#else
    (void)uc;
#endif
}

void EndBySignal(int signal) {
    struct sigaction dfl{};
    dfl.sa_handler = SIG_DFL;
    sigemptyset(&dfl.sa_mask);
    sigaction(signal, &dfl, nullptr);
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, signal);
    pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
    raise(signal);
    _exit(128 + signal);
}

void OnHandlerTimeout(int) {
    static const char text[] = "fault handler timed out\n";
    ssize_t ignored = write(2, text, sizeof text - 1);
    (void)ignored;
    EndBySignal(g_handlingSignal.load() ? g_handlingSignal.load() : SIGABRT);
}

// Bounds the time the handler of signal may take (see kHandlerSeconds).
void ArmTimeout(int signal) {
    g_handlingSignal.store(signal);
    struct sigaction onTimeout{};
    onTimeout.sa_handler = &OnHandlerTimeout;
    sigemptyset(&onTimeout.sa_mask);
    sigaction(SIGALRM, &onTimeout, nullptr);
    alarm(kHandlerSeconds);
}

// Hands the fault to what the process had before, or ends the process by it.
void PassOn(int signal, siginfo_t* info, void* uc) {
    const struct sigaction& previous = g_previous[signal];
    if ((previous.sa_flags & SA_SIGINFO) && previous.sa_sigaction) {
        previous.sa_sigaction(signal, info, uc);
        return;
    }
    if (previous.sa_handler != SIG_DFL && previous.sa_handler != SIG_IGN && previous.sa_handler) {
        previous.sa_handler(signal);
        return;
    }
    EndBySignal(signal);
}

void OnFault(int signal, siginfo_t* info, void* context) {
    int savedErrno = errno;
    auto* uc = static_cast<ucontext_t*>(context);
    EXCEPTION_RECORD record{};
    CONTEXT ctx{};
    record.ExceptionCode =
        ExceptionCodeOf(signal, info->si_code, InStackGuard(info->si_addr));
    record.ExceptionAddress = info->si_addr;
    FillContext(uc, ctx, record);
    if (signal == SIGSEGV || signal == SIGBUS) {
        record.NumberParameters = 2;
        record.ExceptionInformation[1] = reinterpret_cast<std::uintptr_t>(info->si_addr);
    }
    EXCEPTION_POINTERS pointers{&record, &ctx};
    KeepFaultStack(uc, &pointers);

    _se_translator_function translator = GetSeTranslator();
    if (translator) {
        sigset_t set;
        sigemptyset(&set);
        sigaddset(&set, signal);
        pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
        RestoreFpuControl(uc);
        errno = savedErrno;
        ArmTimeout(signal);
        translator(record.ExceptionCode, &pointers);  // throws; ends the timeout first
        FaultHandlingDone();
        return;
    }

    UnhandledExceptionFilter filter = g_filter.load();
    if (filter) {
        ArmTimeout(signal);
        filter(&pointers);
        FaultHandlingDone();
        EndBySignal(signal);
    }
    errno = savedErrno;
    PassOn(signal, info, context);
}

void InstallHandler() {
    for (int signal : kSignals) {
        struct sigaction action{};
        action.sa_sigaction = &OnFault;
        action.sa_flags = SA_SIGINFO | SA_ONSTACK;
        sigemptyset(&action.sa_mask);
        sigaction(signal, &action, &g_previous[signal]);
    }
}

}  // namespace

DWORD ExceptionCodeOf(int signal, int code, bool inStackGuard) noexcept {
    switch (signal) {
        case SIGSEGV:
            return inStackGuard ? EXCEPTION_STACK_OVERFLOW : EXCEPTION_ACCESS_VIOLATION;
        case SIGBUS:
            return code == BUS_ADRALN ? EXCEPTION_DATATYPE_MISALIGNMENT : EXCEPTION_IN_PAGE_ERROR;
        case SIGFPE:
            switch (code) {
                case FPE_INTDIV: return EXCEPTION_INT_DIVIDE_BY_ZERO;
                case FPE_INTOVF: return EXCEPTION_INT_OVERFLOW;
                case FPE_FLTDIV: return EXCEPTION_FLT_DIVIDE_BY_ZERO;
                case FPE_FLTOVF: return EXCEPTION_FLT_OVERFLOW;
                case FPE_FLTUND: return EXCEPTION_FLT_UNDERFLOW;
                case FPE_FLTRES: return EXCEPTION_FLT_INEXACT_RESULT;
                case FPE_FLTINV: return EXCEPTION_FLT_INVALID_OPERATION;
                case FPE_FLTSUB: return EXCEPTION_ARRAY_BOUNDS_EXCEEDED;
                default: return EXCEPTION_FLT_INVALID_OPERATION;
            }
        case SIGILL:
            return code == ILL_PRVOPC || code == ILL_PRVREG ? EXCEPTION_PRIV_INSTRUCTION
                                                            : EXCEPTION_ILLEGAL_INSTRUCTION;
        case SIGTRAP:
            return code == TRAP_TRACE ? EXCEPTION_SINGLE_STEP : EXCEPTION_BREAKPOINT;
        default:
            return EXCEPTION_ACCESS_VIOLATION;
    }
}

void FaultHandlingDone() noexcept { alarm(0); }

UnhandledExceptionFilter SetUnhandledExceptionFilter(UnhandledExceptionFilter filter) noexcept {
    if (filter) std::call_once(g_installOnce, InstallHandler);
    return g_filter.exchange(filter);
}

void PrepareThreadForFaults() noexcept {
    std::call_once(g_installOnce, InstallHandler);
    if (t_state.mapping) return;
    t_release.armed = true;

    pthread_attr_t attr;
    if (pthread_getattr_np(pthread_self(), &attr) == 0) {
        void* address = nullptr;
        std::size_t size = 0, guard = 0;
        if (pthread_attr_getstack(&attr, &address, &size) == 0) {
            t_state.stackLow = reinterpret_cast<std::uintptr_t>(address);
        }
        if (pthread_attr_getguardsize(&attr, &guard) == 0) t_state.guardSize = guard;
        pthread_attr_destroy(&attr);
    }

    // The alternate stack with a guard page below it.
    long page = sysconf(_SC_PAGESIZE);
    std::size_t pageSize = page > 0 ? static_cast<std::size_t>(page) : 4096;
    std::size_t total = kAltStackSize + pageSize;
    void* mapping = mmap(nullptr, total, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapping == MAP_FAILED) return;
    mprotect(mapping, pageSize, PROT_NONE);
    stack_t stack{};
    stack.ss_sp = static_cast<char*>(mapping) + pageSize;
    stack.ss_size = kAltStackSize;
    if (sigaltstack(&stack, nullptr) != 0) {
        munmap(mapping, total);
        return;
    }
    t_state.mapping = mapping;
    t_state.mappingSize = total;
}

}  // namespace platform
}  // namespace orneh
