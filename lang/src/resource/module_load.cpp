// Loading and releasing resource modules.
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "OrnLangResource.h"
#include "resource/file_read.h"
#include "resource/module.h"

namespace ornlang {
namespace resource {
namespace {

struct FreeDeleter {
    void operator()(void* block) const { std::free(block); }
};
template <typename T>
using HeapPtr = std::unique_ptr<T, FreeDeleter>;

// Indexes bytes (size bytes of content plus kTailPadding zeros) and wraps
// them into a module; takes ownership of bytes in every case.
HINSTANCE MakeModule(HeapPtr<std::uint8_t> bytes, std::size_t size, const char* path) {
    EntryList entries;
    bool parsed;
    if (LooksLikeResFile(bytes.get(), size)) {
        parsed = ParseResFile(bytes.get(), size, entries);
    } else if (LooksLikePeImage(bytes.get(), size)) {
        parsed = ParsePeImage(bytes.get(), size, entries);
    } else {
        errno = EINVAL;
        parsed = false;
    }
    if (!parsed) return nullptr;

    std::size_t pathLength = std::strlen(path);
    HeapPtr<char> pathCopy(static_cast<char*>(std::malloc(pathLength + 1)));
    HeapPtr<Module> module(static_cast<Module*>(std::malloc(sizeof(Module))));
    if (!pathCopy || !module) {
        errno = ENOMEM;
        return nullptr;
    }
    std::memcpy(pathCopy.get(), path, pathLength + 1);
    module->magic = kModuleMagic;
    module->path = pathCopy.release();
    module->bytes = bytes.release();
    module->size = size;
    module->entries = entries.Release(module->entryCount);
    RegisterLiveModule(module.get());
    return reinterpret_cast<HINSTANCE>(module.release());
}

}  // namespace

const Module* FromHandle(HINSTANCE handle) {
    auto* module = reinterpret_cast<const Module*>(handle);
    if (!module || module->magic != kModuleMagic) return nullptr;
    return module;
}

}  // namespace resource
}  // namespace ornlang

using namespace ornlang::resource;

HINSTANCE OrnResLoadModule(const char* path) {
    std::size_t size = 0;
    HeapPtr<std::uint8_t> bytes(ReadWholeFile(path, kTailPadding, size));
    if (!bytes) return nullptr;
    return MakeModule(std::move(bytes), size, path);
}

HINSTANCE OrnResLoadModuleFromMemory(const void* data, std::size_t size, const char* name) {
    if (!data && size > 0) {
        errno = EINVAL;
        return nullptr;
    }
    if (size > SIZE_MAX - kTailPadding) {
        errno = ENOMEM;
        return nullptr;
    }
    HeapPtr<std::uint8_t> bytes(static_cast<std::uint8_t*>(std::malloc(size + kTailPadding)));
    if (!bytes) {
        errno = ENOMEM;
        return nullptr;
    }
    if (size) std::memcpy(bytes.get(), data, size);
    std::memset(bytes.get() + size, 0, kTailPadding);
    return MakeModule(std::move(bytes), size, name ? name : "");
}

void OrnResFreeModule(HINSTANCE handle) {
    auto* module = const_cast<Module*>(FromHandle(handle));
    if (!module) return;
    UnregisterLiveModule(module);
    module->magic = 0;
    std::free(module->entries);
    std::free(module->bytes);
    std::free(module->path);
    std::free(module);
}

const char* OrnResModulePath(HINSTANCE handle) {
    const Module* module = FromHandle(handle);
    return module ? module->path : "";
}
