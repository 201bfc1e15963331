// What the symbolizer said about the addresses of earlier stacks, so that a
// stack seen before is named without asking it again. Fixed size: a table of
// kSlots entries (at most three quarters used) and kArenaBytes for their
// answers; when either is full, everything is forgotten and filling starts
// again. Never allocates. Not locked: its owner's lock guards it.
#ifndef ORNEH_PLATFORM_SYMBOL_CACHE_H
#define ORNEH_PLATFORM_SYMBOL_CACHE_H

#include <cstddef>
#include <cstdint>

namespace orneh {
namespace platform {

class SymbolCache {
public:
    static constexpr std::size_t kSlots = 4096;
    static constexpr std::size_t kArenaBytes = 256 * 1024;
    // An answer larger than this is not kept.
    static constexpr std::size_t kMaxAnswerBytes = kArenaBytes / 16;

    // Trivial, so that a static cache costs nothing until it is used: a
    // cache of static storage, or one value-initialized (SymbolCache()),
    // starts empty.
    SymbolCache() = default;

    // The answer kept for offset in module (a ModuleIdentity key): its
    // bytes, valid until the next Insert or Clear.
    bool Find(std::uint64_t module, std::uint64_t offset, const char** answer, std::size_t* size) const noexcept;
    // Keeps answer for offset in module, in place of one kept before.
    void Insert(std::uint64_t module, std::uint64_t offset, const char* answer, std::size_t size) noexcept;
    void Clear() noexcept;

    std::size_t Count() const noexcept { return m_count; }
    std::size_t BytesUsed() const noexcept { return m_used; }

private:
    struct Slot {
        std::uint64_t module;  // 0: free
        std::uint64_t offset;
        std::uint32_t at;
        std::uint32_t size;
    };
    std::size_t SlotOf(std::uint64_t module, std::uint64_t offset) const noexcept;

    Slot m_slots[kSlots];
    char m_arena[kArenaBytes];
    std::size_t m_count;
    std::size_t m_used;
};

}  // namespace platform
}  // namespace orneh

#endif
