// A small CString: an owned 8-bit text with the MFC members the library and
// its applications use. LoadString takes the string from the calling
// thread's current resource module (see OrnLanguageResManager).
#ifndef ORNEH_COMPAT_CSTRING_H
#define ORNEH_COMPAT_CSTRING_H

#include <cstddef>
#include <string>

#include "OrnLangResource.h"
#include "compat/OrnEhWinTypes.h"

class CString {
public:
    CString() = default;
    CString(const char* text) : m_text(text ? text : "") {}  // NOLINT: MFC converts implicitly
    CString(const char* text, int length) : m_text(text ? text : "", text && length > 0 ? static_cast<std::size_t>(length) : 0) {}

    operator const char*() const { return m_text.c_str(); }  // NOLINT: MFC converts implicitly
    const char* GetString() const { return m_text.c_str(); }
    int GetLength() const { return static_cast<int>(m_text.size()); }
    BOOL IsEmpty() const { return m_text.empty() ? TRUE : FALSE; }
    void Empty() { m_text.clear(); }

    CString& operator=(const char* text) {
        m_text = text ? text : "";
        return *this;
    }
    CString& operator+=(const char* text) {
        if (text) m_text += text;
        return *this;
    }
    CString& operator+=(const CString& other) {
        m_text += other.m_text;
        return *this;
    }
    CString& operator+=(char c) {
        m_text += c;
        return *this;
    }
    friend CString operator+(const CString& a, const char* b) {
        CString r(a);
        r += b;
        return r;
    }
    bool operator==(const char* other) const { return m_text == (other ? other : ""); }
    bool operator!=(const char* other) const { return !(*this == other); }

    // Position of the first occurrence of text, or -1.
    int Find(const char* text) const {
        std::size_t at = m_text.find(text ? text : "");
        return at == std::string::npos ? -1 : static_cast<int>(at);
    }
    CString Left(int count) const {
        if (count <= 0) return CString();
        return CString(m_text.substr(0, static_cast<std::size_t>(count)).c_str());
    }

    // Loads string resource id from the thread's current resource module.
    // FALSE (and an empty text) when there is none.
    BOOL LoadString(UINT id) {
        HINSTANCE module = OrnResGetThreadModule();
        long length = OrnResLoadString(module, id, nullptr, 0);
        if (length < 0) {
            m_text.clear();
            return FALSE;
        }
        m_text.assign(static_cast<std::size_t>(length), '\0');
        OrnResLoadString(module, id, &m_text[0], m_text.size() + 1);
        return TRUE;
    }

private:
    std::string m_text;
};

#endif
