#include "platform/signals.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <pthread.h>
#include <sys/mman.h>
#include <sys/syscall.h>
#include <time.h>
#include <ucontext.h>
#include <unistd.h>

#include "platform/fault_decode.h"
#include "platform/fault_translator.h"
#include "platform/system.h"
#include "platform/stacktrace.h"

namespace orneh {
namespace platform {
namespace {

const int kSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGTRAP};
const std::size_t kAltStackSize = 64 * 1024;

std::atomic<UnhandledExceptionFilter> g_filter{nullptr};
struct sigaction g_previous[NSIG];
// How long the library's own steps in the handler may take before the
// process is ended by the fault's signal: a fault inside the allocator must
// not become a hang.
std::atomic<unsigned int> g_boundSeconds{10};
// The value our bound's timer carries, to tell its signal from any other.
const char g_boundMarker = 0;
// The thread that runs the filter; the process ends when it is done.
std::atomic<long> g_filterThread{0};

// The calling thread's alternate stack, stack bounds and handler state. Plain
// data, so that the handler can read it without running any thread-local
// initialisation.
struct ThreadFaultState {
    void* mapping;
    std::size_t mappingSize;
    std::uintptr_t stackLow;
    std::uintptr_t guardSize;
    volatile sig_atomic_t risky;  // inside the library's own steps of the handler
    int boundTimer;               // the kernel's id of the bound's timer, while risky
    int boundSignal;
    bool boundArmed;
    bool prepared;
};
thread_local ThreadFaultState t_state;

// Gives the alternate stack back when the thread ends: a pthread key's
// destructor, not a thread_local object with one (registering that makes the
// C library allocate, and it aborts the process when memory is out).
void ReleaseAltStack(void*) {
    if (!t_state.mapping) return;
    stack_t disable{};
    disable.ss_flags = SS_DISABLE;
    sigaltstack(&disable, nullptr);
    munmap(t_state.mapping, t_state.mappingSize);
    t_state.mapping = nullptr;
}

// Whether the handler is installed (and the key made); the module's unload
// puts the previous handlers back, and a later use installs ours again.
Mutex g_installLock;
HeldAcrossFork<g_installLock> g_installLockAcrossFork;
bool g_installed GUARDED_BY(g_installLock) = false;
pthread_key_t g_altStackKey;

long ThreadId() { return static_cast<long>(syscall(SYS_gettid)); }

void WriteStderr(const char* text) {
    ssize_t ignored = write(2, text, std::strlen(text));
    (void)ignored;
}

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

// What the signal cannot tell, from the instruction: a privileged
// instruction among the general-protection faults, an integer overflow among
// the divisions by zero, and the breakpoint's own address.
void Refine(int signal, int code, const ucontext_t* uc, CONTEXT& c, EXCEPTION_RECORD& record) {
#if defined(__x86_64__)
    if (signal == SIGSEGV && code == SI_KERNEL && IsPrivilegedInstruction(uc)) {
        record.ExceptionCode = EXCEPTION_PRIV_INSTRUCTION;
    } else if (signal == SIGFPE && code == FPE_INTDIV && DivisorIsZero(uc) == 0) {
        record.ExceptionCode = EXCEPTION_INT_OVERFLOW;
    } else if (signal == SIGTRAP && code == SI_KERNEL) {
        std::uintptr_t at = BreakpointAddress(uc);
        record.ExceptionAddress = reinterpret_cast<void*>(at);
        c.Eip = static_cast<ORN_REG>(at);
    }
#else
    (void)signal;
    (void)code;
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

void Unblock(int signal) {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, signal);
    pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
}

[[noreturn]] void EndBySignal(int signal) {
    struct sigaction dfl{};
    dfl.sa_handler = SIG_DFL;
    sigemptyset(&dfl.sa_mask);
    sigaction(signal, &dfl, nullptr);
    Unblock(signal);
    raise(signal);
    _exit(128 + signal);
}

// The bound: a POSIX timer of the calling thread that sends the fault's own
// signal to this thread only. Raw system calls, which are async-signal-safe
// (the C library's timer_create is not).
void ArmBound(int signal) {
    t_state.risky = 1;
    struct sigevent event;
    std::memset(&event, 0, sizeof event);
    event.sigev_notify = SIGEV_THREAD_ID;
    event.sigev_signo = signal;
    event.sigev_value.sival_ptr = const_cast<char*>(&g_boundMarker);
    event._sigev_un._tid = static_cast<pid_t>(ThreadId());
    int timer = -1;
    if (syscall(SYS_timer_create, CLOCK_MONOTONIC, &event, &timer) != 0) return;  // unbounded
    struct itimerspec when{};
    when.it_value.tv_sec = static_cast<time_t>(g_boundSeconds.load());
    if (syscall(SYS_timer_settime, timer, 0, &when, nullptr) != 0) {
        syscall(SYS_timer_delete, timer);
        return;
    }
    t_state.boundTimer = timer;
    t_state.boundSignal = signal;
    t_state.boundArmed = true;
    Unblock(signal);  // the timer's signal must get through
}

void DisarmBound() {
    if (t_state.boundArmed) {
        t_state.boundArmed = false;
        syscall(SYS_timer_delete, t_state.boundTimer);
    }
    t_state.risky = 0;
}

bool IsBoundSignal(const siginfo_t* info) {
    return info->si_code == SI_TIMER && info->si_value.sival_ptr == &g_boundMarker;
}

// Hands a signal to the handler that was installed before ours, with that
// handler's mask, or gives it the default action.
void PassOn(int signal, siginfo_t* info, void* uc) {
    const struct sigaction& previous = g_previous[signal];
    bool fault = info->si_code > 0;
    bool hasInfoHandler = (previous.sa_flags & SA_SIGINFO) && previous.sa_sigaction;
    bool hasPlainHandler = !(previous.sa_flags & SA_SIGINFO) && previous.sa_handler != SIG_DFL &&
                           previous.sa_handler != SIG_IGN && previous.sa_handler;
    if (hasInfoHandler || hasPlainHandler) {
        sigset_t mask = previous.sa_mask;
        if (!(previous.sa_flags & SA_NODEFER)) sigaddset(&mask, signal);
        sigset_t old;
        pthread_sigmask(SIG_BLOCK, &mask, &old);
        if (hasInfoHandler) {
            previous.sa_sigaction(signal, info, uc);
        } else {
            previous.sa_handler(signal);
        }
        pthread_sigmask(SIG_SETMASK, &old, nullptr);
        return;
    }
    // An ignored fault would only come back at once: the system ends the
    // process then, and so do we.
    if (previous.sa_handler == SIG_IGN && !(previous.sa_flags & SA_SIGINFO) && !fault) return;
    EndBySignal(signal);
}

// The handler. Its steps, from safe to risky:
//
//  1. Clear EFLAGS.AC (OnSignal), then only read siginfo and the thread's
//     plain state.
//  2. The signal of our own bound (SI_TIMER with our marker): the library's
//     steps below took too long. One fixed line to stderr (the log may be
//     what hangs), and the process ends by the signal being handled. A late
//     one, after the bound ended, is dropped.
//  3. A signal that a process sent (si_code <= 0: kill, raise, sigqueue,
//     tgkill) is no fault: it goes to the handler installed before ours, or
//     gets the default action. Nothing of the library runs.
//  4. The record and the context are built on this stack from siginfo and
//     ucontext: no allocation, no lock; the instruction is read through a
//     system call that fails instead of faulting.
//  Riskier code goes after this point, under the bound (allocation, locks,
//  the log file, taking a call stack):
//  5. Arm the bound: a timer of this thread alone, on the fault's own signal.
//     Not alarm() or SIGALRM, which belong to the application; not one
//     watchdog thread, which would have to be started and kept alive across
//     fork. Each faulting thread has its own timer, so concurrent faults never
//     cancel each other's bound. SA_NODEFER keeps the signal deliverable.
//  6. With a translator: it makes the OrnEhSEH (allocates), ends the bound
//     and throws from the faulting point. Without one, with the filter: it
//     writes the record, ends the bound, calls the application's terminate
//     functions unbounded, and the process ends by the signal.
//
// Re-entry:
//  - A fault in the same thread while the library's own steps run (step 5
//    to the end of the bound): nothing more is tried; one line to stderr and
//    the process ends by the new fault's signal.
//  - A fault in a terminate function that the filter calls (the bound has
//    ended) is an ordinary fault of the application: translated and thrown to
//    the catch around that function, so the other functions still run.
//  - Faults in several threads at once: each translates its own. Only one
//    thread runs the filter; another thread without a translator waits for
//    it to end the process.
void OnFault(int signal, siginfo_t* info, void* context) {
    int savedErrno = errno;
    if (IsBoundSignal(info)) {
        if (!t_state.boundArmed) return;
        WriteStderr("fault handler timed out\n");
        EndBySignal(t_state.boundSignal);
    }
    if (info->si_code <= 0) {
        PassOn(signal, info, context);
        errno = savedErrno;
        return;
    }
    EndFaultedStackWalk();
    if (t_state.risky) {
        WriteStderr("fault inside the fault handler\n");
        EndBySignal(signal);
    }

    auto* uc = static_cast<ucontext_t*>(context);
    EXCEPTION_RECORD record{};
    CONTEXT ctx{};
    record.ExceptionCode = ExceptionCodeOf(signal, info->si_code, InStackGuard(info->si_addr));
    record.ExceptionAddress = info->si_addr;
    FillContext(uc, ctx, record);
    Refine(signal, info->si_code, uc, ctx, record);
    if (signal == SIGSEGV || signal == SIGBUS) {
        record.NumberParameters = 2;
        record.ExceptionInformation[1] = reinterpret_cast<std::uintptr_t>(info->si_addr);
    }
    EXCEPTION_POINTERS pointers{&record, &ctx};
    ArmBound(signal);
    // The faulting context is complete here (uc, record, ctx), the bound
    // runs, and nothing has been allocated or thrown yet: what else is taken
    // from the faulting point (a call stack) is taken here.
    KeepFaultStack(uc, &pointers);

    if (_se_translator_function translator = GetSeTranslator()) {
        RestoreFpuControl(uc);
        errno = savedErrno;
        translator(record.ExceptionCode, &pointers);  // throws; ends the bound first
        // A translator that returns would send the thread back to the
        // faulting instruction: the filter takes the fault instead.
    }

    UnhandledExceptionFilter filter = g_filter.load();
    if (filter) {
        long self = ThreadId();
        long expected = 0;
        if (!g_filterThread.compare_exchange_strong(expected, self)) {
            if (expected == self) EndBySignal(signal);  // the filter itself faulted
            DisarmBound();
            for (;;) pause();  // the first thread's filter ends the process
        }
        filter(&pointers);
        DisarmBound();
        EndBySignal(signal);
    }
    DisarmBound();
    errno = savedErrno;
    PassOn(signal, info, context);
}

// The entry the signal action names. EFLAGS.AC survives into a handler: with
// it set, the first misaligned access (memcpy's, a sanitizer's shadow
// writes) would fault again, so it is cleared before anything else runs,
// here where the frame holds no locals.
__attribute__((no_sanitize("address", "undefined"))) void OnSignal(int signal, siginfo_t* info,
                                                                  void* context) {
#if defined(__x86_64__)
    __asm__ volatile("pushfq\n\tandq $~0x40000, (%%rsp)\n\tpopfq" ::: "memory", "cc");
#endif
    OnFault(signal, info, context);
}

}  // namespace

DWORD ExceptionCodeOf(int signal, int code, bool inStackGuard) noexcept {
    switch (signal) {
        case SIGSEGV:
            return inStackGuard ? EXCEPTION_STACK_OVERFLOW : EXCEPTION_ACCESS_VIOLATION;
        case SIGBUS:
            return code == BUS_ADRALN ? EXCEPTION_DATATYPE_MISALIGNMENT : EXCEPTION_IN_PAGE_ERROR;
        case SIGFPE: {
            static const struct {
                int code;
                DWORD exception;
            } kFpeCodes[] = {
                {FPE_INTDIV, EXCEPTION_INT_DIVIDE_BY_ZERO},  {FPE_INTOVF, EXCEPTION_INT_OVERFLOW},
                {FPE_FLTDIV, EXCEPTION_FLT_DIVIDE_BY_ZERO},  {FPE_FLTOVF, EXCEPTION_FLT_OVERFLOW},
                {FPE_FLTUND, EXCEPTION_FLT_UNDERFLOW},       {FPE_FLTRES, EXCEPTION_FLT_INEXACT_RESULT},
                {FPE_FLTINV, EXCEPTION_FLT_INVALID_OPERATION}, {FPE_FLTSUB, EXCEPTION_ARRAY_BOUNDS_EXCEEDED},
            };
            for (const auto& row : kFpeCodes) {
                if (row.code == code) return row.exception;
            }
            return EXCEPTION_FLT_INVALID_OPERATION;
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

void FaultHandlingDone() noexcept { DisarmBound(); }

void InstallFaultHandlers() noexcept {
    MutexLock guard(g_installLock);
    if (g_installed) return;
    pthread_key_create(&g_altStackKey, ReleaseAltStack);
    for (int signal : kSignals) {
        struct sigaction action{};
        action.sa_sigaction = &OnSignal;
        // SA_NODEFER: the bound's timer sends the signal being handled.
        action.sa_flags = SA_SIGINFO | SA_ONSTACK | SA_NODEFER;
        sigemptyset(&action.sa_mask);
        sigaction(signal, &action, &g_previous[signal]);
    }
    g_installed = true;
}

void RestorePreviousFaultHandlers() noexcept {
    MutexLock guard(g_installLock);
    if (!g_installed) return;
    for (int signal : kSignals) {
        struct sigaction current{};
        sigaction(signal, nullptr, &current);
        if ((current.sa_flags & SA_SIGINFO) && current.sa_sigaction == &OnSignal) {
            sigaction(signal, &g_previous[signal], nullptr);
        }
    }
    // No thread may call into this code once it is unloaded.
    pthread_key_delete(g_altStackKey);
    g_installed = false;
}

UnhandledExceptionFilter SetUnhandledExceptionFilter(UnhandledExceptionFilter filter) noexcept {
    if (filter) InstallFaultHandlers();
    return g_filter.exchange(filter);
}

void PrepareThreadForFaults() noexcept {
    InstallFaultHandlers();
    if (t_state.prepared) return;
    // Inside a handler (on the alternate stack) nothing is changed.
    stack_t current{};
    if (sigaltstack(nullptr, &current) != 0 || (current.ss_flags & SS_ONSTACK)) return;
    t_state.prepared = true;

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
    // An alternate stack the application gave the thread stays, if it is
    // large enough.
    if (!(current.ss_flags & SS_DISABLE) && current.ss_size >= kAltStackSize) return;

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
    pthread_setspecific(g_altStackKey, mapping);
}

namespace faulttest {
void SetBoundSeconds(unsigned int seconds) noexcept { g_boundSeconds.store(seconds); }
}  // namespace faulttest

}  // namespace platform
}  // namespace orneh
