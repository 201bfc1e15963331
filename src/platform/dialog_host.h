// What the error dialog needs of the system: writing a saved report, the
// program's name, whether a display or a terminal is there, and loading a
// dialog backend module.
#ifndef ORNEH_PLATFORM_DIALOG_HOST_H
#define ORNEH_PLATFORM_DIALOG_HOST_H

#include <cstddef>
#include <string>

namespace orneh {
namespace platform {

// Creates or truncates path and writes size bytes into it, holding the file
// exclusively (flock) while it writes. False on any failure, errno set.
bool WriteWholeFile(const char* path, const char* data, std::size_t size) noexcept;

// The running program's name without its directory.
const char* ProgramName() noexcept;

// Whether a display server is named (WAYLAND_DISPLAY or DISPLAY).
bool DisplayNamed() noexcept;
// Whether the process has a controlling terminal it can open.
bool HasControllingTerminal() noexcept;

// Looks symbol up in the module file name, searched beside this library,
// in the lib directory beside its bin directory (a build tree), and in
// installLibDir. A module file is used only when it is a regular file owned
// by root or by the user and writable by nobody else. Null with a reason
// in why when it cannot be had. The module is never unloaded.
void* LoadModuleSymbol(const char* name, const char* symbol, const char* installLibDir,
                       std::string& why);

}  // namespace platform
}  // namespace orneh

#endif
