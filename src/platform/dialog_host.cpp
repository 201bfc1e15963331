#include "platform/dialog_host.h"

#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "posix_io.h"

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

bool WriteWholeFile(const char* path, const char* data, std::size_t size) noexcept {
    const int fd = ornlang::posix::OpenNoInt(path, O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) return false;
    // Exclusive while written; the file is cut only once it is held.
    const bool ok = ::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::ftruncate(fd, 0) == 0 &&
                    ornlang::posix::WriteFull(fd, data, size);
    if (!ok) {
        ornlang::posix::CloseKeepingErrno(fd);
        return false;
    }
    // A failing close can be the first report of a failed write.
    return ornlang::posix::CloseNoInt(fd) == 0;
}

const char* ProgramName() noexcept { return program_invocation_short_name; }

bool DisplayNamed() noexcept {
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    const char* x11 = std::getenv("DISPLAY");
    return (wayland && *wayland) || (x11 && *x11);
}

bool HasControllingTerminal() noexcept {
    int fd = ::open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return false;
    ::close(fd);
    return true;
}

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
