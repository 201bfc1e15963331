// Reading a whole file into a heap block, for loading modules as data.
#ifndef ORNLANG_RESOURCE_FILE_READ_H
#define ORNLANG_RESOURCE_FILE_READ_H

#include <cstddef>
#include <cstdint>

namespace ornlang {
namespace resource {

// Reads the regular file at path into a new std::malloc block followed by
// padding zero bytes; size receives the file's length. Null on failure,
// with errno set (ENOENT, EACCES, EISDIR, EFBIG, ENOMEM ...).
std::uint8_t* ReadWholeFile(const char* path, std::size_t padding, std::size_t& size);

}  // namespace resource
}  // namespace ornlang

#endif
