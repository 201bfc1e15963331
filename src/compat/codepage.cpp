#include "compat/codepage.h"

#include <cstdint>

#include "OrnLangResource.h"

namespace orneh {
namespace compat {

std::string Cp1252ToUtf8(const char* text) {
    std::string out;
    if (!text) return out;
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p; ++p) {
        unsigned int c = OrnCp1252ToUnicode(*p);
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

namespace {

unsigned char UnicodeToCp1252(std::uint32_t character) {
    if (character < 0x80) return static_cast<unsigned char>(character);
    for (unsigned int byte = 0x80; byte <= 0xFF; ++byte) {
        if (OrnCp1252ToUnicode(static_cast<unsigned char>(byte)) == character) return static_cast<unsigned char>(byte);
    }
    return '?';
}

// The length of the sequence a UTF-8 lead byte begins; 0 for a byte that
// cannot begin one.
int SequenceLength(unsigned char lead) {
    if (lead < 0x80) return 1;
    if ((lead & 0xE0) == 0xC0) return 2;
    if ((lead & 0xF0) == 0xE0) return 3;
    if ((lead & 0xF8) == 0xF0) return 4;
    return 0;
}

}  // namespace

void Utf8ToCp1252(const char* utf8, char* out, bool keepOthers) {
    const unsigned char* in = reinterpret_cast<const unsigned char*>(utf8);
    while (*in) {
        const int length = SequenceLength(*in);
        std::uint32_t character = length == 1 ? *in : *in & (0x7F >> length);
        int used = 1;
        for (; used < length && (in[used] & 0xC0) == 0x80; ++used) character = (character << 6) | (in[used] & 0x3F);
        const bool whole = length > 0 && used == length;
        if (!whole && keepOthers) {
            *out++ = static_cast<char>(*in++);
            continue;
        }
        *out++ = static_cast<char>(whole ? UnicodeToCp1252(character) : '?');
        in += used;
    }
    *out = '\0';
}

}  // namespace compat
}  // namespace orneh
