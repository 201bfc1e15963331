// Code page 1252, the 8-bit character set of every text the library keeps.
#ifndef ORNLANG_RESOURCE_CP1252_H
#define ORNLANG_RESOURCE_CP1252_H

#include <cstddef>
#include <cstdint>

namespace ornlang {
namespace resource {

// The Unicode character of a 1252 byte. The five bytes 1252 leaves unused
// (0x81, 0x8D, 0x8F, 0x90, 0x9D) stand for the C1 controls of equal value.
std::uint16_t Cp1252ToUnicode(unsigned char byte);

// The 1252 byte of a Unicode character, or '?' when 1252 lacks it.
char UnicodeToCp1252(std::uint32_t codepoint);

// Converts units UTF-16LE code units at utf16 to 1252; a surrogate pair is
// one character, a lone surrogate becomes '?'. Writes at most outSize - 1
// bytes and a terminator when outSize > 0 (out may be null when outSize is
// 0). Returns the length of the whole conversion.
std::size_t Utf16ToCp1252(const std::uint8_t* utf16, std::size_t units, char* out, std::size_t outSize);

}  // namespace resource
}  // namespace ornlang

#endif
