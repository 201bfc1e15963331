// The per-thread current resource module.
#include "OrnLangResource.h"

namespace {
thread_local HINSTANCE t_current = nullptr;
}

HINSTANCE OrnResGetThreadModule() { return t_current; }

HINSTANCE OrnResSetThreadModule(HINSTANCE module) {
    HINSTANCE previous = t_current;
    t_current = module;
    return previous;
}
