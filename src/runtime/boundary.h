// The boundary of an exported operation that reaches the administration:
// Contained (base/contained.h), with the calling thread marked as inside the
// library (ActiveCall) while the body runs.
//
// The marker is taken inside the catch-all, so an exception releases it on
// its way to the catch, and nothing can leave the marker held.
#ifndef ORNEH_RUNTIME_BOUNDARY_H
#define ORNEH_RUNTIME_BOUNDARY_H

#include "base/contained.h"

// Marks the calling thread as working inside the library for the lifetime of
// the object, so that the module's teardown (runtime/admin_lifetime.cpp)
// does not pull the thread's data away under it. Nests: only the outermost
// one counts.
class ActiveCall {
public:
    ActiveCall();
    ~ActiveCall();
    ActiveCall(const ActiveCall&) = delete;
    ActiveCall& operator=(const ActiveCall&) = delete;
};

namespace orneh {

template <class Neutral, class Body>
auto Boundary(Neutral neutral, Body&& body) noexcept -> decltype(body()) {
    return Contained(neutral, [&body] {
        ActiveCall active;
        return body();
    });
}

template <class Body>
void Boundary(Body&& body) noexcept {
    Contained([&body] {
        ActiveCall active;
        body();
    });
}

}  // namespace orneh

#endif
