#include "platform/symbol_cache.h"

#include <cstring>

namespace orneh {
namespace platform {

// Open addressing, probing the next slots; the table is never more than
// three quarters full, so a search ends at a free slot.
std::size_t SymbolCache::SlotOf(std::uint64_t module, std::uint64_t offset) const noexcept {
    std::uint64_t mixed = (module ^ (offset * 0x9e3779b97f4a7c15ull)) * 0xff51afd7ed558ccdull;
    std::size_t slot = static_cast<std::size_t>(mixed >> 32) & (kSlots - 1);
    while (m_slots[slot].module != 0 && (m_slots[slot].module != module || m_slots[slot].offset != offset)) {
        slot = (slot + 1) & (kSlots - 1);
    }
    return slot;
}

bool SymbolCache::Find(std::uint64_t module, std::uint64_t offset, const char** answer,
                       std::size_t* size) const noexcept {
    if (module == 0) return false;
    const Slot& slot = m_slots[SlotOf(module, offset)];
    if (slot.module == 0) return false;
    *answer = m_arena + slot.at;
    *size = slot.size;
    return true;
}

void SymbolCache::Insert(std::uint64_t module, std::uint64_t offset, const char* answer,
                         std::size_t size) noexcept {
    if (module == 0 || size > kMaxAnswerBytes) return;
    if (m_count + 1 > kSlots / 4 * 3 || size > kArenaBytes - m_used) Clear();
    Slot& slot = m_slots[SlotOf(module, offset)];
    if (slot.module == 0) ++m_count;  // else the earlier bytes stay unused until the next Clear
    std::memcpy(m_arena + m_used, answer, size);
    slot = Slot{module, offset, static_cast<std::uint32_t>(m_used), static_cast<std::uint32_t>(size)};
    m_used += size;
}

void SymbolCache::Clear() noexcept {
    std::memset(m_slots, 0, sizeof m_slots);
    m_count = 0;
    m_used = 0;
}

}  // namespace platform
}  // namespace orneh
