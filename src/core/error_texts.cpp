// Error texts: the base hooks that find a text and caption in the tables of
// a resource module, filling a text's inserts, and GetErrorMessage.
#include <cstdio>
#include <cstring>

#include "OrnEhBasis.h"
#include "OrnEhParam.h"
#include "OrnLangResource.h"
#include "core/basis_info.h"
#include "core/text_tables.h"
#include "compat/format_message.h"
#include "runtime/admin.h"
#include "runtime/boundary.h"

const char* OrnEhBasis::GetResourceModulname() const { return nullptr; }

unsigned long OrnEhBasis::GetResIdForTextInfo() const { return 0; }

unsigned long OrnEhBasis::GetResIdForCaption() const { return 0; }

HINSTANCE OrnEhBasis::LoadResourceModule(const char* const name) const {
    return orneh::Contained(nullptr, [&] {
        return name ? OrnResLoadModule(name) : nullptr;
    });
}

void OrnEhBasis::FreeResourceModule(HINSTANCE const module) const {
    if (module) OrnResFreeModule(module);
}

void* OrnEhBasis::GetResourceEntry(unsigned long resId, HINSTANCE& module) const {
    return orneh::Contained(nullptr, [&]() -> void* {
        if (!module || resId == 0) return nullptr;
        char name[24];
        std::snprintf(name, sizeof name, "#%lu", resId);
        std::size_t size = 0;
        const void* data = OrnResFindNamed(module, name, ORN_RT_RCDATA, &size);
        // An empty resource holds no table; its address is where the next
        // entry's header begins, which no walk could tell from a table.
        return size > 0 ? const_cast<void*>(data) : nullptr;
    });
}

void OrnEhBasis::FreeResourceEntry(void* const) const {}

char* OrnEhBasis::GetErrorTextInfo(void* entry, unsigned long textNo, unsigned long& messageType,
                                   unsigned long& captionNo, short& logFlag,
                                   short& showFlag) const {
    return orneh::Contained(nullptr, [&]() -> char* {
        orneh::core::TextRecord record;
        if (!orneh::core::FindTextRecord(entry, orneh::core::TableBytes(entry), textNo, record)) {
            return nullptr;
        }
        captionNo = record.captionNo;
        messageType = record.messageType;
        showFlag = record.showFlag;
        logFlag = record.logFlag;
        return const_cast<char*>(record.text);
    });
}

void OrnEhBasis::FreeErrorText(char*) const {}

char* OrnEhBasis::GetCaptionText(void* entry, unsigned long captionNo) const {
    return orneh::Contained(nullptr, [&] {
        return const_cast<char*>(
            orneh::core::FindCaption(entry, orneh::core::TableBytes(entry), captionNo));
    });
}

void OrnEhBasis::FreeCaptionText(char*) const {}

namespace {

// A parameter list's slots as insert arguments (none without slots); an
// empty slot inserts nothing.
const char* FormatWithSlots(const char* text, char** slots, unsigned short count) {
    if (!text) return text;
    char* formatted = orneh::compat::FormatInserts(text, slots, slots ? count : 0, "", nullptr);
    return formatted ? formatted : text;
}

}  // namespace

const char* OrnEhBasis::FormatErrorText(const char* const text) {
    return orneh::Contained(text, [&] {
        const OrnEhParam* params = m_info ? m_info->params : nullptr;
        unsigned short count = 0;
        char** slots = params ? params->GetParamArray(&count) : nullptr;
        return FormatWithSlots(text, slots, count);
    });
}

const char* OrnEhBasis::FormatErrorText(const char* const text, const OrnEhParam& params) {
    return orneh::Contained(text, [&] {
        unsigned short count = 0;
        char** slots = params.GetParamArray(&count);
        return FormatWithSlots(text, slots, count);
    });
}

int OrnEhBasis::GetErrorMessage(char* buffer, unsigned int maxLength, unsigned int*) {
    HINSTANCE module = nullptr;
    OrnEhBasis* e = nullptr;
    char* text = nullptr;
    int result = FALSE;
    orneh::Boundary([&] {
        e = GetLast();
        while (e && e->GetErrorTextNo() == 0) e = e->GetPrev();
        if (!e) return;
        void* entry = nullptr;
        if (const char* name = e->GetResourceModulname()) {
            module = e->LoadResourceModule(name);
            entry = e->GetResourceEntry(e->GetResIdForTextInfo(), module);
        }
        unsigned long messageType = 0, captionNo = 0;
        short logFlag = 0, showFlag = 0;
        text = e->GetErrorTextInfo(entry, e->GetErrorTextNo(), messageType, captionNo, logFlag,
                                   showFlag);
        if (text && *text) {
            const char* formatted = e->FormatErrorText(text);
            if (buffer && maxLength > 0) {
                std::size_t length = std::strlen(formatted);
                if (length > maxLength - 1) length = maxLength - 1;
                std::memcpy(buffer, formatted, length);
                buffer[length] = '\0';
            }
            if (formatted != text) OrnEhDeleteString(formatted);
            result = TRUE;
        }
    });
    // The release hook of the exception that handed the text out.
    if (e) orneh::Contained([e, text] { e->FreeErrorText(text); });
    if (module) OrnResFreeModule(module);
    return result;
}
