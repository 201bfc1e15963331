// OrnEhMFC: an MFC exception wrapped into the family.
#include "OrnEhMFC.h"

#include "OrnEhLogFile.h"
#include "kinds/kind_support.h"
#include "base/alloc.h"
#include "base/contained.h"

IMPLEMENT_DYNAMIC(OrnEhMFC, OrnEhBasis)

struct MfcErrorData {
    char text[1024];
    char* className;
};

namespace {

void FreeData(MfcErrorData* data) {
    if (!data) return;
    OrnEhDeleteString(data->className);
    orneh::base::Free(data);
}

// The wrapped exception's message and class name; null when the record cannot
// be made or filling it fails.
MfcErrorData* CopyFrom(CException* wrapped) {
    MfcErrorData* data = static_cast<MfcErrorData*>(orneh::base::Alloc(sizeof(MfcErrorData)));
    if (!data) return nullptr;
    data->text[0] = '\0';
    data->className = nullptr;
    const bool filled = orneh::Contained(false, [&] {
        if (wrapped) {
            wrapped->GetErrorMessage(data->text, sizeof data->text, nullptr);
            data->text[sizeof data->text - 1] = '\0';
            if (const CRuntimeClass* runtimeClass = wrapped->GetRuntimeClass()) {
                data->className = OrnEhCopyString(runtimeClass->m_lpszClassName);
            }
        }
        return true;
    });
    if (filled) return data;
    FreeData(data);
    return nullptr;
}

}  // namespace

OrnEhMFC::OrnEhMFC(CException* const wrapped, int autoDelete, int push)
    : OrnEhBasis(nullptr, nullptr, nullptr, nullptr, 0, 0, 0, nullptr, 0, 0, push), m_data(nullptr) {
    orneh::Contained([&] {
        SetErrorTextNo(1);
        m_data = CopyFrom(wrapped);
        // After the copy, so that it is taken from the living object.
        if (autoDelete && wrapped) wrapped->Delete();
    });
}

OrnEhMFC::~OrnEhMFC() {
    CheckBeforeDelete();  // has its own catch-all
    FreeData(m_data);
    m_data = nullptr;
}

void OrnEhMFC::Log(OrnEhLogFile& file) const {
    orneh::Contained([&] {
        LogKindHead(file, "OrnEhMFC");
        if (!m_data) return;
        file << "MFC-Exceptionklasse: " << m_data->className << "\r\n";
        file << "MFC-Fehlertext: " << m_data->text << "\r\n";
    });
}

char* OrnEhMFC::GetErrorTextInfo(void*, unsigned long, unsigned long& messageType,
                                 unsigned long& captionNo, short& logFlag,
                                 short& showFlag) const {
    orneh::kinds::SetOwnTextPresentation(messageType, captionNo, logFlag, showFlag);
    return m_data ? m_data->text : nullptr;
}

char* OrnEhMFC::GetCaptionText(void*, unsigned long) const { return const_cast<char*>("MFC"); }
