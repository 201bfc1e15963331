// Code page 1252 at the boundaries: every text inside the library is 1252;
// terminals and windows get UTF-8, texts of the C library come as UTF-8.
#ifndef ORNEH_COMPAT_CODEPAGE_H
#define ORNEH_COMPAT_CODEPAGE_H

#include <string>

namespace orneh {
namespace compat {

std::string Cp1252ToUtf8(const char* text);

// Converts UTF-8 text to 1252 into out, which holds at least strlen(utf8) + 1
// bytes (1252 never needs more than UTF-8; out may be utf8 itself). A
// character 1252 lacks becomes '?'; so does a malformed sequence, unless
// keepOthers is set: then its bytes are taken as 1252 already.
void Utf8ToCp1252(const char* utf8, char* out, bool keepOthers = false);

}  // namespace compat
}  // namespace orneh

#endif
