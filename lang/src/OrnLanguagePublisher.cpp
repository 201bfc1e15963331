// The process-wide language publisher. It is made on first use and lives
// until the process ends (the error handling of other libraries may still
// ask for it while the process shuts down), so it is never destroyed.
#include "OrnLanguagePublisher.h"

#include <cstring>
#include <exception>
#include <new>

#include "LanguageChoice.h"
#include "OrnLangResource.h"

namespace {

constexpr std::size_t kPathSize = 4096;

const char* Other(const char* language) { return std::strcmp(language, "de") == 0 ? "en" : "de"; }

alignas(OrnLanguagePublisher) unsigned char g_storage[sizeof(OrnLanguagePublisher)];

}  // namespace

// The user's language is searched in every place first; only when no place
// holds its module is the other language taken, so that the user still
// gets texts and a dialog. GetLanguage() then names the language loaded.
OrnLanguagePublisher::OrnLanguagePublisher() : m_module(nullptr), m_language("en") {
    try {
        const char* language = ornlang::ChooseLanguage();
        char path[kPathSize];
        m_module = ornlang::LoadLanguageModule(language, path, sizeof path);
        if (!m_module) {
            m_module = ornlang::LoadLanguageModule(Other(language), path, sizeof path);
            if (m_module) language = Other(language);
        }
        m_language = language;
        if (m_module) m_moduleName = path;
    } catch (...) {
        if (!std::current_exception()) throw;  // the unwind that ends the thread
        // Only the copy of the path can fail; the module is kept either way.
    }
}

OrnLanguagePublisher::~OrnLanguagePublisher() { OrnResFreeModule(m_module); }

OrnLanguagePublisher* OrnLanguagePublisher::Instance() {
    static OrnLanguagePublisher* const instance = new (g_storage) OrnLanguagePublisher();
    return instance;
}

namespace {

// Made when the library loads, in the loading thread: the environment is
// read once, before any other thread can change it, and no thread is ever
// inside the first call when a process forks (a child would wait for it for
// ever).
struct CreatedAtLoad {
    CreatedAtLoad() { OrnLanguagePublisher::Instance(); }
};
CreatedAtLoad g_createdAtLoad;

}  // namespace

HINSTANCE OrnLanguagePublisher::GetLangDependentResource() const { return m_module; }

const CString& OrnLanguagePublisher::GetLangDependentResourceName() const { return m_moduleName; }

const char* OrnLanguagePublisher::GetLanguage() const { return m_language; }
