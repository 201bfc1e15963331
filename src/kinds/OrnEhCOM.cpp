// OrnEhCOM: a COM failure, copied out of its _com_error.
#include "OrnEhCOM.h"

#include <cstdint>

#include "OrnEhLogFile.h"
#include "OrnLangIds.h"
#include "kinds/kind_support.h"
#include "module/language.h"
#include "base/alloc.h"
#include "base/contained.h"

IMPLEMENT_DYNAMIC(OrnEhCOM, OrnEhBasis)

struct ComErrorData {
    HRESULT hresult;
    char* description;
    unsigned long helpContext;
    char* helpFile;
    char* source;
    GUID interfaceId;
    char* errorMessage;
};

namespace {


// A copy of a text, or null for an empty one.
char* CopyIfAny(const char* text) { return text && *text ? OrnEhCopyString(text) : nullptr; }

void FreeData(ComErrorData* data) {
    if (!data) return;
    OrnEhDeleteString(data->description);
    OrnEhDeleteString(data->helpFile);
    OrnEhDeleteString(data->source);
    OrnEhDeleteString(data->errorMessage);
    orneh::base::Free(data);
}

ComErrorData* CopyFrom(const _com_error& error) {
    auto* data = static_cast<ComErrorData*>(orneh::base::AllocZeroed(sizeof(ComErrorData)));
    if (!data) return nullptr;
    data->interfaceId = GUID_NULL;
    const bool filled = orneh::Contained(false, [&] {
        data->hresult = error.Error();
        data->helpContext = error.HelpContext();
        data->description = CopyIfAny(error.Description());
        data->helpFile = CopyIfAny(error.HelpFile());
        data->source = CopyIfAny(error.Source());
        data->interfaceId = error.GUID();
        data->errorMessage = CopyIfAny(error.ErrorMessage());
        return true;
    });
    if (filled) return data;
    FreeData(data);
    return nullptr;
}

}  // namespace

OrnEhCOM::OrnEhCOM(const _com_error& error, int push)
    : OrnEhBasis(nullptr, nullptr, nullptr, nullptr, 0, 0, 0, nullptr, 0, 0, push), m_data(nullptr) {
    orneh::Contained([&] {
        SetErrorTextNo(1);
        SetErrorNo(static_cast<unsigned long>(static_cast<std::uint32_t>(error.Error())));
        m_data = CopyFrom(error);
    });
}

OrnEhCOM::~OrnEhCOM() {
    CheckBeforeDelete();  // has its own catch-all
    FreeData(m_data);
    m_data = nullptr;
}

void OrnEhCOM::Log(OrnEhLogFile& file) const {
    orneh::Contained([&] {
        LogKindHead(file, "OrnEhCOM");
        if (!m_data) return;
        orneh::kinds::WriteHexLine(file, "HRESULT: ", static_cast<std::uint32_t>(m_data->hresult));
        file << "Description: " << m_data->description << "\r\n";
        file << "HelpContext: " << m_data->helpContext << "\r\n";
        file << "HelpFile: " << m_data->helpFile << "\r\n";
        file << "Source: " << m_data->source << "\r\n";
        file << "ErrorMessage: " << m_data->errorMessage << "\r\n";
        const GUID& id = m_data->interfaceId;
        file << "Interface-ID: ";
        file.WriteHex(id.Data1);
        file << "-";
        file.WriteHex(id.Data2);
        file << "-";
        file.WriteHex(id.Data3);
        file << "-";
        file.WriteHex(id.Data4[0]);
        file.WriteHex(id.Data4[1]);
        file << "-";
        for (int i = 2; i < 8; ++i) file.WriteHex(id.Data4[i]);
        file << "\r\n";
    });
}

char* OrnEhCOM::GetErrorTextInfo(void*, unsigned long, unsigned long& messageType,
                                 unsigned long& captionNo, short& logFlag,
                                 short& showFlag) const {
    orneh::kinds::SetOwnTextPresentation(messageType, captionNo, logFlag, showFlag);
    if (!m_data) return nullptr;
    return m_data->description ? m_data->description : m_data->errorMessage;
}

char* OrnEhCOM::GetCaptionText(void*, unsigned long) const {
    return orneh::Contained(nullptr, [&] {
        return orneh::module::CopyLanguageString(IDS_EH_COM_CAPTION);
    });
}

void OrnEhCOM::FreeCaptionText(char* text) const { OrnEhDeleteString(text); }
