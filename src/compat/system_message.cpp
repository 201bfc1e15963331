#include "compat/system_message.h"

#include <cerrno>
#include <climits>
#include <cstring>

#include "OrnLangIds.h"
#include "OrnLangResource.h"
#include "OrnLanguagePublisher.h"
#include "base/alloc.h"
#include "compat/codepage.h"
#include "platform/error_text.h"

namespace orneh {
namespace compat {
namespace {

// Whether the language library chose German (the C library's messages are
// asked for in that language).
bool German() noexcept {
    const char* language = OrnLanguagePublisher::Instance()->GetLanguage();
    return language && std::strcmp(language, "de") == 0;
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
    const char* text = platform::ErrnoText(static_cast<int>(code), German());
    return text ? WithLineBreak(text, true) : nullptr;
}

char* HresultMessage(std::int32_t hresult) noexcept {
    auto value = static_cast<std::uint32_t>(hresult);
    if (const char* text = ModuleHresultText(value)) return WithLineBreak(text, false);
    if ((value & 0xFFFF0000u) == 0x80070000u) return SystemMessage(value & 0xFFFFu);
    return nullptr;
}

}  // namespace compat
}  // namespace orneh
