// Loading a module of the library's own (a dialog backend) by its file name.
#ifndef ORNEH_PLATFORM_MODULE_LOADER_H
#define ORNEH_PLATFORM_MODULE_LOADER_H

#include <string>

namespace orneh {
namespace platform {

// Looks symbol up in the module file name, searched beside this library,
// in the lib directory beside its bin directory (a build tree), and in
// installLibDir. A module file is used only when it is a regular file owned
// by root or by the user and writable by nobody else, and the file loaded is
// the one checked. Null with a reason in why when it cannot be had (also
// without /proc). The module is never unloaded.
void* LoadModuleSymbol(const char* name, const char* symbol, const char* installLibDir,
                       std::string& why);

namespace moduletest {
// For tests: hook runs with the module's path after its file passed the
// check and before it is loaded (null: none).
void SetBetweenCheckAndLoad(void (*hook)(const char* path)) noexcept;
}  // namespace moduletest

}  // namespace platform
}  // namespace orneh

#endif
