#include "base/settings.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>

namespace orneh {
namespace base {
namespace {

struct Row {
    const char* variable;
    const char* fallback;
};

constexpr Row kRows[] = {
#define ORNEH_SETTING_ROW(name, variable, fallback, values) {variable, fallback},
    ORNEH_SETTINGS(ORNEH_SETTING_ROW)
#undef ORNEH_SETTING_ROW
};
constexpr std::size_t kCount = sizeof kRows / sizeof kRows[0];

// Every text the settings ever held, kept for the life of the library: a
// reader may still hold one that a test replaced. The texts go into room of
// the library's own first, so that an unloaded library takes them along
// (copies on the heap would be lost for good at each unload); only what does
// not fit there is copied to the heap, onto a list that keeps it reachable.
char g_room[4096];
std::atomic<std::size_t> g_roomUsed{0};

struct KeptText {
    KeptText* next;
    char text[1];
};
std::atomic<KeptText*> g_kept{nullptr};

// Room for size bytes in g_room; null when it is full.
char* TakeRoom(std::size_t size) noexcept {
    std::size_t at = g_roomUsed.load(std::memory_order_relaxed);
    while (size <= sizeof g_room - at && !g_roomUsed.compare_exchange_weak(at, at + size)) {
    }
    return size <= sizeof g_room - at ? g_room + at : nullptr;
}

// A copy of value that stays; null when memory runs out (the setting then
// counts as unset).
const char* Keep(const char* value) noexcept {
    const std::size_t size = std::strlen(value) + 1;
    char* text = TakeRoom(size);
    if (!text) {
        auto* node = static_cast<KeptText*>(std::malloc(sizeof(KeptText) + size));
        if (!node) return nullptr;
        node->next = g_kept.load();
        while (!g_kept.compare_exchange_weak(node->next, node)) {
        }
        text = node->text;
    }
    std::memcpy(text, value, size);
    return text;
}

// The settings' texts; null: unset.
struct Values {
    std::atomic<const char*> text[kCount];
    Values() {
        for (std::size_t i = 0; i < kCount; ++i) {
            const char* value = std::getenv(kRows[i].variable);
            text[i].store(value ? Keep(value) : nullptr, std::memory_order_relaxed);
        }
    }
};

// Read on first use, once, whichever thread comes first; never destroyed (a
// thread may still ask while the process ends).
Values& Read() noexcept {
    alignas(Values) static unsigned char storage[sizeof(Values)];
    static Values* const values = new (storage) Values;
    return *values;
}

}  // namespace

void LoadSettings() noexcept { Read(); }

const char* GetSetting(Setting setting) noexcept {
    const std::size_t index = static_cast<std::size_t>(setting);
    const char* value = Read().text[index].load(std::memory_order_acquire);
    return value ? value : kRows[index].fallback;
}

void SetSettingForTesting(const char* variable, const char* value) noexcept {
    for (std::size_t i = 0; i < kCount; ++i) {
        if (std::strcmp(kRows[i].variable, variable) != 0) continue;
        Read().text[i].store(value ? Keep(value) : nullptr, std::memory_order_release);
    }
}

}  // namespace base
}  // namespace orneh
