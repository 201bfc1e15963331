// OrnLanguagePublisher: chooses the user's language once per process and
// provides the resource module of that language.
//
// Language: ORNLANG if set, else LC_ALL / LC_MESSAGES / LANG ("de..." gives
// German, anything else English). Module ZKQTRNLANG101.<lang>.res is searched
// in ORNLANG_RESOURCE_DIR, then in the installed share/ZKQTRNLANG101/, then
// beside the executable.
//
// Thread safety: Instance() may be called from any thread; the publisher is
// immutable once made.
#ifndef ORNLANG_PUBLISHER_H
#define ORNLANG_PUBLISHER_H

#include "OrnLangExport.h"
#include "compat/OrnEhCString.h"
#include "compat/OrnEhWinTypes.h"

class ORNLANG_API OrnLanguagePublisher {
public:
    // The process-wide publisher; never null.
    static OrnLanguagePublisher* Instance();

    // The loaded module of the user's language; null when none was found.
    HINSTANCE GetLangDependentResource() const;
    // The full path of that module; empty when none was found. The string
    // lives as long as the process.
    const CString& GetLangDependentResourceName() const;
    // "de" or "en".
    const char* GetLanguage() const;

private:
    OrnLanguagePublisher();
    ~OrnLanguagePublisher();
    OrnLanguagePublisher(const OrnLanguagePublisher&) = delete;
    OrnLanguagePublisher& operator=(const OrnLanguagePublisher&) = delete;

    HINSTANCE m_module;
    CString m_moduleName;
    const char* m_language;
};

#endif
