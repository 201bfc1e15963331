// The handful of Windows scalar and handle types that appear in the exported
// signatures. Widths follow Windows where callers or stored data depend on
// them (DWORD, WORD, HRESULT are 32/16/32 bits); `long` and `unsigned long`
// stay the native C++ types, as the exported signatures spell them.
#ifndef ORNEH_COMPAT_WINTYPES_H
#define ORNEH_COMPAT_WINTYPES_H

#include <cstddef>
#include <cstdint>

typedef int BOOL;
#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

typedef std::uint8_t BYTE;
typedef std::uint16_t WORD;
typedef std::uint32_t DWORD;
typedef std::int32_t LONG;
typedef unsigned int UINT;
typedef std::int32_t HRESULT;

// Distinct opaque handle types: passing a window where a module is expected
// does not compile.
struct HWND__;
struct HINSTANCE__;
struct HANDLE__;
typedef HWND__* HWND;
typedef HINSTANCE__* HINSTANCE;
typedef HANDLE__* HANDLE;

// Message box types and results (the values of the Windows constants).
enum : unsigned int {
    MB_OK = 0x00,
    MB_OKCANCEL = 0x01,
    MB_ABORTRETRYIGNORE = 0x02,
    MB_YESNOCANCEL = 0x03,
    MB_YESNO = 0x04,
    MB_RETRYCANCEL = 0x05,
    MB_ICONHAND = 0x10,
    MB_ICONERROR = 0x10,
    MB_ICONSTOP = 0x10,
    MB_ICONQUESTION = 0x20,
    MB_ICONEXCLAMATION = 0x30,
    MB_ICONWARNING = 0x30,
    MB_ICONASTERISK = 0x40,
    MB_ICONINFORMATION = 0x40
};

enum : int {
    IDOK = 1,
    IDCANCEL = 2,
    IDABORT = 3,
    IDRETRY = 4,
    IDIGNORE = 5,
    IDYES = 6,
    IDNO = 7
};

#endif
