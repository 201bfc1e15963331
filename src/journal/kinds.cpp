// The kinds' message ids. They are fixed for good: the catalog
// (ZKQTRNEH113.catalog) explains each, and journalctl filters by them.
#include <cstring>

#include "journal/journal.h"

namespace orneh {
namespace journal {
namespace {

constexpr KindInfo kKinds[] = {
    {"OrnEhBasis", "28d18cfa2658417c9fb1c82fb72d5d5b", false, false},
    {"OrnEhWin32", "c9e0d0c0a3904b48918ac04df6207f94", true, false},
    {"OrnEhCLib", "a706353d5d0a49d9858853802cd6f1cc", true, false},
    {"OrnEhCOM", "6ce3461569254a5f894f9d374ffd995f", false, false},
    {"OrnEhMFC", "bc9dcf7d80f446ffaa6a1a8d40a41405", false, false},
    {"OrnEhSTL", "fdd3269c39ca49c1876205b570e525ca", false, false},
    {"OrnEhMemory", "c2cd950e9964453cb5ab312eb4633737", false, false},
    {"OrnEhSEH", "1e2142a6f0dd46daba10af41d9471036", false, true},
};

}  // namespace

const KindInfo kUncaughtKind = {"OrnEhUncaught", "635e17f8e1fb4be7af130baacf2f9cfc", false, true};
const KindInfo kFaultKind = kKinds[7];
const KindInfo kEmergencyKind = {"OrnEhEmergency", "25eba496f8e344499ef42bca6521fc4b", false, true};

const KindInfo* FindKind(const char* name) noexcept {
    if (!name) return nullptr;
    for (const KindInfo& kind : kKinds) {
        if (std::strcmp(kind.name, name) == 0) return &kind;
    }
    return nullptr;
}

}  // namespace journal
}  // namespace orneh
