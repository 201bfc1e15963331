// The boundary of an exported operation that reaches the administration.
// It is Contained (base/contained.h), which already marks the calling thread
// as inside the library; the name stays for the operations of the
// administration and the reports.
//
// ActiveCall is that marker alone, for the few places that must hold it
// outside a catch-all (the new handler, whose result is a throw) or around
// work that has its own (the end of a thread, taking over a caught
// exception).
#ifndef ORNEH_RUNTIME_BOUNDARY_H
#define ORNEH_RUNTIME_BOUNDARY_H

#include <utility>

#include "base/contained.h"

using ActiveCall = orneh::InLibrary;

namespace orneh {

template <class Neutral, class Body>
auto Boundary(Neutral neutral, Body&& body) -> decltype(body()) {
    return Contained(neutral, std::forward<Body>(body));
}

template <class Body>
void Boundary(Body&& body) {
    Contained(std::forward<Body>(body));
}

}  // namespace orneh

#endif
