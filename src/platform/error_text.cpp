#include "platform/error_text.h"

#include <locale.h>
#include <string.h>

namespace orneh {
namespace platform {
namespace {

// The locales that give the C library's messages in German (UTF-8 text).
const char* const kGermanLocales[] = {"de_DE.UTF-8", "de_AT.UTF-8", "de_CH.UTF-8", "de_LU.UTF-8"};

// The first German locale installed; null when there is none (the messages
// are English then). Made once, kept for the life of the process.
locale_t GermanLocale() noexcept {
    static const locale_t locale = []() -> locale_t {
        for (const char* name : kGermanLocales) {
            if (locale_t made = ::newlocale(LC_MESSAGES_MASK | LC_CTYPE_MASK, name, nullptr)) return made;
        }
        return nullptr;
    }();
    return locale;
}

}  // namespace

const char* ErrnoText(int number, bool german) noexcept {
    const char* english = strerrordesc_np(number);
    if (!english) return nullptr;  // the system has no message for it
    const locale_t locale = german ? GermanLocale() : nullptr;
    return locale ? strerror_l(number, locale) : english;
}

}  // namespace platform
}  // namespace orneh
