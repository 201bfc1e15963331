// Where the language library and the running program lie in the file
// system, for finding resource modules installed beside them.
#ifndef ORNLANG_RESOURCE_LOCATE_H
#define ORNLANG_RESOURCE_LOCATE_H

#include <cstddef>

namespace ornlang {
namespace resource {

// The directory of the shared library (or program) that contains this
// code, without a trailing '/'. False when unknown or when out is too small.
bool OwnLibraryDirectory(char* out, std::size_t size);

// The directory of the running program's executable file.
bool ExecutableDirectory(char* out, std::size_t size);

// The absolute path of an existing file with "..", "." and symbolic links
// resolved; false when the file does not exist or out is too small.
bool CanonicalPath(const char* path, char* out, std::size_t size);

}  // namespace resource
}  // namespace ornlang

#endif
