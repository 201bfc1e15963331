// The new handlers: a failed allocation becomes the thread's reserve
// exception, thrown to the code that asked for the memory.
#include "OrnEh.h"
#include "runtime/admin.h"

int OrnEhMarloNewHandler(std::size_t size) {
    ExMultiThreadAdmin* admin = nullptr;
    try {
        ActiveCall active;
        admin = GetAdmin();
        if (admin) admin->PrepareMemoryException(size);
    } catch (...) {
    }
    if (admin) admin->ThrowMemoryException();
    return 0;
}

int OrnEhMarloNewHandler() { return OrnEhMarloNewHandler(0); }
