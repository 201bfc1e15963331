// The entry function of a dialog backend module (see dialog/backend.h),
// written once for every module: the arguments are checked and nothing is
// thrown out of it. A module defines it with the function that makes its
// backend:
//
//   ORNEH_DIALOG_MODULE_ENTRY(MakeBackend)
//
// where Backend* MakeBackend(const ModuleTexts& texts, std::string& why)
// gives the backend, or null with a reason in why. It is called each time
// the library asks (the library asks once).
#ifndef ORNEH_DIALOG_MODULE_ENTRY_H
#define ORNEH_DIALOG_MODULE_ENTRY_H

#include <cstddef>
#include <cstdio>
#include <string>

#include "dialog/backend.h"

namespace orneh {
namespace dialog {

template <class Make>
Backend* EnterModule(unsigned int abiVersion, const ModuleTexts* texts, char* why, std::size_t whySize,
                     Make make) noexcept {
    Backend* backend = nullptr;
    const char* fixed = nullptr;  // a reason that needs no memory
    std::string reason;
    if (abiVersion != kBackendAbiVersion) {
        fixed = "the module was built for another library version";
    } else if (!texts) {
        fixed = "the module was given no texts";
    } else {
        try {
            backend = make(*texts, reason);
        } catch (...) {
            backend = nullptr;
            fixed = "the module could not start (out of memory)";
        }
    }
    if (!backend && why && whySize > 0) std::snprintf(why, whySize, "%s", fixed ? fixed : reason.c_str());
    return backend;
}

}  // namespace dialog
}  // namespace orneh

#define ORNEH_DIALOG_MODULE_ENTRY(make)                                                                     \
    extern "C" __attribute__((visibility("default"))) orneh::dialog::Backend* ZKQTRNEH113_DialogBackend(  \
        unsigned int abiVersion, const orneh::dialog::ModuleTexts* texts, char* why, std::size_t whySize) { \
        return orneh::dialog::EnterModule(abiVersion, texts, why, whySize, make);                           \
    }

#endif
