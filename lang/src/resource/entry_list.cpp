#include <cstdlib>

#include "resource/module.h"

namespace ornlang {
namespace resource {

EntryList::~EntryList() { std::free(m_entries); }

bool EntryList::Add(const ResEntry& entry) {
    if (m_count == m_capacity) {
        std::size_t capacity = m_capacity ? m_capacity * 2 : 16;
        void* grown = std::realloc(m_entries, capacity * sizeof(ResEntry));
        if (!grown) return false;
        m_entries = static_cast<ResEntry*>(grown);
        m_capacity = capacity;
    }
    m_entries[m_count++] = entry;
    return true;
}

ResEntry* EntryList::Release(std::size_t& count) {
    ResEntry* entries = m_entries;
    count = m_count;
    m_entries = nullptr;
    m_count = m_capacity = 0;
    return entries;
}

}  // namespace resource
}  // namespace ornlang
