#include "platform/codepage.h"

#include "OrnLangResource.h"

namespace orneh {
namespace platform {

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

std::string Utf8ToCp1252(const char* text) {
    std::string out;
    if (!text) return out;
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p;) {
        unsigned int c = *p;
        int more = c < 0x80 ? 0 : (c & 0xE0) == 0xC0 ? 1 : (c & 0xF0) == 0xE0 ? 2 : (c & 0xF8) == 0xF0 ? 3 : -1;
        ++p;
        if (more < 0) {
            out += '?';
            continue;
        }
        if (more > 0) c &= 0x3F >> more;
        for (; more > 0 && (*p & 0xC0) == 0x80; --more, ++p) c = (c << 6) | (*p & 0x3F);
        if (more > 0) {
            out += '?';
            continue;
        }
        char byte = '?';
        for (unsigned int b = 0; b < 256; ++b) {
            if (OrnCp1252ToUnicode(static_cast<unsigned char>(b)) == c) {
                byte = static_cast<char>(b);
                break;
            }
        }
        out += c == 0 ? '?' : byte;
    }
    return out;
}

}  // namespace platform
}  // namespace orneh
