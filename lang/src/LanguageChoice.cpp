#include "LanguageChoice.h"

#include <cstdio>
#include <cstdlib>

#include "OrnLangResource.h"
#include "resource/locate.h"

namespace ornlang {
namespace {

constexpr std::size_t kPathSize = 4096;

const char* NonEmptyEnv(const char* name) {
    const char* value = std::getenv(name);
    return value && *value ? value : nullptr;
}

bool IsGerman(const char* value) {
    return (value[0] == 'd' || value[0] == 'D') && (value[1] == 'e' || value[1] == 'E');
}

// Loads the module file name in directory dir (null or empty: no place).
HINSTANCE TryDirectory(const char* dir, const char* language, char* path, std::size_t pathSize) {
    if (!dir || !*dir) return nullptr;
    char candidate[kPathSize];
    int length = std::snprintf(candidate, sizeof candidate, "%s/ZKQTRNLANG101.%s.res", dir, language);
    if (length < 0 || static_cast<std::size_t>(length) >= sizeof candidate) return nullptr;
    if (!resource::CanonicalPath(candidate, path, pathSize)) return nullptr;
    return OrnResLoadModule(path);
}

}  // namespace

const char* ChooseLanguage() {
    const char* value = NonEmptyEnv("ORNLANG");
    if (!value) value = NonEmptyEnv("LC_ALL");
    if (!value) value = NonEmptyEnv("LC_MESSAGES");
    if (!value) value = NonEmptyEnv("LANG");
    return value && IsGerman(value) ? "de" : "en";
}

HINSTANCE LoadLanguageModule(const char* language, char* path, std::size_t pathSize) {
    HINSTANCE module = TryDirectory(NonEmptyEnv("ORNLANG_RESOURCE_DIR"), language, path, pathSize);
    if (module) return module;

    char dir[kPathSize];
    char share[kPathSize];
    if (resource::OwnLibraryDirectory(dir, sizeof dir)) {
        int length = std::snprintf(share, sizeof share, "%s/%s", dir, ORNLANG_SHARE_FROM_LIB);
        if (length > 0 && static_cast<std::size_t>(length) < sizeof share) {
            module = TryDirectory(share, language, path, pathSize);
            if (module) return module;
        }
    }
    if (resource::ExecutableDirectory(dir, sizeof dir)) {
        module = TryDirectory(dir, language, path, pathSize);
        if (module) return module;
    }
    if (pathSize > 0) path[0] = '\0';
    return nullptr;
}

}  // namespace ornlang
