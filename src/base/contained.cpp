#include "base/contained.h"

#include <pthread.h>

#include <cxxabi.h>
#include <exception>

namespace orneh {
namespace {

// Plain data: a thread_local with a destructor would make the C library
// register it with an allocation, which aborts when memory is out.
thread_local int t_depth = 0;
thread_local bool t_heldOff = false;
thread_local int t_cancelState = PTHREAD_CANCEL_ENABLE;
thread_local bool t_ending = false;

}  // namespace

InLibrary::InLibrary() noexcept { ++t_depth; }

InLibrary::~InLibrary() {
    if (--t_depth != 0 || !t_heldOff) return;
    t_heldOff = false;
    pthread_setcancelstate(t_cancelState, nullptr);
}

void InLibrary::HoldOffCancellation() noexcept {
    if (t_heldOff || t_depth == 0) return;
    t_heldOff = true;
    pthread_setcancelstate(PTHREAD_CANCEL_DISABLE, &t_cancelState);
}

namespace {

// The per-thread exception-handling globals of the Itanium C++ ABI (2.4.2).
struct EhGlobals {
    void* caughtExceptions;
    unsigned int uncaughtExceptions;
};

EhGlobals* Globals() noexcept { return reinterpret_cast<EhGlobals*>(abi::__cxa_get_globals()); }

}  // namespace

HandledExceptionAside::HandledExceptionAside() noexcept : m_caught(Globals()->caughtExceptions) {
    Globals()->caughtExceptions = nullptr;
}

HandledExceptionAside::~HandledExceptionAside() {
    // Also on the unwind that ends the thread: the catch block it leaves
    // next ends the handling of that exception and frees it.
    Globals()->caughtExceptions = m_caught;
}

bool InLibrary::EndsTheThread() noexcept {
    // A foreign exception has no exception_ptr (and binding a reference to
    // abi::__forced_unwind in a catch clause binds it to null).
    if (std::current_exception()) return false;
    t_ending = true;
    return true;
}

bool InLibrary::ThreadEnding() noexcept { return t_ending; }

}  // namespace orneh
