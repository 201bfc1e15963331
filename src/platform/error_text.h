// The C library's texts of errno values.
#ifndef ORNEH_PLATFORM_ERROR_TEXT_H
#define ORNEH_PLATFORM_ERROR_TEXT_H

namespace orneh {
namespace platform {

// The text of errno value number (UTF-8): in German when german is set and a
// German locale is installed, else in English. Null when the system has no
// text for it. The text is the C library's: use it before the next call.
const char* ErrnoText(int number, bool german) noexcept;

}  // namespace platform
}  // namespace orneh

#endif
