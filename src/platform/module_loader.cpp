#include "platform/module_loader.h"

#include <climits>
#include <cstdint>
#include <cstring>
#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/stacktrace.h"

namespace orneh {
namespace platform {
namespace {

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
    void* module = ::dlopen(path, RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
    if (!module) {
        const char* error = ::dlerror();
        why = error ? error : std::string("cannot load ") + path;
        return nullptr;
    }
    void* entry = ::dlsym(module, symbol);
    if (!entry) why = std::string(path) + " has no " + symbol;
    return entry;
}

}  // namespace platform
}  // namespace orneh
