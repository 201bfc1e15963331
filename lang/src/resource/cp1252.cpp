#include "resource/cp1252.h"

namespace ornlang {
namespace resource {
namespace {

// 0x80 to 0x9F; the rest of 1252 equals Unicode's first 256 characters.
const std::uint16_t kHighControls[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 80-87
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  // 88-8F
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90-97
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,  // 98-9F
};

std::uint16_t UnitAt(const std::uint8_t* utf16, std::size_t index) {
    return static_cast<std::uint16_t>(utf16[2 * index] | (utf16[2 * index + 1] << 8));
}

}  // namespace

std::uint16_t Cp1252ToUnicode(unsigned char byte) {
    if (byte >= 0x80 && byte < 0xA0) return kHighControls[byte - 0x80];
    return byte;
}

char UnicodeToCp1252(std::uint32_t codepoint) {
    if (codepoint < 0x80 || (codepoint >= 0xA0 && codepoint <= 0xFF)) return static_cast<char>(codepoint);
    for (unsigned i = 0; i < 32; ++i) {
        if (kHighControls[i] == codepoint) return static_cast<char>(0x80 + i);
    }
    return '?';
}

std::size_t Utf16ToCp1252(const std::uint8_t* utf16, std::size_t units, char* out, std::size_t outSize) {
    std::size_t length = 0;
    for (std::size_t i = 0; i < units; ++i) {
        std::uint16_t unit = UnitAt(utf16, i);
        char converted;
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < units && UnitAt(utf16, i + 1) >= 0xDC00 &&
            UnitAt(utf16, i + 1) <= 0xDFFF) {
            ++i;  // a character beyond the first plane: never in 1252
            converted = '?';
        } else {
            converted = UnicodeToCp1252(unit);
        }
        if (outSize > 0 && length < outSize - 1) out[length] = converted;
        ++length;
    }
    if (outSize > 0) out[length < outSize - 1 ? length : outSize - 1] = '\0';
    return length;
}

}  // namespace resource
}  // namespace ornlang
