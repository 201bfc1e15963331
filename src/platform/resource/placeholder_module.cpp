// TEMPORARY scaffolding until the resource-module loader lands: every lookup
// finds nothing. To be replaced by the real loader.
#include <cerrno>

#include "OrnLangResource.h"
#include "OrnLanguagePublisher.h"

HINSTANCE OrnResLoadModule(const char*) { errno = ENOSYS; return nullptr; }
void OrnResFreeModule(HINSTANCE) {}
const char* OrnResModulePath(HINSTANCE) { return ""; }
const void* OrnResFind(HINSTANCE, unsigned int, unsigned int, std::size_t*) { return nullptr; }
const void* OrnResFindNamed(HINSTANCE, const char*, unsigned int, std::size_t*) { return nullptr; }
long OrnResLoadString(HINSTANCE, unsigned int, char* buffer, std::size_t size) {
    if (buffer && size) buffer[0] = 0;
    return -1;
}
bool OrnResLoadDialog(HINSTANCE, unsigned int, OrnResDialog&) { return false; }

OrnLanguagePublisher::OrnLanguagePublisher() : m_module(nullptr), m_language("en") {}
OrnLanguagePublisher::~OrnLanguagePublisher() = default;
OrnLanguagePublisher* OrnLanguagePublisher::Instance() {
    static OrnLanguagePublisher* instance = new OrnLanguagePublisher();
    return instance;
}
HINSTANCE OrnLanguagePublisher::GetLangDependentResource() const { return m_module; }
const CString& OrnLanguagePublisher::GetLangDependentResourceName() const { return m_moduleName; }
const char* OrnLanguagePublisher::GetLanguage() const { return m_language; }
