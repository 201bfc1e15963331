// The loaded modules of the process, so that an address handed out as an
// entry can be traced back to the entry's bounds.
#include <cstdint>
#include <mutex>
#include <new>
#include <pthread.h>
#include <vector>

#include "OrnLangResource.h"
#include "resource/cp1252.h"
#include "resource/module.h"

namespace ornlang {
namespace resource {
namespace {

std::mutex g_mutex;
std::vector<const Module*>* g_live = nullptr;  // never freed: used until the process ends

// Held across fork(), so that a child never finds the list half changed by
// a thread it does not have. Registered when the library loads, before any
// library that uses this one registers its own: its handler then runs after
// theirs, as this lock is taken under theirs, never the other way round.
// The child's only thread is the one that took it, so it unlocks it too (a
// plain mutex knows no owner; and a thread sanitizer sees it let go, which
// it would not in a mutex made anew).
struct HeldAcrossFork {
    HeldAcrossFork() {
        pthread_atfork([] { g_mutex.lock(); }, [] { g_mutex.unlock(); }, [] { g_mutex.unlock(); });
    }
};
HeldAcrossFork g_heldAcrossFork;

}  // namespace

void RegisterLiveModule(const Module* module) {
    std::lock_guard<std::mutex> lock(g_mutex);
    try {
        if (!g_live) g_live = new std::vector<const Module*>();
        g_live->push_back(module);
    } catch (const std::bad_alloc&) {
        // Untracked: readers of its entries fall back to the end marks.
    }
}

void UnregisterLiveModule(const Module* module) {
    std::lock_guard<std::mutex> lock(g_mutex);
    if (!g_live) return;
    for (std::size_t i = 0; i < g_live->size(); ++i) {
        if ((*g_live)[i] == module) {
            (*g_live)[i] = g_live->back();
            g_live->pop_back();
            return;
        }
    }
}

}  // namespace resource
}  // namespace ornlang

using namespace ornlang::resource;

bool OrnResEntryExtent(const void* p, std::size_t* remaining) {
    auto address = reinterpret_cast<std::uintptr_t>(p);
    std::lock_guard<std::mutex> lock(g_mutex);
    if (!g_live || !p) return false;
    for (const Module* module : *g_live) {
        auto begin = reinterpret_cast<std::uintptr_t>(module->bytes);
        if (address < begin || address >= begin + module->size) continue;
        std::uintptr_t end = begin + module->size;
        for (std::size_t i = 0; i < module->entryCount; ++i) {
            auto data = reinterpret_cast<std::uintptr_t>(module->entries[i].data);
            std::size_t size = module->entries[i].size;
            // An empty entry's address is where the next one begins: it
            // holds no bytes at all.
            if (address >= data && (address < data + size || (size == 0 && address == data))) {
                end = data + size;
                break;
            }
        }
        if (remaining) *remaining = static_cast<std::size_t>(end - address);
        return true;
    }
    return false;
}

unsigned int OrnCp1252ToUnicode(unsigned char byte) { return Cp1252ToUnicode(byte); }
