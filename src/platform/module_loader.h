// Finding a file of the library's own beside it (a dialog backend module,
// the symbolizer program), and loading a module by its file name.
#ifndef ORNEH_PLATFORM_MODULE_LOADER_H
#define ORNEH_PLATFORM_MODULE_LOADER_H

#include <cstddef>
#include <string>

namespace orneh {
namespace platform {

enum class ModuleFile { kFound, kMissing, kUntrusted };

// The file name (which may name a folder too) searched beside this library,
// in the lib directory beside its bin directory (a build tree), and in
// installLibDir; its path goes to path (cut at size: then kMissing). A file
// is used only when it is a regular file owned by root or by the user and
// writable by nobody else; the first one there decides. No allocation and no
// lock: safe in a signal handler.
ModuleFile FindModuleFile(const char* name, const char* installLibDir, char* path, std::size_t size) noexcept;

// Looks symbol up in the module file name, found as above. Null with a
// reason in why when it cannot be had (also without /proc). The file
// loaded is the one checked. The module is never unloaded.
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
