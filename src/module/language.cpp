#include "module/language.h"

#include "OrnEh.h"
#include "OrnLangResource.h"
#include "OrnLanguagePublisher.h"
#include "OrnLanguageResManager.h"
#include "base/alloc.h"

namespace orneh {
namespace module {

HINSTANCE LanguageModule() {
    return OrnLanguagePublisher::Instance()->GetLangDependentResource();
}

const char* LanguageModuleName() {
    const char* name = OrnLanguagePublisher::Instance()->GetLangDependentResourceName();
    return name && *name ? name : nullptr;
}

char* CopyLanguageString(unsigned int id) {
    // While the manager lives, the thread's string loading uses the language
    // module, as for every other string the library loads.
    OrnLanguageResManager manager(LanguageModule());
    HINSTANCE module = OrnResGetThreadModule();
    long length = OrnResLoadString(module, id, nullptr, 0);
    if (length < 0) length = 0;
    std::size_t size = static_cast<std::size_t>(length) + 1;
    char* copy = static_cast<char*>(base::Alloc(size));
    if (!copy) return nullptr;
    copy[0] = '\0';
    if (length > 0) OrnResLoadString(module, id, copy, size);
    return copy;
}

std::string LanguageText(unsigned int id) {
    HINSTANCE module = LanguageModule();
    const long length = OrnResLoadString(module, id, nullptr, 0);
    if (length <= 0) return std::string();
    std::string text(static_cast<std::size_t>(length), '\0');
    OrnResLoadString(module, id, &text[0], text.size() + 1);
    return text;
}

}  // namespace module
}  // namespace orneh
