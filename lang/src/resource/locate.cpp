#include "resource/locate.h"

#include <dlfcn.h>
#include <limits.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstring>

namespace ornlang {
namespace resource {
namespace {

// Copies the directory part of path (up to its last '/') into out.
bool DirectoryOf(const char* path, std::size_t length, char* out, std::size_t size) {
    const char* slash = nullptr;
    for (std::size_t i = 0; i < length; ++i) {
        if (path[i] == '/') slash = path + i;
    }
    if (!slash) return false;
    std::size_t dirLength = slash == path ? 1 : static_cast<std::size_t>(slash - path);
    if (dirLength + 1 > size) return false;
    std::memcpy(out, path, dirLength);
    out[dirLength] = '\0';
    return true;
}

}  // namespace

bool OwnLibraryDirectory(char* out, std::size_t size) {
    Dl_info info;
    if (!::dladdr(reinterpret_cast<void*>(&OwnLibraryDirectory), &info) || !info.dli_fname) return false;
    char resolved[PATH_MAX];
    const char* path = ::realpath(info.dli_fname, resolved) ? resolved : info.dli_fname;
    return DirectoryOf(path, std::strlen(path), out, size);
}

bool ExecutableDirectory(char* out, std::size_t size) {
    char path[PATH_MAX];
    ssize_t length = ::readlink("/proc/self/exe", path, sizeof path);
    if (length <= 0 || static_cast<std::size_t>(length) >= sizeof path) return false;
    return DirectoryOf(path, static_cast<std::size_t>(length), out, size);
}

bool CanonicalPath(const char* path, char* out, std::size_t size) {
    char resolved[PATH_MAX];
    if (!::realpath(path, resolved)) return false;
    std::size_t length = std::strlen(resolved);
    if (length + 1 > size) return false;
    std::memcpy(out, resolved, length + 1);
    return true;
}

}  // namespace resource
}  // namespace ornlang
