// The rule every exported operation keeps, written once: nothing thrown in
// it leaves it, and a failure gives the operation's neutral result instead.
//
//   Contained(neutral, body)       the rule alone: body's result, or neutral
//                                  when body throws (neutral converts to
//                                  body's type);
//   Contained(body)                the same for a body without a result;
//   ContainedBrief(...)            the same for the brief steps of the
//                                  exception cycle (see below).
//
// While the body runs, the calling thread is marked as inside the library
// (InLibrary), and thread cancellation is held off until the outermost call
// returns: a cancel takes effect at the application's next cancellation
// point after it, never in the middle of a log entry, with a lock held, or
// in an application's hook (Log, a destructor, WindowProc) that the library
// calls. Holding off costs two atomic operations, a tenth of making and
// releasing an exception, so ContainedBrief (making, linking and releasing
// an exception, walking a chain) holds it off only where such a step comes
// to a wait, a cancellation point or application code: registering a new
// thread, deleting an exception (InLibrary::HoldOffCancellation).
//
// The one thing let through is the unwind that ends a thread (pthread_exit,
// or a cancellation an application hook allowed; abi::__forced_unwind, told
// apart as the one that is no C++ exception): C++ cannot stop it, the C
// library aborts when it is swallowed, so it goes on, and every resource
// on its way is given back by the destructors it passes. Such an unwind
// ends the process through std::terminate when it has to leave a
// destructor (or a noexcept function) on its way.
#ifndef ORNEH_BASE_CONTAINED_H
#define ORNEH_BASE_CONTAINED_H

#include "base/hot_tls.h"

namespace orneh {

namespace detail {
// Plain data: a thread_local with a destructor would make the C library
// register it with an allocation, which aborts when memory is out.
struct InLibraryState {
    int depth;        // nesting of InLibrary
    int cancelState;  // the state to put back when heldOff
    bool heldOff;
    bool ending;
};
extern thread_local InLibraryState t_inLibrary ORNEH_HOT_TLS;
// Puts back the cancellation state held off (the outermost InLibrary).
void RestoreCancellation() noexcept;
}  // namespace detail

// Marks the calling thread as working inside the library for the lifetime of
// the object; nests. When the outermost one goes, the cancellation state
// held off meanwhile is put back as it was.
class InLibrary {
public:
    InLibrary() noexcept { ++detail::t_inLibrary.depth; }
    ~InLibrary() {
        detail::InLibraryState& state = detail::t_inLibrary;
        if (--state.depth == 0 && state.heldOff) detail::RestoreCancellation();
    }
    InLibrary(const InLibrary&) = delete;
    InLibrary& operator=(const InLibrary&) = delete;

    // Disables thread cancellation until the outermost InLibrary goes (once
    // per outermost call; nothing outside one).
    static void HoldOffCancellation() noexcept;
    // In a catch-all: whether what was caught is the unwind that ends the
    // thread (no C++ exception: pthread_exit, a cancellation), which must go
    // on. From then on ThreadEnding is true: the thread calls no more
    // application hooks on its way out.
    static bool EndsTheThread() noexcept;
    static bool ThreadEnding() noexcept;
};

// Sets aside, for its lifetime, the exception the application is handling
// (a report made in a catch block), so that the unwind that ends the thread
// in an application hook can pass the library's catch-alls: the C++ runtime
// calls std::terminate when a catch-all takes it while another exception is
// being handled. The exception comes back when the library's call returns
// or throws, also on the unwind that ends the thread, so that the catch
// block that unwind leaves frees it as it would without the library. Works on the
// list of caught exceptions of the Itanium C++ ABI, which g++ and clang use
// on Linux. Exported operations that call application hooks (reports, Log)
// hold one outside their catch-all.
class HandledExceptionAside {
public:
    HandledExceptionAside() noexcept;
    ~HandledExceptionAside();
    HandledExceptionAside(const HandledExceptionAside&) = delete;
    HandledExceptionAside& operator=(const HandledExceptionAside&) = delete;

private:
    void* m_caught;
};

template <class Neutral, class Body>
auto ContainedBrief(Neutral neutral, Body&& body) -> decltype(body()) {
    InLibrary inside;
    try {
        return body();
    } catch (...) {
        if (InLibrary::EndsTheThread()) throw;
        return neutral;
    }
}

template <class Body>
void ContainedBrief(Body&& body) {
    ContainedBrief(0, [&body] {
        body();
        return 0;
    });
}

template <class Neutral, class Body>
auto Contained(Neutral neutral, Body&& body) -> decltype(body()) {
    return ContainedBrief(neutral, [&body] {
        InLibrary::HoldOffCancellation();
        return body();
    });
}

template <class Body>
void Contained(Body&& body) {
    ContainedBrief(0, [&body] {
        InLibrary::HoldOffCancellation();
        body();
        return 0;
    });
}

}  // namespace orneh

#endif
