// OrnEhCopyString / OrnEhDeleteString: the one pair for every owned text.
#include <cstring>

#include "OrnEh.h"
#include "platform/alloc.h"

char* OrnEhCopyString(const char* const text) {
    if (!text) return nullptr;
    std::size_t size = std::strlen(text) + 1;
    char* copy = static_cast<char*>(orneh::platform::Alloc(size));
    if (copy) std::memcpy(copy, text, size);
    return copy;
}

void OrnEhDeleteString(const char* const text) {
    orneh::platform::Free(const_cast<char*>(text));
}
