// What the library takes from the sibling language library: the language
// module's handle and file name, and its strings.
#ifndef ORNEH_MODULE_LANGUAGE_H
#define ORNEH_MODULE_LANGUAGE_H

#include <string>

#include "compat/OrnEhWinTypes.h"

namespace orneh {
namespace module {

// The language-dependent resource module (null when none was found).
HINSTANCE LanguageModule();

// The module's full path, valid for the life of the process; null when no
// module was found.
const char* LanguageModuleName();

// A copy of string id of the language module, to be released with
// OrnEhDeleteString: an empty text when the string does not exist, null only
// when memory runs out.
char* CopyLanguageString(unsigned int id);

// String id of the language module: empty when it does not exist (or memory
// runs out, which throws).
std::string LanguageText(unsigned int id);

}  // namespace module
}  // namespace orneh

#endif
