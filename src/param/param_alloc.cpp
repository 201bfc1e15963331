// OrnEhParam's class allocation: through the library's allocation seam, null
// instead of an exception when memory runs out.
#include "OrnEhParam.h"
#include "base/alloc.h"

void* OrnEhParam::operator new(std::size_t size) noexcept {
    return orneh::base::Alloc(size);
}

void* OrnEhParam::operator new(std::size_t size, char* /*file*/, int /*line*/) noexcept {
    return orneh::base::Alloc(size);
}

void OrnEhParam::operator delete(void* p) noexcept { orneh::base::Free(p); }

void OrnEhParam::operator delete(void* p, char* /*file*/, int /*line*/) noexcept {
    orneh::base::Free(p);
}
