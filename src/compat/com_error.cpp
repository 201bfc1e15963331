#include <cstdio>
#include <cstring>

#include "compat/OrnEhComDef.h"
#include "base/alloc.h"
#include "compat/system_message.h"

_com_error::_com_error(HRESULT hr, const IErrorInfo* info) : m_hresult(hr) {
    if (!info) return;
    m_description = info->GetDescription();
    m_source = info->GetSource();
    m_helpFile = info->GetHelpFile();
    m_helpContext = info->GetHelpContext();
    m_guid = info->GetGUID();
}

_com_error::~_com_error() = default;

const char* _com_error::ErrorMessage() const {
    if (!m_message.empty()) return m_message.c_str();
    if (char* system = orneh::compat::HresultMessage(m_hresult)) {
        std::size_t length = std::strlen(system);
        if (length > 0 && system[length - 1] == '\n') --length;
        if (length > 0 && system[length - 1] == '\r') --length;
        m_message.assign(system, length);
        orneh::base::Free(system);
        if (!m_message.empty()) return m_message.c_str();
    }
    char text[64];
    auto value = static_cast<unsigned long>(static_cast<DWORD>(m_hresult));
    if (value >= 0x80040200ul && value <= 0x8004FFFFul) {
        std::snprintf(text, sizeof text, "IDispatch error #%d", static_cast<int>(value - 0x80040200ul));
    } else {
        std::snprintf(text, sizeof text, "Unknown error 0x%0lX", value);
    }
    m_message = text;
    return m_message.c_str();
}
