// The link operations of a chain, the only code that changes `next` and
// `prev` of an exception's record.
//
// Invariants of a chain that ends at `last` (checked by CheckChain in debug
// builds after every change): following `prev` from `last` reaches every
// member once and ends at the oldest, whose `prev` is null; each member's
// `next` is the member it was reached from (null for `last`); every member
// has a record. A detached exception has null links.
#ifndef ORNEH_CORE_CHAIN_LINKS_H
#define ORNEH_CORE_CHAIN_LINKS_H

class OrnEhBasis;

namespace orneh {
namespace core {
namespace links {

// Links e (detached, with a record) behind last; e becomes last.
void LinkNewest(OrnEhBasis*& last, OrnEhBasis* e);

// Links the detached chain that ends at newest behind last; newest becomes
// last.
void LinkChain(OrnEhBasis*& last, OrnEhBasis* newest);

// Takes e out of the chain that ends at last; its neighbours close the gap
// and e is detached.
void Unlink(OrnEhBasis*& last, OrnEhBasis* e);

// Cuts the chain that ends at last below e's newer neighbour: e and the
// exceptions older than it become a chain of their own ending at e; the
// newer ones stay the chain ending at last (or last becomes null when e was
// last).
void CutBelowNewer(OrnEhBasis*& last, OrnEhBasis* e);

// Takes the newest exception off the chain ending at last and detaches it.
OrnEhBasis* PopNewest(OrnEhBasis*& last);

// Drops e's links without touching the exceptions they name (the chain they
// belonged to is abandoned); e counts as released and ownerless.
void Forget(OrnEhBasis* e);

// True when e is a member of the chain that ends at last.
bool Contains(const OrnEhBasis* last, const OrnEhBasis* e);

// The newest member of the chain that e belongs to (following `next`).
OrnEhBasis* NewestOf(OrnEhBasis* e);

// Asserts the invariants above (debug builds only).
void CheckChain(const OrnEhBasis* last);

}  // namespace links
}  // namespace core
}  // namespace orneh

#endif
