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

#include "platform/allocator_frames.h"
#include "platform/fault_decode.h"
#include "platform/fault_translator.h"
#include "platform/system.h"
#include "platform/stacktrace.h"

namespace orneh {
namespace platform {
namespace {

const int kSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGTRAP};
const std::size_t kAltStackSize = 64 * 1024;
// What the library's own steps in the handler need at most (about 18 KiB
// measured, more in sanitizer builds); with less room left on the alternate
// stack at the handler's entry, the handler moves to a stack of its own: the
// handler's part, and below it the alternate stack for signals that arrive
// while it runs there (its bound, a fault inside it).
const std::size_t kHandlerRoom = 40 * 1024;
const std::size_t kHandlerStackSize = 96 * 1024;
const std::size_t kNestedStackSize = 32 * 1024;

std::atomic<UnhandledExceptionFilter> g_filter{nullptr};
std::atomic<LastWords> g_lastWords{nullptr};
std::atomic<bool> g_handlersInstalled{false};
struct sigaction g_previous[NSIG];
// How long the library's own steps in the handler may take before the
// process is ended by the fault's signal: a fault inside the allocator must
// not become a hang.
std::atomic<unsigned int> g_boundSeconds{10};
// The values the bounds' timers carry, to tell their signals from any other.
const char g_faultMarker = 0;
const char g_stepsMarker = 0;
// The last resorts: records being written, and the thread that ends the
// process.
std::atomic<int> g_lastRecords{0};
std::atomic<long> g_ender{0};

// A bound: a timer of one thread that sends it a signal of ours when the
// steps it bounds take too long; the process then ends by endSignal.
//
// The fault bound's timer is made at the thread's first fault and kept for
// its next ones (armed and disarmed, one system call each), when the thread
// was prepared: then its key's destructor deletes the timer when the thread
// ends. Made in the handler, not at registration, so that a thread that
// never faults has no timer (each one holds a queued signal of the
// process's RLIMIT_SIGPENDING); timer_create is a plain system call there.
// A timer belongs to the process that made it: a forked child (whose thread
// has a new id) makes its own and never touches its parent's id.
struct Bound {
    int timer;
    int endSignal;
    bool armed;
    bool kept;                 // timer stays made between faults
    int keptSignal;            // the signal it sends
    std::uint32_t keptThread;  // the thread it was made for
};

// The calling thread's alternate stack, stack bounds and handler state. Plain
// data, so that the handler can read it without running any thread-local
// initialisation.
struct ThreadFaultState {
    void* mapping;
    std::size_t mappingSize;
    std::uintptr_t stackLow;
    std::uintptr_t guardSize;
    volatile sig_atomic_t risky;  // inside the library's own steps of the handler
    Bound faultBound;             // those steps
    Bound stepsBound;             // a last resort's steps outside the handler
    const EXCEPTION_POINTERS* pending;  // the fault of the running handler
    bool lastWordsWritten;
    bool counted;   // among the last records in progress
    bool inFilter;
    int endSignal;  // how a last resort of this thread ends the process
    void* handlerStack;  // the handler's stack of its own, when it needed one
    void* currentHandlerStack;  // the one the last move went to (it may be left by a throw)
    bool onHandlerStack;
    stack_t savedAltStack;  // the thread's alternate stack while it is there
    bool prepared;
};
thread_local ThreadFaultState t_state;

const std::size_t kHandlerMapping = kNestedStackSize + kHandlerStackSize;

std::size_t PageSize() {
    long page = sysconf(_SC_PAGESIZE);
    return page > 0 ? static_cast<std::size_t>(page) : 4096;
}

// Whether address lies on a handler stack mapping (guard pages included).
bool InHandlerMapping(const void* mapping, std::uintptr_t address) {
    auto low = reinterpret_cast<std::uintptr_t>(mapping);
    return mapping && address >= low && address < low + kHandlerMapping + 2 * PageSize();
}

// Gives the alternate stack back when the thread ends: a pthread key's
// destructor, not a thread_local object with one (registering that makes the
// C library allocate, and it aborts the process when memory is out).
void ReleaseAltStack(void*) {
    Bound& bound = t_state.faultBound;
    if (bound.kept && bound.keptThread == CurrentThreadId()) syscall(SYS_timer_delete, bound.timer);
    bound.kept = false;
    if (t_state.handlerStack) {
        munmap(t_state.handlerStack, kHandlerMapping + 2 * PageSize());
        t_state.handlerStack = nullptr;
    }
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

void WriteStderr(const char* text) {
    ssize_t ignored = write(2, text, std::strlen(text));
    (void)ignored;
}

long long NowMs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<long long>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

// Whether a fault at address ran off the thread's stack: below its lowest
// page, within its guard area. Without the stack's bounds (a thread the
// library never prepared) the interrupted stack pointer stands in: the
// stack's own memory above the guard never faults, so a fault from just
// above it to a guard's reach below it can only be the stack running out.
bool InStackGuard(const void* address, const ucontext_t* uc) {
    auto a = reinterpret_cast<std::uintptr_t>(address);
    std::uintptr_t low = t_state.stackLow;
    std::uintptr_t reach = t_state.guardSize > 65536 ? t_state.guardSize : 65536;
#if defined(__x86_64__)
    if (!low) low = static_cast<std::uintptr_t>(uc->uc_mcontext.gregs[REG_RSP]);
#else
    (void)uc;
#endif
    if (!low) return false;
    return a + reach + 4096 >= low && a < low + 4096;
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

// The bounds: a POSIX timer of the calling thread that sends a signal of
// ours (timerSignal) to this thread only. Raw system calls, which are
// async-signal-safe (the C library's timer_create is not). The thread's id
// is the cached one (renewed in a forked child).
bool MakeTimer(const char* marker, int timerSignal, int& timer) {
    struct sigevent event;
    std::memset(&event, 0, sizeof event);
    event.sigev_notify = SIGEV_THREAD_ID;
    event.sigev_signo = timerSignal;
    event.sigev_value.sival_ptr = const_cast<char*>(marker);
    event._sigev_un._tid = static_cast<pid_t>(CurrentThreadId());
    return syscall(SYS_timer_create, CLOCK_MONOTONIC, &event, &timer) == 0;
}

bool SetTimer(int timer, unsigned int seconds) {
    struct itimerspec when{};
    when.it_value.tv_sec = static_cast<time_t>(seconds);
    return syscall(SYS_timer_settime, timer, 0, &when, nullptr) == 0;
}

// keep: the timer stays made for the thread's next Arm (see Bound);
// unblocked: the thread is known not to block timerSignal.
void Arm(Bound& bound, const char* marker, int timerSignal, int endSignal, bool keep = false,
         bool unblocked = false) {
    if (bound.armed) return;
    const std::uint32_t self = CurrentThreadId();
    if (bound.kept && (bound.keptThread != self || bound.keptSignal != timerSignal)) {
        // Another signal: a new timer. Another thread id: this is a forked
        // child, and the timer was the parent's.
        if (bound.keptThread == self) syscall(SYS_timer_delete, bound.timer);
        bound.kept = false;
    }
    if (!bound.kept) {
        int timer = -1;
        if (!MakeTimer(marker, timerSignal, timer)) return;  // unbounded
        bound.timer = timer;
        bound.kept = keep;
        bound.keptSignal = timerSignal;
        bound.keptThread = self;
    }
    if (!SetTimer(bound.timer, g_boundSeconds.load())) {
        syscall(SYS_timer_delete, bound.timer);
        bound.kept = false;
        return;
    }
    bound.endSignal = endSignal;
    bound.armed = true;
    if (!unblocked) Unblock(timerSignal);  // the timer's signal must get through
}

void Disarm(Bound& bound) {
    if (!bound.armed) return;
    bound.armed = false;
    if (bound.kept && SetTimer(bound.timer, 0)) return;
    syscall(SYS_timer_delete, bound.timer);
    bound.kept = false;
}

// The handler runs with the mask the fault found (uc_sigmask) and nothing
// added (an empty sa_mask, SA_NODEFER): when that lets the signal through,
// the timer's signal gets through without a call.
void ArmBound(int signal, const ucontext_t* uc) {
    t_state.risky = 1;
    Arm(t_state.faultBound, &g_faultMarker, signal, signal, t_state.prepared, sigismember(&uc->uc_sigmask, signal) == 0);
}

void DisarmBound() {
    Disarm(t_state.faultBound);
    if (t_state.pending) ForgetFaultStack();
    t_state.pending = nullptr;
    t_state.risky = 0;
}

// The bound whose timer sent info, or null for any other signal. A late
// one, after its bound ended (a kept timer disarmed while its signal was
// on its way), is the bound's too, but not armed.
Bound* TimerBound(const siginfo_t* info) {
    if (info->si_code != SI_TIMER) return nullptr;
    const void* marker = info->si_value.sival_ptr;
    return marker == &g_faultMarker ? &t_state.faultBound : marker == &g_stepsMarker ? &t_state.stepsBound : nullptr;
}

void WriteLastWords() {
    LastWords writer = g_lastWords.load();
    if (!writer || !t_state.pending || t_state.lastWordsWritten) return;
    t_state.lastWordsWritten = true;
    writer(t_state.pending);
}

void CountLastRecord(bool on) {
    if (t_state.counted == on) return;
    t_state.counted = on;
    g_lastRecords.fetch_add(on ? 1 : -1);
}

void WaitForLastRecords(long long ms) {
    const long long end = NowMs() + ms;
    while (g_lastRecords.load() > (t_state.counted ? 1 : 0) && NowMs() < end) SleepMilliseconds(1);
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
//  1. Clear EFLAGS.AC (OnSignal) and, when the alternate stack the thread
//     has leaves too little room, move to a stack of the library's own;
//     then only read siginfo and the thread's plain state.
//  2. The signal of one of our bounds (SI_TIMER with its marker): the
//     library's steps took too long. One fixed line to stderr (the log may be
//     what hangs), the fault's plain record (its last words) if it is not
//     written yet, and the process ends by the bound's signal. A late one,
//     after the bound ended, is dropped (not passed on).
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
//     cancel each other's bound; it is made at the thread's first fault and
//     re-armed at the next (see Bound). SA_NODEFER keeps the signal
//     deliverable.
//     Then the faulting stack is taken.
//  6. A fault inside the allocator: nothing that allocates can follow (the
//     thread may hold the allocator's lock, and a thrown exception needs the
//     allocator): the last words are written and the process ends.
//  7. With a translator: it makes the OrnEhSEH (allocates), ends the bound
//     and throws from the faulting point. Without one, or when it could not
//     make the exception, with the filter: the last words are written first,
//     then the filter writes the records, ends the bound, calls the
//     application's terminate functions unbounded, and the process ends by
//     the signal.
//
// Re-entry:
//  - A fault in the same thread while the library's own steps run (step 5
//    to the end of the bound): nothing more is tried; one line to stderr, the
//    last words of the first fault, and the process ends by the new fault's
//    signal.
//  - A fault in a terminate function that the filter calls (the bound has
//    ended) is an ordinary fault of the application: translated and thrown to
//    the catch around that function, so the other functions still run.
//  - Faults in several threads at once: each translates its own, or writes
//    its own records; the first filter to finish its records ends the
//    process, once the others have finished theirs.
void OnFault(int signal, siginfo_t* info, void* context) {
    int savedErrno = errno;
    if (Bound* expired = TimerBound(info)) {
        if (!expired->armed) {  // late: dropped
            errno = savedErrno;
            return;
        }
        WriteStderr(expired == &t_state.faultBound ? "fault handler timed out\n" : "last resort timed out\n");
        WriteLastWords();
        WaitForLastRecords(1000);
        EndBySignal(expired->endSignal);
    }
    if (info->si_code <= 0) {
        PassOn(signal, info, context);
        errno = savedErrno;
        return;
    }
    EndFaultedStackWalk();
    if (t_state.risky) {
        WriteStderr("fault inside the fault handler\n");
        WriteLastWords();
        EndBySignal(signal);
    }

    auto* uc = static_cast<ucontext_t*>(context);
    EXCEPTION_RECORD record{};
    CONTEXT ctx{};
    record.ExceptionCode = ExceptionCodeOf(signal, info->si_code, signal == SIGSEGV && InStackGuard(info->si_addr, uc));
    record.ExceptionAddress = info->si_addr;
    FillContext(uc, ctx, record);
    Refine(signal, info->si_code, uc, ctx, record);
    if (signal == SIGSEGV || signal == SIGBUS) {
        record.NumberParameters = 2;
        record.ExceptionInformation[1] = reinterpret_cast<std::uintptr_t>(info->si_addr);
    }
    EXCEPTION_POINTERS pointers{&record, &ctx};
    t_state.lastWordsWritten = false;
    t_state.endSignal = signal;
    t_state.pending = &pointers;
    ArmBound(signal, uc);
    // The faulting context is complete here (uc, record, ctx), the bound
    // runs, and nothing has been allocated or thrown yet: what else is taken
    // from the faulting point (a call stack) is taken here.
    KeepFaultStack(uc, &pointers);
    const bool inAllocator =
        FaultInAllocator(reinterpret_cast<std::uintptr_t>(record.ExceptionAddress), KeptFaultStack(&pointers));

    _se_translator_function translator = GetSeTranslator();
    if (translator && !inAllocator) {
        RestoreFpuControl(uc);
        errno = savedErrno;
        translator(record.ExceptionCode, &pointers);  // throws; ends the bound first
        // A translator that returns could not make the exception; returning
        // would send the thread back to the faulting instruction.
    }

    UnhandledExceptionFilter filter = g_filter.load();
    if (translator || filter) {
        CountLastRecord(true);
        WriteLastWords();
    }
    if (filter) {
        if (t_state.inFilter) EndBySignal(signal);  // the filter itself faulted
        t_state.inFilter = true;
        if (inAllocator) {
            LastResortRecordsWritten();
            WaitForLastResortRecords();
        } else {
            filter(&pointers);  // returns in the thread that ends the process
        }
        DisarmBound();
        EndBySignal(signal);
    }
    DisarmBound();
    CountLastRecord(false);
    errno = savedErrno;
    PassOn(signal, info, context);
}

#if defined(__x86_64__)
// Calls fn(arg) on the stack that ends at top, and comes back. The frame
// pointer keeps the way back, for returning and for the unwinder (a throw
// from fn, a stack taken inside it), which the CFI below describes.
extern "C" void orneh_call_on_stack(void* arg, void (*fn)(void*), void* top);
__asm__(R"(
    .text
    .p2align 4
    .globl orneh_call_on_stack
    .hidden orneh_call_on_stack
    .type orneh_call_on_stack, @function
orneh_call_on_stack:
    .cfi_startproc
    pushq %rbp
    .cfi_def_cfa_offset 16
    .cfi_offset %rbp, -16
    movq %rsp, %rbp
    .cfi_def_cfa_register %rbp
    movq %rdx, %rsp
    callq *%rsi
    movq %rbp, %rsp
    popq %rbp
    .cfi_def_cfa %rsp, 8
    ret
    .cfi_endproc
    .size orneh_call_on_stack, .-orneh_call_on_stack
)");

struct HandlerCall {
    int signal;
    siginfo_t* info;
    void* context;
    char* stack;  // the handler stack mapping
};

// Back to the alternate stack the thread had, once the handler leaves the
// library's own stack (returning, or the translator throwing).
void LeaveHandlerStack() {
    if (!t_state.onHandlerStack) return;
    t_state.onHandlerStack = false;
    stack_t previous = t_state.savedAltStack;
    previous.ss_flags &= SS_DISABLE;
    sigaltstack(&previous, nullptr);
}

void OnFaultOnHandlerStack(void* argument) {
    const HandlerCall& call = *static_cast<HandlerCall*>(argument);
    stack_t nested{};
    nested.ss_sp = call.stack + PageSize();
    nested.ss_size = kNestedStackSize;
    if (sigaltstack(&nested, &t_state.savedAltStack) == 0) t_state.onHandlerStack = true;
    OnFault(call.signal, call.info, call.context);
    LeaveHandlerStack();
}

// True when the handler runs on an alternate stack with less room left than
// its own steps need (a small one the application gave the thread).
bool TooLittleRoom() {
    if (t_state.onHandlerStack) return false;
    auto here = reinterpret_cast<std::uintptr_t>(__builtin_frame_address(0));
    if (t_state.mapping) {
        // On the alternate stack the library gave the thread: known without
        // asking the kernel.
        const auto low = reinterpret_cast<std::uintptr_t>(t_state.mapping) + PageSize();
        if (here >= low && here < low + kAltStackSize) return here < low + kHandlerRoom;
    }
    stack_t current;
    if (sigaltstack(nullptr, &current) != 0 || !(current.ss_flags & SS_ONSTACK)) return false;
    return here < reinterpret_cast<std::uintptr_t>(current.ss_sp) + kHandlerRoom;
}

// The handler on the library's own stack: a guard page, the nested
// alternate stack, a guard page, the handler's part. Kept for the thread's
// next fault; a thread the library never prepared gives it back at once
// (it has no translator, so the handler always returns to here). A fault of
// code that still runs on it (a terminate handler reached by a throw from
// it) gets another one for the time being.
__attribute__((no_sanitize("address"))) bool RunOnHandlerStack(int signal, siginfo_t* info, void* context) {
    const std::size_t page = PageSize(), size = kHandlerMapping + 2 * page;
    const auto interrupted = static_cast<std::uintptr_t>(static_cast<ucontext_t*>(context)->uc_mcontext.gregs[REG_RSP]);
    void* mapping = t_state.handlerStack;
    if (!mapping || InHandlerMapping(mapping, interrupted)) {
        mapping = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (mapping == MAP_FAILED) return false;
        mprotect(mapping, page, PROT_NONE);
        mprotect(static_cast<char*>(mapping) + page + kNestedStackSize, page, PROT_NONE);
        if (!t_state.handlerStack && t_state.prepared) t_state.handlerStack = mapping;
    }
    HandlerCall call{signal, info, context, static_cast<char*>(mapping)};
    t_state.currentHandlerStack = mapping;
    orneh_call_on_stack(&call, &OnFaultOnHandlerStack,
                        reinterpret_cast<void*>((reinterpret_cast<std::uintptr_t>(mapping) + size) & ~std::uintptr_t{15}));
    t_state.currentHandlerStack = nullptr;
    if (mapping != t_state.handlerStack) munmap(mapping, size);
    return true;
}
#else
void LeaveHandlerStack() {}
bool TooLittleRoom() { return false; }
bool RunOnHandlerStack(int, siginfo_t*, void*) { return false; }
#endif

// The entry the signal action names. EFLAGS.AC survives into a handler: with
// it set, the first misaligned access (memcpy's, a sanitizer's shadow
// writes) would fault again, so it is cleared before anything else runs,
// here where the frame holds no locals.
__attribute__((no_sanitize("address", "undefined"))) void OnSignal(int signal, siginfo_t* info,
                                                                  void* context) {
#if defined(__x86_64__)
    __asm__ volatile("pushfq\n\tandq $~0x40000, (%%rsp)\n\tpopfq" ::: "memory", "cc");
#endif
    if (TooLittleRoom() && RunOnHandlerStack(signal, info, context)) return;
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

void FaultHandlingDone() noexcept {
    DisarmBound();
    LeaveHandlerStack();
}

bool InFaultHandling() noexcept { return t_state.risky != 0; }

void SetLastWords(LastWords writer) noexcept { g_lastWords.store(writer); }

void BeginLastResort(int endSignal) noexcept {
    t_state.endSignal = endSignal;
    // The bound's timer needs our handler for its signal.
    if (g_handlersInstalled.load()) Arm(t_state.stepsBound, &g_stepsMarker, SIGSEGV, endSignal);
    CountLastRecord(true);
}

void LastResortRecordsWritten() noexcept {
    DisarmBound();
    Disarm(t_state.stepsBound);
    CountLastRecord(false);
    const long self = static_cast<long>(CurrentThreadId());
    long expected = 0;
    if (g_ender.compare_exchange_strong(expected, self) || expected == self) return;
    for (;;) pause();  // the first thread ends the process
}

void WaitForLastResortRecords() noexcept { WaitForLastRecords(1000LL * g_boundSeconds.load()); }

namespace {
struct ThreadCall {
    void (*body)(void*);
    void* arg;
};
void* RunThreadCall(void* argument) {
    const ThreadCall& call = *static_cast<ThreadCall*>(argument);
    call.body(call.arg);
    return nullptr;
}
}  // namespace

bool RunOnNewThread(void (*body)(void*), void* arg) noexcept {
    ThreadCall call{body, arg};
    pthread_t thread;
    // Making a thread needs locks of the C library that a faulting thread
    // may hold.
    const bool bounded = !t_state.stepsBound.armed && g_handlersInstalled.load();
    if (bounded) Arm(t_state.stepsBound, &g_stepsMarker, SIGSEGV, t_state.endSignal ? t_state.endSignal : SIGABRT);
    const int made = pthread_create(&thread, nullptr, &RunThreadCall, &call);
    if (bounded) Disarm(t_state.stepsBound);
    if (made != 0) return false;
    pthread_join(thread, nullptr);
    return true;
}

bool OnAlternateSignalStack() noexcept {
    stack_t current;
    const auto here = reinterpret_cast<std::uintptr_t>(__builtin_frame_address(0));
    return t_state.onHandlerStack || InHandlerMapping(t_state.handlerStack, here) ||
           InHandlerMapping(t_state.currentHandlerStack, here) ||
           (sigaltstack(nullptr, &current) == 0 && (current.ss_flags & SS_ONSTACK) != 0);
}

void InstallFaultHandlers() noexcept {
    MutexLock guard(g_installLock);
    if (g_installed) return;
    pthread_key_create(&g_altStackKey, ReleaseAltStack);
    FindAllocatorFunctions();
    for (int signal : kSignals) {
        struct sigaction action{};
        action.sa_sigaction = &OnSignal;
        // SA_NODEFER: the bound's timer sends the signal being handled.
        action.sa_flags = SA_SIGINFO | SA_ONSTACK | SA_NODEFER;
        sigemptyset(&action.sa_mask);
        sigaction(signal, &action, &g_previous[signal]);
    }
    g_installed = true;
    g_handlersInstalled.store(true);
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
    g_handlersInstalled.store(false);
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
    // The key's destructor gives back what the thread's handlers mapped.
    pthread_setspecific(g_altStackKey, &t_state);
    if (!(current.ss_flags & SS_DISABLE) && current.ss_size >= kAltStackSize) return;

    // The alternate stack with a guard page below it.
    std::size_t pageSize = PageSize();
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

namespace faulttest {
void SetBoundSeconds(unsigned int seconds) noexcept { g_boundSeconds.store(seconds); }
}  // namespace faulttest

}  // namespace platform
}  // namespace orneh
