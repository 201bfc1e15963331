// The rule every exported operation keeps, written once: nothing thrown in
// it leaves it, and a failure gives the operation's neutral result instead.
//
//   Contained(neutral, body)  the rule alone: body's result, or neutral when
//                             body throws (neutral converts to body's type);
//   Contained(body)           the same for a body without a result.
//
// runtime/boundary.h adds Boundary, the same rule with the calling thread
// marked as inside the library.
#ifndef ORNEH_BASE_CONTAINED_H
#define ORNEH_BASE_CONTAINED_H

namespace orneh {

template <class Neutral, class Body>
auto Contained(Neutral neutral, Body&& body) noexcept -> decltype(body()) {
    try {
        return body();
    } catch (...) {
        return neutral;
    }
}

template <class Body>
void Contained(Body&& body) noexcept {
    try {
        body();
    } catch (...) {
    }
}

}  // namespace orneh

#endif
