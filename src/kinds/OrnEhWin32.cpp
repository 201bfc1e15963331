// OrnEhWin32: a failed system call with the system's message as its text.
#include "OrnEhWin32.h"

#include "OrnEhLogFile.h"
#include "OrnLangIds.h"
#include "kinds/kind_support.h"
#include "module/language.h"
#include "compat/system_message.h"
#include "base/contained.h"

IMPLEMENT_DYNAMIC(OrnEhWin32, OrnEhBasis)

namespace {


// The error number, or the thread's last error read before the base class
// runs: registering the thread on its first use of the library may itself
// set the last error, and the error reported must be the caller's.
unsigned long ErrorOrLastError(unsigned long errorNo) {
    return errorNo != 0 ? errorNo : orneh::compat::GetLastError();
}

}  // namespace

OrnEhWin32::OrnEhWin32(const char* const source, const char* const method,
                       const char* const cause, unsigned long errorNo, unsigned long extraNo,
                       int push)
    : OrnEhBasis(source, nullptr, method, cause, ErrorOrLastError(errorNo), 0, 0, nullptr, 0,
                 extraNo, push),
      m_kindData(nullptr) {
    orneh::Contained([&] {
        SetErrorTextNo(GetErrorNo());
    });
}

OrnEhWin32::~OrnEhWin32() {
    CheckBeforeDelete();  // has its own catch-all
    m_kindData = nullptr;
}

void OrnEhWin32::Log(OrnEhLogFile& file) const {
    orneh::Contained([&] {
        LogKindHead(file, "OrnEhWin32");
    });
}

char* OrnEhWin32::GetErrorTextInfo(void*, unsigned long textNo, unsigned long& messageType,
                                   unsigned long& captionNo, short& logFlag,
                                   short& showFlag) const {
    orneh::kinds::SetOwnTextPresentation(messageType, captionNo, logFlag, showFlag);
    return orneh::compat::SystemMessage(textNo);
}

void OrnEhWin32::FreeErrorText(char* text) const { OrnEhDeleteString(text); }

char* OrnEhWin32::GetCaptionText(void*, unsigned long) const {
    return orneh::Contained(nullptr, [&] {
        return orneh::module::CopyLanguageString(IDS_EH_WIN32_CAPTION);
    });
}

void OrnEhWin32::FreeCaptionText(char* text) const { OrnEhDeleteString(text); }
