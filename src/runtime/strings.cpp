// OrnEhCopyString / OrnEhDeleteString: the one pair for every owned text.
#include <cstring>

#include "OrnEh.h"
#include "base/alloc.h"

char* OrnEhCopyString(const char* const text) {
    if (!text) return nullptr;
    std::size_t size = std::strlen(text) + 1;
    char* copy = static_cast<char*>(orneh::base::Alloc(size));
    if (copy) std::memcpy(copy, text, size);
    return copy;
}

void OrnEhDeleteString(const char* const text) {
    orneh::base::Free(const_cast<char*>(text));
}
