// Which loaded module an address lies in, told apart from every other module
// the process had or will have: its path, the offset into it, and its build
// id as the loaded image carries it. Lock-free and without allocating, so
// safe in a signal handler and while the faulting thread may hold the
// loader's lock.
#ifndef ORNEH_PLATFORM_MODULE_IDENTITY_H
#define ORNEH_PLATFORM_MODULE_IDENTITY_H

#include <cstddef>
#include <cstdint>

namespace orneh {
namespace platform {

const std::size_t kMaxBuildIdBytes = 64;

struct ModuleIdentity {
    const char* path;       // as the loader knows it (the executable's from /proc)
    std::uintptr_t offset;  // the address relative to the load base
    unsigned char buildId[kMaxBuildIdBytes];
    std::size_t buildIdLength;  // 0: none found
    // Equal for two addresses of one module image: a hash of the build id,
    // else of the path and the load base. Never 0.
    std::uint64_t key;
};

// False when no module holds address.
bool IdentifyModule(std::uintptr_t address, ModuleIdentity& out) noexcept;

}  // namespace platform
}  // namespace orneh

#endif
