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

// Every text the settings ever held, kept for the life of the process: a
// reader may still hold one that a test replaced.
struct KeptText {
    KeptText* next;
    char text[1];
};
std::atomic<KeptText*> g_kept{nullptr};

// A copy of value on the kept list; null when memory runs out (the setting
// then counts as unset).
const char* Keep(const char* value) noexcept {
    const std::size_t length = std::strlen(value);
    auto* node = static_cast<KeptText*>(std::malloc(sizeof(KeptText) + length));
    if (!node) return nullptr;
    std::memcpy(node->text, value, length + 1);
    node->next = g_kept.load();
    while (!g_kept.compare_exchange_weak(node->next, node)) {
    }
    return node->text;
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
