// OrnEhMemory: the reserve exception for failed allocations.
#include "OrnEhMemory.h"

#include "OrnEhLogFile.h"
#include "OrnLangIds.h"
#include "kinds/kind_support.h"
#include "module/language.h"
#include "base/contained.h"

IMPLEMENT_DYNAMIC(OrnEhMemory, OrnEhBasis)

OrnEhMemory::OrnEhMemory() : OrnEhBasis(), m_size(0) {
    // Delete() must never free the reserve: only the administration does.
    m_bAutoDelete = FALSE;
    SetErrorTextNo(1);
}

OrnEhMemory::~OrnEhMemory() {
    CheckBeforeDelete();  // has its own catch-all
}

void OrnEhMemory::SetSize(unsigned int size) { m_size = size; }

void OrnEhMemory::SetRequestedSize(unsigned long size) { m_size = size; }

void OrnEhMemory::Log(OrnEhLogFile& file) const {
    orneh::Contained([&] {
        LogKindHead(file, "OrnEhMemory");
        file << "Gr\xF6\xDF" "e des angeforderten Speichers:" << m_size << "\r\n";
    });
}

char* OrnEhMemory::GetErrorTextInfo(void*, unsigned long, unsigned long& messageType,
                                    unsigned long& captionNo, short& logFlag,
                                    short& showFlag) const {
    return orneh::Contained(nullptr, [&] {
        orneh::kinds::SetOwnTextPresentation(messageType, captionNo, logFlag, showFlag);
        return orneh::module::CopyLanguageString(IDS_EH_MEMORY_TEXT);
    });
}

void OrnEhMemory::FreeErrorText(char* text) const { OrnEhDeleteString(text); }

char* OrnEhMemory::GetCaptionText(void*, unsigned long) const {
    return orneh::Contained(nullptr, [&] {
        return orneh::module::CopyLanguageString(IDS_EH_MEMORY_CAPTION);
    });
}

void OrnEhMemory::FreeCaptionText(char* text) const { OrnEhDeleteString(text); }
