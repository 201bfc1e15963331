// malloc and its relatives of the symbolizer program, in front of the C
// library's own (the program is single-threaded).
#include "symbolizer/allocation_guard.h"

#include <cerrno>
#include <cstddef>

extern "C" {
void* __libc_malloc(std::size_t size);
void* __libc_calloc(std::size_t count, std::size_t size);
void* __libc_realloc(void* block, std::size_t size);
void* __libc_memalign(std::size_t alignment, std::size_t size);
void __libc_free(void* block);
}

namespace orneh {
namespace symbolizer {
namespace {

unsigned long g_failAt = 0;  // 0: nothing fails on purpose
bool g_sticky = false;
unsigned long g_count = 0;
bool g_failed = false;

// Whether the allocation about to be made is to fail.
bool Refused() {
    if (g_failAt == 0 || ++g_count < g_failAt || (g_count > g_failAt && !g_sticky)) return false;
    errno = ENOMEM;
    return true;
}

void* Checked(void* block) {
    if (!block) g_failed = true;
    return block;
}

}  // namespace

void FailAllocation(unsigned long n, bool sticky) noexcept {
    g_count = 0;
    g_failAt = n;
    g_sticky = sticky;
}

bool AllocationFailed() noexcept { return g_failed; }

}  // namespace symbolizer
}  // namespace orneh

namespace sym = orneh::symbolizer;

extern "C" {

void* malloc(std::size_t size) {
    return sym::Checked(sym::Refused() ? nullptr : __libc_malloc(size));
}

void* calloc(std::size_t count, std::size_t size) {
    return sym::Checked(sym::Refused() ? nullptr : __libc_calloc(count, size));
}

void* realloc(void* block, std::size_t size) {
    if (size == 0) return __libc_realloc(block, size);  // a free
    return sym::Checked(sym::Refused() ? nullptr : __libc_realloc(block, size));
}

void free(void* block) { __libc_free(block); }

void* memalign(std::size_t alignment, std::size_t size) {
    return sym::Checked(sym::Refused() ? nullptr : __libc_memalign(alignment, size));
}

void* aligned_alloc(std::size_t alignment, std::size_t size) { return memalign(alignment, size); }

int posix_memalign(void** out, std::size_t alignment, std::size_t size) {
    void* block = memalign(alignment, size);
    if (!block) return ENOMEM;
    *out = block;
    return 0;
}

}  // extern "C"
