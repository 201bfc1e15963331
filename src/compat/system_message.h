// The system's message texts, in the shape of the Windows messages: the text
// in code page 1252 followed by CR LF, in the language the language library
// chose. System errors are errno values here, with the C library's texts
// (English when its messages in that language are not installed); HRESULTs
// have a table of the common COM codes in the language module, and
// HRESULT_FROM_WIN32 codes give the text of the errno value inside them.
#ifndef ORNEH_COMPAT_SYSTEM_MESSAGE_H
#define ORNEH_COMPAT_SYSTEM_MESSAGE_H

#include <cstdint>

namespace orneh {
namespace compat {

// The last error of the calling thread (errno).
unsigned long GetLastError() noexcept;

// The message of a system error code, as a new text from the allocation
// seam ("No such file or directory\r\n" for 2 in English); null when the
// system has no message for it or memory runs out.
char* SystemMessage(unsigned long code) noexcept;

// The message of an HRESULT, likewise.
char* HresultMessage(std::int32_t hresult) noexcept;

}  // namespace compat
}  // namespace orneh

#endif
