// The new handlers: a failed allocation becomes the thread's reserve
// exception, thrown to the code that asked for the memory.
#include "OrnEh.h"
#include "runtime/admin.h"

int OrnEhMarloNewHandler(std::size_t size) {
    ExMultiThreadAdmin* admin = nullptr;
    try {
        ActiveCall active;
        // A thread new to the library is registered here, as by every other
        // entry point: without its record the handler could only return, and
        // a new handler that returns makes the allocation try again.
        admin = GetCurrentContainer() ? GetAdmin() : nullptr;
        if (admin) admin->PrepareMemoryException(size);
    } catch (...) {
    }
    if (admin) admin->ThrowMemoryException();
    return 0;
}

int OrnEhMarloNewHandler() { return OrnEhMarloNewHandler(0); }
