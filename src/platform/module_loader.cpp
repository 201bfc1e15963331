#include "platform/module_loader.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>

#include "posix_io.h"

namespace orneh {
namespace platform {
namespace {

std::atomic<void (*)(const char*)> g_betweenCheckAndLoad{nullptr};

// The directory of the file that holds this code.
std::string OwnDirectory() {
    Dl_info info;
    if (!::dladdr(reinterpret_cast<void*>(&OwnDirectory), &info) || !info.dli_fname) return std::string();
    std::string path = info.dli_fname;
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

bool Trusted(const struct stat& st) {
    return S_ISREG(st.st_mode) && (st.st_uid == 0 || st.st_uid == ::geteuid()) &&
           (st.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

}  // namespace

// The file is opened once and checked as opened; what is loaded is that
// open file (through /proc/self/fd), never the name again, which another
// user could have pointed elsewhere in between. The descriptor stays open:
// the module is never unloaded, and its name in the process (call stacks
// name it) keeps leading to it.
void* LoadModuleSymbol(const char* name, const char* symbol, const char* installLibDir,
                       std::string& why) {
    const std::string own = OwnDirectory();
    const std::string places[] = {own, own + "/../lib", installLibDir ? installLibDir : ""};
    for (const std::string& dir : places) {
        if (dir.empty()) continue;
        const std::string path = dir + "/" + name;
        const int fd = ornlang::posix::OpenNoInt(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
        if (fd < 0) continue;
        struct stat st;
        if (::fstat(fd, &st) != 0 || !Trusted(st)) {
            ornlang::posix::CloseKeepingErrno(fd);
            why = path + " is not a trusted file";
            return nullptr;
        }
        if (void (*hook)(const char*) = g_betweenCheckAndLoad.load()) hook(path.c_str());
        // Not std::to_string: its template static is a unique symbol, which
        // would keep this library from unloading.
        char opened[32];
        std::snprintf(opened, sizeof opened, "/proc/self/fd/%d", fd);
        void* module = ::dlopen(opened, RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
        if (!module) {
            const char* error = ::dlerror();
            why = error ? error : "cannot load " + path;
            ornlang::posix::CloseKeepingErrno(fd);
            return nullptr;
        }
        void* entry = ::dlsym(module, symbol);
        if (!entry) why = path + " has no " + symbol;
        return entry;
    }
    why = std::string(name) + " is not installed";
    return nullptr;
}

namespace moduletest {

void SetBetweenCheckAndLoad(void (*hook)(const char* path)) noexcept { g_betweenCheckAndLoad.store(hook); }

}  // namespace moduletest
}  // namespace platform
}  // namespace orneh
