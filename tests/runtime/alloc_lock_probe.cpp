// A probe application that faults inside the allocator while the faulting
// thread holds the allocator's lock:
//   alloc_lock_probe interposed|arena registered|unregistered <dir>
// "interposed": this program's own malloc, which takes a lock of its own and
// faults once armed; "arena": glibc's malloc, which faults in its arena
// (a fast-bin chunk's link points at an unmapped address) with the arena's
// lock held. "registered": the main thread, which has the translator;
// "unregistered": a thread that never used the library. The log is
// <dir>/probe.log; the process should never get past the fault.
#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <pthread.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <thread>

#include "OrnEh.h"
#include "OrnEhSEH.h"

extern "C" void* __libc_malloc(size_t);
extern "C" void* __libc_calloc(size_t, size_t);
extern "C" void* __libc_realloc(void*, size_t);
extern "C" void __libc_free(void*);

namespace {

pthread_mutex_t g_lock = PTHREAD_MUTEX_INITIALIZER;
std::atomic<bool> g_armed{false};

struct Locked {
    Locked() { pthread_mutex_lock(&g_lock); }
    ~Locked() { pthread_mutex_unlock(&g_lock); }
};

void FaultInInterposedMalloc() {
    g_armed = true;
    void* volatile block = std::malloc(24);
    std::free(block);
}

// glibc 2.36's fast bins: the newest freed chunk's safe-linked next pointer
// is pointed at an unmapped address; taking the chunk refills the tcache
// through it.
void FaultInArena() {
    const size_t size = 24;
    void* chunks[9];
    for (void*& chunk : chunks) chunk = std::malloc(size);
    void* volatile neighbour = std::malloc(size);
    for (void* chunk : chunks) std::free(chunk);  // 7 fill the tcache, 2 go to the fast bin
    void* page = mmap(nullptr, 4096, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    munmap(page, 4096);
    auto* link = static_cast<std::uintptr_t*>(chunks[8]);
    *link = (reinterpret_cast<std::uintptr_t>(link) >> 12) ^ (reinterpret_cast<std::uintptr_t>(page) + 0x100);
    void* tcache[7];
    for (void*& chunk : tcache) chunk = std::malloc(size);
    void* volatile victim = std::malloc(size);
    (void)victim;
    (void)neighbour;
}

}  // namespace

extern "C" {
void* malloc(size_t size) noexcept {
    Locked locked;
    if (g_armed.exchange(false)) *static_cast<volatile int*>(nullptr) = 1;
    return __libc_malloc(size);
}
void* calloc(size_t count, size_t size) noexcept {
    Locked locked;
    return __libc_calloc(count, size);
}
void* realloc(void* block, size_t size) noexcept {
    Locked locked;
    return __libc_realloc(block, size);
}
void free(void* block) noexcept {
    Locked locked;
    __libc_free(block);
}
}

int main(int argc, char** argv) {
    if (argc != 4) return 2;
    struct rlimit noCore {0, 0};
    setrlimit(RLIMIT_CORE, &noCore);
    std::thread([] {}).join();  // from now on glibc's malloc takes its arena's lock
    OrnEhInitialize("AllocLockProbe", OrnEhLogUnlimited, "probe.log", nullptr, argv[3], 0);
    void (*fault)() = std::strcmp(argv[1], "arena") == 0 ? &FaultInArena : &FaultInInterposedMalloc;
    if (std::strcmp(argv[2], "registered") == 0) {
        try {
            fault();
        } catch (OrnEhSEH*) {
            return 4;
        }
    } else {
        std::thread(fault).join();
    }
    return 3;
}
