#include "core/chain_links.h"

#include <cassert>

#include "core/basis_info.h"

namespace orneh {
namespace core {
namespace links {
namespace {

void Detach(OrnEhBasisInfo* info) {
    info->next = nullptr;
    info->prev = nullptr;
}

}  // namespace

void LinkNewest(OrnEhBasis*& last, OrnEhBasis* e) {
    OrnEhBasisInfo* info = Info(e);
    assert(info && !info->next && !info->prev && e != last);
    info->prev = last;
    if (OrnEhBasisInfo* older = Info(last)) older->next = e;
    last = e;
    CheckChain(last);
}

void LinkChain(OrnEhBasis*& last, OrnEhBasis* newest) {
    // Exceptions newer than the given newest stay behind, without a link to it.
    if (OrnEhBasisInfo* newer = Info(Info(newest)->next)) newer->prev = nullptr;
    Info(newest)->next = nullptr;
    OrnEhBasis* oldest = newest;
    while (Info(oldest)->prev) oldest = Info(oldest)->prev;
    Info(oldest)->prev = last;
    if (OrnEhBasisInfo* older = Info(last)) older->next = oldest;
    last = newest;
    CheckChain(last);
}

void Unlink(OrnEhBasis*& last, OrnEhBasis* e) {
    OrnEhBasisInfo* info = Info(e);
    if (!info) return;
    if (OrnEhBasisInfo* older = Info(info->prev)) older->next = info->next;
    if (OrnEhBasisInfo* newer = Info(info->next)) newer->prev = info->prev;
    if (e == last) last = info->prev;
    Detach(info);
    CheckChain(last);
}

void CutBelowNewer(OrnEhBasis*& last, OrnEhBasis* e) {
    OrnEhBasisInfo* info = Info(e);
    if (!info) return;
    if (OrnEhBasisInfo* newer = Info(info->next)) newer->prev = nullptr;
    if (e == last) last = nullptr;
    info->next = nullptr;
    CheckChain(last);
    CheckChain(e);
}

OrnEhBasis* PopNewest(OrnEhBasis*& last) {
    OrnEhBasis* e = last;
    OrnEhBasisInfo* info = Info(e);
    if (!info) {
        last = nullptr;
        return e;
    }
    last = info->prev;
    if (OrnEhBasisInfo* older = Info(last)) older->next = nullptr;
    Detach(info);
    return e;
}

void Forget(OrnEhBasis* e) {
    if (OrnEhBasisInfo* info = Info(e)) {
        Detach(info);
        info->released = true;
        info->owner = nullptr;
    }
}

bool Contains(const OrnEhBasis* last, const OrnEhBasis* e) {
    for (const OrnEhBasis* walk = last; walk;) {
        if (walk == e) return true;
        OrnEhBasisInfo* info = Info(walk);
        walk = info ? info->prev : nullptr;
    }
    return false;
}

OrnEhBasis* NewestOf(OrnEhBasis* e) {
    while (OrnEhBasisInfo* info = Info(e)) {
        if (!info->next) break;
        e = info->next;
    }
    return e;
}

void CheckChain(const OrnEhBasis* last) {
#ifndef NDEBUG
    const OrnEhBasis* newer = nullptr;
    const OrnEhBasis* fast = last;
    for (const OrnEhBasis* walk = last; walk;) {
        OrnEhBasisInfo* info = Info(walk);
        assert(info && "a chain member has a record");
        assert(info->next == newer && "next names the newer neighbour");
        newer = walk;
        walk = info->prev;
        // A second walker at double speed meets the first only in a loop.
        for (int step = 0; step < 2 && fast; ++step) fast = Info(fast) ? Info(fast)->prev : nullptr;
        assert((!fast || fast != walk) && "the chain has no loop");
    }
#else
    (void)last;
#endif
}

}  // namespace links
}  // namespace core
}  // namespace orneh
