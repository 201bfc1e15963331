// OrnLanguageResManager: while it lives, the calling thread loads strings and
// dialog templates from the given module; its destructor restores the module
// that was current before. Create it on the stack.
#ifndef ORNLANG_RESMANAGER_H
#define ORNLANG_RESMANAGER_H

#include "OrnLangExport.h"
#include "compat/OrnEhWinTypes.h"

class ORNLANG_API OrnLanguageResManager {
public:
    explicit OrnLanguageResManager(HINSTANCE module);
    virtual ~OrnLanguageResManager();

private:
    OrnLanguageResManager(const OrnLanguageResManager&) = delete;
    OrnLanguageResManager& operator=(const OrnLanguageResManager&) = delete;

    HINSTANCE m_previous;
};

#endif
