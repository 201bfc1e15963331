#include "base/contained.h"

#include <pthread.h>

#include <cxxabi.h>
#include <exception>

namespace orneh {
namespace detail {

thread_local InLibraryState t_inLibrary ORNEH_HOT_TLS = {0, PTHREAD_CANCEL_ENABLE, false, false};

void RestoreCancellation() noexcept {
    t_inLibrary.heldOff = false;
    pthread_setcancelstate(t_inLibrary.cancelState, nullptr);
}

}  // namespace detail

using detail::t_inLibrary;

void InLibrary::HoldOffCancellation() noexcept {
    if (t_inLibrary.heldOff || t_inLibrary.depth == 0) return;
    t_inLibrary.heldOff = true;
    pthread_setcancelstate(PTHREAD_CANCEL_DISABLE, &t_inLibrary.cancelState);
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
    t_inLibrary.ending = true;
    return true;
}

bool InLibrary::ThreadEnding() noexcept { return t_inLibrary.ending; }

}  // namespace orneh
