// The compiler's COM support, as far as COM errors go: GUID, _bstr_t, the
// error-information object a failing component leaves, and _com_error.
//
// A _com_error is a value: it copies what the error-information object says
// when it is made and keeps no reference to it.
#ifndef ORNEH_COMPAT_COMDEF_H
#define ORNEH_COMPAT_COMDEF_H

#include <string>

#include "compat/OrnEhExport.h"
#include "compat/OrnEhWinTypes.h"

struct GUID {
    DWORD Data1;
    WORD Data2;
    WORD Data3;
    BYTE Data4[8];
};

inline bool operator==(const GUID& a, const GUID& b) {
    if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3) return false;
    for (int i = 0; i < 8; ++i) {
        if (a.Data4[i] != b.Data4[i]) return false;
    }
    return true;
}

inline constexpr GUID GUID_NULL = {0, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};

// HRESULT values and helpers.
#define SUCCEEDED(hr) (static_cast<HRESULT>(hr) >= 0)
#define FAILED(hr) (static_cast<HRESULT>(hr) < 0)
inline HRESULT HRESULT_FROM_WIN32(unsigned long code) {
    return code == 0 ? 0 : static_cast<HRESULT>((code & 0xFFFFu) | 0x80070000u);
}
constexpr HRESULT E_NOTIMPL = static_cast<HRESULT>(0x80004001u);
constexpr HRESULT E_NOINTERFACE = static_cast<HRESULT>(0x80004002u);
constexpr HRESULT E_POINTER = static_cast<HRESULT>(0x80004003u);
constexpr HRESULT E_ABORT = static_cast<HRESULT>(0x80004004u);
constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005u);
constexpr HRESULT E_UNEXPECTED = static_cast<HRESULT>(0x8000FFFFu);
constexpr HRESULT E_ACCESSDENIED = static_cast<HRESULT>(0x80070005u);
constexpr HRESULT E_HANDLE = static_cast<HRESULT>(0x80070006u);
constexpr HRESULT E_OUTOFMEMORY = static_cast<HRESULT>(0x8007000Eu);
constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057u);

// An owned 8-bit text (the narrow side of the compiler's BSTR wrapper).
class _bstr_t {
public:
    _bstr_t() = default;
    _bstr_t(const char* text) : m_text(text ? text : ""), m_null(text == nullptr) {}  // NOLINT
    unsigned int length() const { return static_cast<unsigned int>(m_text.size()); }
    operator const char*() const { return m_null ? nullptr : m_text.c_str(); }  // NOLINT

private:
    std::string m_text;
    bool m_null = true;
};

// What a failing component says about its error.
class IErrorInfo {
public:
    virtual ~IErrorInfo() = default;
    virtual _bstr_t GetDescription() const = 0;
    virtual _bstr_t GetSource() const = 0;
    virtual _bstr_t GetHelpFile() const = 0;
    virtual DWORD GetHelpContext() const = 0;
    virtual GUID GetGUID() const = 0;
};

class ORNEH_API _com_error {
public:
    // info may be null (no error object); it is read here and not kept.
    explicit _com_error(HRESULT hr, const IErrorInfo* info = nullptr);
    virtual ~_com_error();

    HRESULT Error() const { return m_hresult; }
    // The system's message for the HRESULT (without its line break), or
    // "IDispatch error #n" / "Unknown error 0x...".
    const char* ErrorMessage() const;
    _bstr_t Description() const { return m_description; }
    _bstr_t Source() const { return m_source; }
    _bstr_t HelpFile() const { return m_helpFile; }
    DWORD HelpContext() const { return m_helpContext; }
    ::GUID GUID() const { return m_guid; }

private:
    HRESULT m_hresult;
    _bstr_t m_description;
    _bstr_t m_source;
    _bstr_t m_helpFile;
    DWORD m_helpContext = 0;
    ::GUID m_guid = GUID_NULL;
    mutable std::string m_message;
};

#endif
