// The new handlers: a failed allocation becomes the thread's reserve
// exception, thrown to the code that asked for the memory.
#include "OrnEh.h"
#include "runtime/admin.h"
#include "runtime/boundary.h"

int OrnEhMarloNewHandler(std::size_t size) {
    // The one exported operation whose result is a throw, so the marker is
    // held outside the catch-all: it spans ThrowMemoryException, which still
    // reads the thread's record (a teardown must not free it in between),
    // and the throw releases it as it unwinds out of this frame.
    ActiveCall active;
    // A thread new to the library is registered here, as by every other
    // entry point: without its record the handler could only return, and a
    // new handler that returns makes the allocation try again.
    ExMultiThreadAdmin* admin = orneh::Contained(nullptr, [size]() -> ExMultiThreadAdmin* {
        ExMultiThreadAdmin* found = GetCurrentContainer() ? GetAdmin() : nullptr;
        if (found) found->PrepareMemoryException(size);
        return found;
    });
    if (admin) admin->ThrowMemoryException();
    return 0;
}

int OrnEhMarloNewHandler() { return OrnEhMarloNewHandler(0); }
