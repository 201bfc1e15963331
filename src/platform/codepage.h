// Code page 1252 at the display boundary: every text inside the library is
// 1252; terminals and windows get UTF-8.
#ifndef ORNEH_PLATFORM_CODEPAGE_H
#define ORNEH_PLATFORM_CODEPAGE_H

#include <string>

namespace orneh {
namespace platform {

std::string Cp1252ToUtf8(const char* text);

// UTF-8 to 1252: '?' for a character 1252 cannot hold or a malformed byte.
std::string Utf8ToCp1252(const char* text);

}  // namespace platform
}  // namespace orneh

#endif
