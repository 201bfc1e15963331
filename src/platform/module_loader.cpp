#include "platform/module_loader.h"

#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

namespace orneh {
namespace platform {
namespace {

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

void* LoadModuleSymbol(const char* name, const char* symbol, const char* installLibDir,
                       std::string& why) {
    const std::string own = OwnDirectory();
    const std::string places[] = {own, own + "/../lib", installLibDir ? installLibDir : ""};
    for (const std::string& dir : places) {
        if (dir.empty()) continue;
        const std::string path = dir + "/" + name;
        struct stat st;
        if (::stat(path.c_str(), &st) != 0) continue;
        if (!Trusted(st)) {
            why = path + " is not a trusted file";
            return nullptr;
        }
        void* module = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
        if (!module) {
            const char* error = ::dlerror();
            why = error ? error : "cannot load " + path;
            return nullptr;
        }
        void* entry = ::dlsym(module, symbol);
        if (!entry) why = path + " has no " + symbol;
        return entry;
    }
    why = std::string(name) + " is not installed";
    return nullptr;
}

}  // namespace platform
}  // namespace orneh
