// OrnEhCLib: a failed runtime-library call; texts from tables 381 and 382 of
// the language module.
#include "OrnEhCLib.h"

#include "OrnEhLogFile.h"
#include "OrnLangIds.h"
#include "module/language.h"
#include "base/contained.h"

IMPLEMENT_DYNAMIC(OrnEhCLib, OrnEhBasis)

OrnEhCLib::OrnEhCLib(const char* const source, const char* const method, const char* const cause,
                     unsigned long errorNo, unsigned long extraNo, int push)
    : OrnEhBasis(source, nullptr, method, cause, errorNo, 1, 0, nullptr, 0, extraNo, push),
      m_kindData(nullptr) {}

OrnEhCLib::~OrnEhCLib() {
    CheckBeforeDelete();  // has its own catch-all
    m_kindData = nullptr;
}

void OrnEhCLib::Log(OrnEhLogFile& file) const {
    orneh::Contained([&] {
        LogKindHead(file, "OrnEhCLib");
    });
}

const char* OrnEhCLib::GetResourceModulname() const { return orneh::module::LanguageModuleName(); }

unsigned long OrnEhCLib::GetResIdForTextInfo() const { return IDR_EH_CLIB_TEXTS; }

unsigned long OrnEhCLib::GetResIdForCaption() const { return IDR_EH_CLIB_CAPTIONS; }
