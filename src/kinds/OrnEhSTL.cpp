// OrnEhSTL: a standard-library exception wrapped into the family.
#include "OrnEhSTL.h"

#include "OrnEhLogFile.h"
#include "OrnLangIds.h"
#include "kinds/kind_support.h"
#include "module/language.h"
#include "base/alloc.h"
#include "base/contained.h"

IMPLEMENT_DYNAMIC(OrnEhSTL, OrnEhBasis)

struct StlErrorData {
    char* what;
};

OrnEhSTL::OrnEhSTL(const std::exception& wrapped, int push)
    : OrnEhBasis(nullptr, nullptr, nullptr, nullptr, 0, 0, 0, nullptr, 0, 0, push), m_data(nullptr) {
    orneh::Contained([&] {
        SetErrorTextNo(1);
        StlErrorData* data = orneh::base::New<StlErrorData>();
        if (!data) return;
        data->what = OrnEhCopyString(wrapped.what());
        m_data = data;
    });
}

OrnEhSTL::~OrnEhSTL() {
    CheckBeforeDelete();  // has its own catch-all
    if (m_data) OrnEhDeleteString(m_data->what);
    orneh::base::Delete(m_data);
    m_data = nullptr;
}

void OrnEhSTL::Log(OrnEhLogFile& file) const {
    orneh::Contained([&] {
        LogKindHead(file, "OrnEhSTL");
        if (m_data) file << "What: " << m_data->what << "\r\n";
    });
}

char* OrnEhSTL::GetErrorTextInfo(void*, unsigned long, unsigned long& messageType,
                                 unsigned long& captionNo, short& logFlag,
                                 short& showFlag) const {
    orneh::kinds::SetOwnTextPresentation(messageType, captionNo, logFlag, showFlag);
    return m_data ? m_data->what : nullptr;
}

char* OrnEhSTL::GetCaptionText(void*, unsigned long) const {
    return orneh::Contained(nullptr, [&] {
        return orneh::module::CopyLanguageString(IDS_EH_STL_CAPTION);
    });
}

void OrnEhSTL::FreeCaptionText(char* text) const { OrnEhDeleteString(text); }
