// The library's one allocation seam. Every heap block the library owns comes
// from Alloc/Realloc and goes back through Free (malloc semantics: null on
// failure, never throws), so that tests can make any allocation fail.
#ifndef ORNEH_BASE_ALLOC_H
#define ORNEH_BASE_ALLOC_H

#include <cstddef>
#include <exception>
#include <memory>
#include <new>
#include <utility>

namespace orneh {
namespace base {

void* Alloc(std::size_t size) noexcept;
void* Realloc(void* block, std::size_t size) noexcept;
void Free(void* block) noexcept;

// Allocates and zero-fills.
void* AllocZeroed(std::size_t size) noexcept;

// Constructs a T in a block from the seam; null when the block cannot be had
// or the constructor throws (the unwind that ends a thread goes on).
template <typename T, typename... Args>
T* New(Args&&... args) {
    void* block = Alloc(sizeof(T));
    if (!block) return nullptr;
    try {
        return new (block) T(std::forward<Args>(args)...);
    } catch (...) {
        Free(block);
        if (!std::current_exception()) throw;  // the unwind that ends the thread
        return nullptr;
    }
}

// Destroys and frees an object made by New; null is ignored.
template <typename T>
void Delete(T* object) noexcept {
    if (!object) return;
    object->~T();
    Free(object);
}

// Owns a block from Alloc: frees it when it goes, also when the unwind that
// ends the thread passes (an application hook called pthread_exit).
struct FreeBlock {
    void operator()(void* block) const noexcept { Free(block); }
};
template <typename T>
using OwnedBlock = std::unique_ptr<T, FreeBlock>;

// Failure injection for tests. All are safe to call from any thread.
namespace alloctest {

// The nth allocation from now (1 = the next one) fails; only that one.
void FailNth(unsigned long nth) noexcept;
// Every allocation fails until Reset.
void FailAll() noexcept;
// Every allocation of exactly size bytes fails until Reset.
void FailSize(std::size_t size) noexcept;
// Every allocation from now on waits for ever, as behind an allocator's lock
// that the calling thread holds.
void BlockAll() noexcept;
// Back to normal.
void Reset() noexcept;
// True once an injected failure has happened since the last FailNth/FailAll.
bool Fired() noexcept;
// Blocks handed out and not yet given back (a leak counter for tests),
// counted from the call of CountBlocks on; a test program calls that before
// the library makes its first block.
long Outstanding() noexcept;
void CountBlocks() noexcept;

}  // namespace alloctest
}  // namespace base
}  // namespace orneh

#endif
