// The language of the user, and where its resource module lies.
#ifndef ORNLANG_LANGUAGE_CHOICE_H
#define ORNLANG_LANGUAGE_CHOICE_H

#include <cstddef>

#include "compat/OrnEhWinTypes.h"

namespace ornlang {

// "de" or "en": ORNLANG when set and not empty, else the first of LC_ALL,
// LC_MESSAGES and LANG that is set and not empty; a value beginning with
// "de" gives German, anything else (or nothing at all) English.
const char* ChooseLanguage();

// Loads ZKQTRNLANG101.<language>.res from the first place that holds a
// loadable one: ORNLANG_RESOURCE_DIR, the installed share/ZKQTRNLANG101/
// beside the language library, the executable's directory. The module's
// full path goes into path. Null when no place holds one.
HINSTANCE LoadLanguageModule(const char* language, char* path, std::size_t pathSize);

}  // namespace ornlang

#endif
