// Text appended to a buffer of the caller's: no allocation, cut at the
// buffer's end, always terminated. For code that may run in a signal
// handler or with the heap in an unknown state.
#ifndef ORNEH_PLATFORM_FIXED_TEXT_H
#define ORNEH_PLATFORM_FIXED_TEXT_H

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

}  // namespace platform
}  // namespace orneh

#endif
