#include "platform/system_message.h"

#include <cerrno>
#include <climits>
#include <cstring>

#include "platform/alloc.h"

namespace orneh {
namespace platform {
namespace {

// Common COM results whose meaning is not an errno value.
struct HresultText {
    std::uint32_t hresult;
    const char* text;
};

const HresultText kHresultTexts[] = {
    {0x00000000u, "The operation completed successfully."},
    {0x80004001u, "Not implemented"},
    {0x80004002u, "No such interface supported"},
    {0x80004003u, "Invalid pointer"},
    {0x80004004u, "Operation aborted"},
    {0x80004005u, "Unspecified error"},
    {0x8000FFFFu, "Catastrophic failure"},
    {0x80070005u, "General access denied error"},
    {0x80070006u, "Invalid handle"},
    {0x8007000Eu, "Ran out of memory"},
    {0x80070057u, "One or more arguments are invalid"},
    {0x80040154u, "Class not registered"},
    {0x800401F0u, "CoInitialize has not been called."},
    {0x80010106u, "Cannot change thread mode after it is set."},
};

char* WithLineBreak(const char* text) {
    std::size_t length = std::strlen(text);
    char* message = static_cast<char*>(Alloc(length + 3));
    if (!message) return nullptr;
    std::memcpy(message, text, length);
    std::memcpy(message + length, "\r\n", 3);
    return message;
}

}  // namespace

unsigned long GetLastError() noexcept { return static_cast<unsigned long>(errno); }

char* SystemMessage(unsigned long code) noexcept {
    if (code > static_cast<unsigned long>(INT_MAX)) return nullptr;
    const char* text = strerrordesc_np(static_cast<int>(code));
    return text ? WithLineBreak(text) : nullptr;
}

char* HresultMessage(std::int32_t hresult) noexcept {
    auto value = static_cast<std::uint32_t>(hresult);
    for (const HresultText& entry : kHresultTexts) {
        if (entry.hresult == value) return WithLineBreak(entry.text);
    }
    if ((value & 0xFFFF0000u) == 0x80070000u) return SystemMessage(value & 0xFFFFu);
    return nullptr;
}

}  // namespace platform
}  // namespace orneh
