#include "platform/module_loader.h"

#include <climits>
#include <cstdint>
#include <cstring>
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>

#include "platform/stacktrace.h"
#include "posix_io.h"

namespace orneh {
namespace platform {
namespace {

std::atomic<void (*)(const char*)> g_betweenCheckAndLoad{nullptr};

bool Trusted(const struct stat& st) {
    return S_ISREG(st.st_mode) && (st.st_uid == 0 || st.st_uid == ::geteuid()) &&
           (st.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

// dir + "/" + name into path; false when it does not fit.
bool Join(const char* dir, std::size_t dirLength, const char* name, char* path, std::size_t size) {
    const std::size_t nameLength = std::strlen(name);
    if (dirLength + 1 + nameLength + 1 > size) return false;
    std::memcpy(path, dir, dirLength);
    path[dirLength] = '/';
    std::memcpy(path + dirLength + 1, name, nameLength + 1);
    return true;
}

}  // namespace

ModuleFile FindModuleFile(const char* name, const char* installLibDir, char* path, std::size_t size) noexcept {
    // The directory of the file that holds this code (the loader's lock-free
    // lookup, not dladdr, which takes the loader's lock).
    const char* own = nullptr;
    std::uintptr_t offset = 0;
    std::size_t ownLength = 0;
    if (FindModule(reinterpret_cast<std::uintptr_t>(&FindModuleFile), &own, &offset)) {
        const char* slash = std::strrchr(own, '/');
        ownLength = slash ? static_cast<std::size_t>(slash - own) : 0;
    }
    char buildLib[PATH_MAX];
    const char kBuildLib[] = "/../lib";
    bool haveBuildLib = ownLength > 0 && ownLength + sizeof kBuildLib <= sizeof buildLib;
    if (haveBuildLib) {
        std::memcpy(buildLib, own, ownLength);
        std::memcpy(buildLib + ownLength, kBuildLib, sizeof kBuildLib);
    }
    const char* dirs[] = {ownLength > 0 ? own : nullptr, haveBuildLib ? buildLib : nullptr, installLibDir};
    const std::size_t lengths[] = {ownLength, haveBuildLib ? std::strlen(buildLib) : 0,
                                   installLibDir ? std::strlen(installLibDir) : 0};
    for (int i = 0; i < 3; ++i) {
        if (!dirs[i] || lengths[i] == 0 || !Join(dirs[i], lengths[i], name, path, size)) continue;
        struct stat st;
        if (::stat(path, &st) != 0) continue;
        return Trusted(st) ? ModuleFile::kFound : ModuleFile::kUntrusted;
    }
    return ModuleFile::kMissing;
}

// The file found is opened once and checked as opened; what is loaded is
// that open file (through /proc/self/fd), never the name again, which
// another user could have pointed elsewhere in between. The descriptor stays
// open: the module is never unloaded, and its name in the process (call
// stacks name it) keeps leading to it.
void* LoadModuleSymbol(const char* name, const char* symbol, const char* installLibDir,
                       std::string& why) {
    char path[PATH_MAX];
    switch (FindModuleFile(name, installLibDir, path, sizeof path)) {
    case ModuleFile::kMissing:
        why = std::string(name) + " is not installed";
        return nullptr;
    case ModuleFile::kUntrusted:
        why = std::string(path) + " is not a trusted file";
        return nullptr;
    case ModuleFile::kFound:
        break;
    }
    const int fd = ornlang::posix::OpenNoInt(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        why = std::string("cannot open ") + path;
        return nullptr;
    }
    struct stat st;
    if (::fstat(fd, &st) != 0 || !Trusted(st)) {
        ornlang::posix::CloseKeepingErrno(fd);
        why = std::string(path) + " is not a trusted file";
        return nullptr;
    }
    if (void (*hook)(const char*) = g_betweenCheckAndLoad.load()) hook(path);
    char opened[32];
    std::snprintf(opened, sizeof opened, "/proc/self/fd/%d", fd);
    void* module = ::dlopen(opened, RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
    if (!module) {
        const char* error = ::dlerror();
        why = error ? error : std::string("cannot load ") + path;
        ornlang::posix::CloseKeepingErrno(fd);
        return nullptr;
    }
    void* entry = ::dlsym(module, symbol);
    if (!entry) why = std::string(path) + " has no " + symbol;
    return entry;
}

namespace moduletest {

void SetBetweenCheckAndLoad(void (*hook)(const char* path)) noexcept { g_betweenCheckAndLoad.store(hook); }

}  // namespace moduletest
}  // namespace platform
}  // namespace orneh
