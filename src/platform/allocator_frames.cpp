#include "platform/allocator_frames.h"

#include <atomic>
#include <dlfcn.h>
#include <link.h>

namespace orneh {
namespace platform {
namespace {

const char* const kFunctions[] = {"malloc", "calloc", "realloc", "free", "memalign", "posix_memalign",
                                  "aligned_alloc", "valloc", "pvalloc", "reallocarray"};
const int kCount = sizeof kFunctions / sizeof kFunctions[0];
// The allocator's own frames come first; a fault deeper than this below one
// of its functions is not the allocator's.
const int kFramesLooked = 8;

struct Range {
    std::atomic<std::uintptr_t> low{0};
    std::atomic<std::uintptr_t> high{0};
};
Range g_ranges[kCount];

bool Inside(std::uintptr_t address) {
    for (const Range& range : g_ranges) {
        if (address >= range.low.load(std::memory_order_relaxed) &&
            address < range.high.load(std::memory_order_relaxed)) {
            return true;
        }
    }
    return false;
}

}  // namespace

void FindAllocatorFunctions() noexcept {
    for (int i = 0; i < kCount; ++i) {
        void* function = dlsym(RTLD_DEFAULT, kFunctions[i]);
        Dl_info info;
        void* entry = nullptr;
        if (!function || !dladdr1(function, &info, &entry, RTLD_DL_SYMENT) || !entry) continue;
        const auto* symbol = static_cast<const ElfW(Sym)*>(entry);
        if (symbol->st_size == 0) continue;
        auto low = reinterpret_cast<std::uintptr_t>(function);
        g_ranges[i].high.store(0, std::memory_order_relaxed);
        g_ranges[i].low.store(low, std::memory_order_relaxed);
        g_ranges[i].high.store(low + symbol->st_size, std::memory_order_relaxed);
    }
}

bool FaultInAllocator(std::uintptr_t instruction, const CallStack* stack) noexcept {
    if (Inside(instruction)) return true;
    for (int i = 0; stack && i < stack->count && i < kFramesLooked; ++i) {
        if (Inside(LookupAddress(*stack, i))) return true;
    }
    return false;
}

}  // namespace platform
}  // namespace orneh
