// Text appended to a buffer of the caller's: no allocation, cut at the
// buffer's end, always terminated. For code that may run in a signal
// handler or with the heap in an unknown state.
#ifndef ORNEH_PLATFORM_FIXED_TEXT_H
#define ORNEH_PLATFORM_FIXED_TEXT_H

#include <atomic>
#include <cstddef>
#include <cstdint>

namespace orneh {
namespace platform {

struct FixedText {
    char* out;
    std::size_t size;  // of out, terminating zero included
    std::size_t length;

    void Text(const char* text) noexcept {
        while (*text && length + 1 < size) out[length++] = *text++;
        if (size > 0) out[length] = '\0';
    }
    // Lower-case digits without a prefix, at least minDigits of them.
    void Hex(std::uintptr_t value, int minDigits = 1) noexcept {
        char digits[2 * sizeof value + 1];
        int n = 0;
        do {
            digits[n++] = "0123456789abcdef"[value & 0xF];
            value >>= 4;
        } while (value || n < minDigits);
        char text[sizeof digits + 1];
        for (int i = 0; i < n; ++i) text[i] = digits[n - 1 - i];
        text[n] = '\0';
        Text(text);
    }
    void Decimal(unsigned long value) noexcept {
        char text[24];
        int n = sizeof text - 1;
        text[n] = '\0';
        do {
            text[--n] = static_cast<char>('0' + value % 10);
            value /= 10;
        } while (value);
        Text(text + n);
    }
};


// A text that one writer at a time replaces while readers (in a signal
// handler too) take copies: a sequence count, odd while the text changes,
// and the bytes, each read and written atomically; a reader that sees the
// count move tries again. A text too long for it is dropped.
template <std::size_t N>
class SharedFixedText {
public:
    void Set(const char* text) noexcept {
        std::size_t length = 0;
        while (text && text[length]) ++length;
        m_sequence.fetch_add(1, std::memory_order_acq_rel);
        const char* kept = length < N ? text : nullptr;
        for (std::size_t i = 0; i < N; ++i) {
            const char c = kept ? kept[i] : '\0';
            __atomic_store_n(&m_text[i], c, __ATOMIC_RELAXED);
            if (!c) break;
        }
        m_sequence.fetch_add(1, std::memory_order_release);
    }
    // True when out received a consistent copy that is not empty.
    bool Copy(char* out, std::size_t size) const noexcept {
        for (int attempt = 0; attempt < 4; ++attempt) {
            const unsigned before = m_sequence.load(std::memory_order_acquire);
            if (before & 1) continue;
            std::size_t i = 0;
            for (; i + 1 < size && i < N; ++i) {
                out[i] = __atomic_load_n(&m_text[i], __ATOMIC_RELAXED);
                if (!out[i]) break;
            }
            out[i] = '\0';
            std::atomic_thread_fence(std::memory_order_acquire);
            if (m_sequence.load(std::memory_order_relaxed) == before) return out[0] != '\0';
        }
        return false;
    }

private:
    std::atomic<unsigned> m_sequence{0};
    char m_text[N] = {};
};

}  // namespace platform
}  // namespace orneh

#endif
