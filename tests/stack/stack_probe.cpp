// A small application for the call-stack tests, built with debug information
// and also stripped. `stack_probe <mode> <dir>` logs into <dir>/probe.log and
// writes to <dir>/lines the source lines the record should name:
//   fault   a null read in CrashNull, called from CallsCrashNull
//   inline  the same in an inlined function
//   throw   an exception nobody catches, thrown in a worker thread
//   noexcept  the fault of "fault" where nothing may throw (terminate)
//   filter    the fault of "fault" in a thread without a translator
//   damaged   a fault with the stack pointer ruined, in such a thread (x86-64)
#include <csignal>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <string>
#include <thread>

#include "OrnEh.h"
#include "OrnEhBasis.h"

namespace {

volatile int g_faultLine;  // volatile: stored before the fault
volatile int g_callLine;
volatile int g_sink;
std::string g_dir;

void WriteLines() {
    FILE* f = std::fopen((g_dir + "/lines").c_str(), "w");
    if (!f) return;
    std::fprintf(f, "%d %d\n", g_faultLine, g_callLine);
    std::fclose(f);
}

}  // namespace

// Functions of external linkage, not cloned: their names are plain.
const int kCrashNullFaultLine = __LINE__ + 3;
__attribute__((noipa, no_sanitize("undefined"))) void CrashNull(volatile int* p) {
    g_faultLine = __LINE__ + 1;
    g_sink = *p;
}

const int kCallsCrashNullCallLine = __LINE__ + 2;
__attribute__((noipa)) void CallsCrashNull(volatile int* p) {
    g_callLine = __LINE__, CrashNull(p);
    g_sink = 0;  // no tail call
}

__attribute__((noipa)) void CrashWhereNothingMayThrow(volatile int* p) noexcept {
    // The lines are known before the fault, which ends the process.
    g_faultLine = kCrashNullFaultLine;
    g_callLine = kCallsCrashNullCallLine;
    WriteLines();
    CallsCrashNull(p);
}

__attribute__((always_inline, no_sanitize("undefined"))) inline void InlinedFault(volatile int* p) {
    g_faultLine = __LINE__ + 1;
    g_sink = *p;
}

__attribute__((noipa)) void CallsInlined(volatile int* p) {
    g_callLine = __LINE__, InlinedFault(p);
    g_sink = 0;
}

__attribute__((noipa)) void ThrowFromWorker() {
    g_faultLine = __LINE__ + 2;
    WriteLines();
    throw std::runtime_error("nobody catches this");
}

// The unwinder, reading this frame's return address through the ruined
// stack pointer (or frame pointer, in a build that keeps one), faults itself.
__attribute__((noipa)) void FaultWithRuinedStack() {
#if defined(__x86_64__)
    __asm__ volatile("mov $64, %%rsp\n\tmov $64, %%rbp\n\tmovl (%%rsp), %%eax" : : : "memory", "eax");
#endif
}

int main(int argc, char** argv) {
    if (argc < 3) return 2;
    const std::string mode = argv[1];
    g_dir = argv[2];
    OrnEhInitialize("StackProbe", OrnEhLogUnlimited, "probe.log", nullptr, g_dir.c_str(), 0);
    volatile int* null = nullptr;
    if (mode == "throw") {
        std::thread(ThrowFromWorker).join();
        return 1;
    }
    if (mode == "noexcept") CrashWhereNothingMayThrow(null);
    if (mode == "filter") std::thread([null] { CrashWhereNothingMayThrow(null); }).join();
    if (mode == "damaged") {
        std::thread([] {
            // The signal needs a stack of its own here: the thread's is ruined.
            static char altStack[256 * 1024];
            stack_t stack{};
            stack.ss_sp = altStack;
            stack.ss_size = sizeof altStack;
            sigaltstack(&stack, nullptr);
            FaultWithRuinedStack();
        }).join();
    }
    try {
        if (mode == "fault") CallsCrashNull(null);
        if (mode == "inline") CallsInlined(null);
    } catch (OrnEhBasis* e) {
        WriteLines();
        OrnEhBasis::Log(nullptr, nullptr, 1);
        OrnEhBasis::Release();
        return 0;
    }
    return 1;
}
