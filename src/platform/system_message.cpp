#include "platform/system_message.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <locale.h>
#include <string.h>

#include "OrnLangIds.h"
#include "OrnLangResource.h"
#include "OrnLanguagePublisher.h"
#include "base/alloc.h"
#include "platform/codepage.h"

namespace orneh {
namespace platform {
namespace {

// The locales that give the C library's messages in German (UTF-8 text).
const char* const kGermanLocales[] = {"de_DE.UTF-8", "de_AT.UTF-8", "de_CH.UTF-8", "de_LU.UTF-8"};

// The locale for the C library's messages in the language the language
// library chose; null for English, and when no locale of the language is
// installed (the messages are English then). Made once, kept for the life of
// the process.
locale_t MessageLocale() noexcept {
    static const locale_t locale = []() -> locale_t {
        const char* language = OrnLanguagePublisher::Instance()->GetLanguage();
        if (!language || std::strcmp(language, "de") != 0) return nullptr;
        for (const char* name : kGermanLocales) {
            if (locale_t made = ::newlocale(LC_MESSAGES_MASK | LC_CTYPE_MASK, name, nullptr)) return made;
        }
        return nullptr;
    }();
    return locale;
}

// A new 1252 text of text (UTF-8 when fromUtf8) followed by CR LF.
char* WithLineBreak(const char* text, bool fromUtf8) noexcept {
    std::size_t length = std::strlen(text);
    char* message = static_cast<char*>(base::Alloc(length + 3));
    if (!message) return nullptr;
    if (fromUtf8) {
        Utf8ToCp1252(text, message);
        length = std::strlen(message);
    } else {
        std::memcpy(message, text, length);
    }
    std::memcpy(message + length, "\r\n", 3);
    return message;
}

// The text of a COM result in the language module's table: records of the
// HRESULT (32 bits, little-endian) and its 1252 text with a terminating zero.
const char* ModuleHresultText(std::uint32_t hresult) noexcept {
    std::size_t size = 0;
    HINSTANCE module = OrnLanguagePublisher::Instance()->GetLangDependentResource();
    const auto* at = static_cast<const unsigned char*>(OrnResFind(module, ORN_RT_RCDATA, IDR_EH_COM_MESSAGES, &size));
    const unsigned char* end = at ? at + size : nullptr;
    while (at && end - at > 4) {
        const std::uint32_t value = at[0] | (at[1] << 8) | (at[2] << 16) | (static_cast<std::uint32_t>(at[3]) << 24);
        const char* text = reinterpret_cast<const char*>(at + 4);
        const void* zero = std::memchr(text, '\0', static_cast<std::size_t>(end - (at + 4)));
        if (!zero) return nullptr;
        if (value == hresult) return text;
        at = static_cast<const unsigned char*>(zero) + 1;
    }
    return nullptr;
}

}  // namespace

unsigned long GetLastError() noexcept { return static_cast<unsigned long>(errno); }

char* SystemMessage(unsigned long code) noexcept {
    if (code > static_cast<unsigned long>(INT_MAX)) return nullptr;
    const int number = static_cast<int>(code);
    const char* english = strerrordesc_np(number);
    if (!english) return nullptr;  // the system has no message for it
    const locale_t locale = MessageLocale();
    return WithLineBreak(locale ? strerror_l(number, locale) : english, true);
}

char* HresultMessage(std::int32_t hresult) noexcept {
    auto value = static_cast<std::uint32_t>(hresult);
    if (const char* text = ModuleHresultText(value)) return WithLineBreak(text, false);
    if ((value & 0xFFFF0000u) == 0x80070000u) return SystemMessage(value & 0xFFFFu);
    return nullptr;
}

}  // namespace platform
}  // namespace orneh
