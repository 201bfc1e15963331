#include "base/alloc.h"

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace orneh {
namespace base {
namespace {

// 0: off; >0: countdown to the failing call; -1: every call fails; -2:
// every call blocks.
std::atomic<long> g_failCountdown{0};
std::atomic<std::size_t> g_failSize{0};  // every block of this size fails; 0: none
std::atomic<bool> g_fired{false};
std::atomic<long> g_outstanding{0};
// Counting costs a locked instruction per block, so only test programs do.
std::atomic<bool> g_counting{false};

bool ShouldFail() noexcept {
    long state = g_failCountdown.load(std::memory_order_relaxed);
    while (state != 0) {
        while (state == -2) std::this_thread::sleep_for(std::chrono::hours(1));
        if (state < 0) {
            g_fired.store(true, std::memory_order_relaxed);
            return true;
        }
        long next = state - 1;
        if (g_failCountdown.compare_exchange_weak(state, next, std::memory_order_relaxed)) {
            if (next == 0) {
                g_fired.store(true, std::memory_order_relaxed);
                return true;
            }
            return false;
        }
    }
    return false;
}

}  // namespace

void* Alloc(std::size_t size) noexcept {
    if (ShouldFail() || size == g_failSize.load(std::memory_order_relaxed)) return nullptr;
    void* block = std::malloc(size == 0 ? 1 : size);
    if (block && g_counting.load(std::memory_order_relaxed)) g_outstanding.fetch_add(1, std::memory_order_relaxed);
    return block;
}

void* AllocZeroed(std::size_t size) noexcept {
    void* block = Alloc(size);
    if (block) std::memset(block, 0, size);
    return block;
}

void* Realloc(void* block, std::size_t size) noexcept {
    if (!block) return Alloc(size);
    if (ShouldFail()) return nullptr;
    return std::realloc(block, size == 0 ? 1 : size);
}

void Free(void* block) noexcept {
    if (!block) return;
    if (g_counting.load(std::memory_order_relaxed)) g_outstanding.fetch_sub(1, std::memory_order_relaxed);
    std::free(block);
}

namespace alloctest {

void FailNth(unsigned long nth) noexcept {
    g_fired.store(false);
    g_failCountdown.store(nth == 0 ? 1 : static_cast<long>(nth));
}

void FailAll() noexcept {
    g_fired.store(false);
    g_failCountdown.store(-1);
}

void FailSize(std::size_t size) noexcept { g_failSize.store(size); }

void BlockAll() noexcept { g_failCountdown.store(-2); }

void Reset() noexcept {
    g_failCountdown.store(0);
    g_failSize.store(0);
}

bool Fired() noexcept { return g_fired.load(); }

long Outstanding() noexcept { return g_outstanding.load(); }

void CountBlocks() noexcept { g_counting.store(true); }

}  // namespace alloctest
}  // namespace base
}  // namespace orneh
