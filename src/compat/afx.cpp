// CObject, CRuntimeClass and the stock exceptions of the MFC layer.
#include <cstdio>
#include <cstring>

#include "compat/OrnEhAfx.h"
#include "OrnLangIds.h"
#include "OrnLangResource.h"
#include "OrnLanguagePublisher.h"

BOOL CRuntimeClass::IsDerivedFrom(const CRuntimeClass* pBaseClass) const {
    for (const CRuntimeClass* c = this; c; c = c->m_pBaseClass) {
        if (c == pBaseClass) return TRUE;
    }
    return FALSE;
}

CRuntimeClass CObject::classCObject = {"CObject", static_cast<int>(sizeof(CObject)), 0xFFFF,
                                       nullptr, nullptr};

CRuntimeClass* CObject::GetThisClass() { return &CObject::classCObject; }
CRuntimeClass* CObject::GetRuntimeClass() const { return &CObject::classCObject; }
CObject::CObject() = default;
CObject::~CObject() = default;
void CObject::Serialize(CArchive&) {}
void CObject::AssertValid() const {}
void CObject::Dump(CDumpContext&) const {}

BOOL CObject::IsKindOf(const CRuntimeClass* pClass) const {
    const CRuntimeClass* own = GetRuntimeClass();
    return own && pClass ? own->IsDerivedFrom(pClass) : FALSE;
}

namespace {
// String id of the language module into out, MFC-like: at most size - 1
// bytes and a terminator; TRUE if the text exists and is not empty.
BOOL CopyMessage(unsigned int id, char* out, UINT size) {
    if (!out || size == 0) return FALSE;
    HINSTANCE module = OrnLanguagePublisher::Instance()->GetLangDependentResource();
    return OrnResLoadString(module, id, out, size) > 0 ? TRUE : FALSE;
}
}  // namespace

IMPLEMENT_DYNAMIC(CException, CObject)

CException::CException() : m_bAutoDelete(TRUE) {}
CException::CException(BOOL bAutoDelete) : m_bAutoDelete(bAutoDelete) {}
CException::~CException() = default;

void CException::Delete() {
    if (m_bAutoDelete > 0) delete this;
}

BOOL CException::GetErrorMessage(char* lpszError, UINT nMaxError, UINT* pnHelpContext) {
    if (pnHelpContext) *pnHelpContext = 0;
    if (lpszError && nMaxError > 0) *lpszError = '\0';
    return FALSE;
}

int CException::ReportError(UINT, UINT) {
    char text[512];
    if (!GetErrorMessage(text, sizeof text, nullptr) || !*text) CopyMessage(IDS_EH_MFC_UNSUPPORTED, text, sizeof text);
    std::fprintf(stderr, "%s\n", text);
    return IDOK;
}

IMPLEMENT_DYNAMIC(CMemoryException, CException)

CMemoryException::CMemoryException() = default;
CMemoryException::CMemoryException(BOOL bAutoDelete) : CException(bAutoDelete) {}
CMemoryException::~CMemoryException() = default;

BOOL CMemoryException::GetErrorMessage(char* lpszError, UINT nMaxError, UINT* pnHelpContext) {
    if (pnHelpContext) *pnHelpContext = 0;
    return CopyMessage(IDS_EH_MFC_MEMORY, lpszError, nMaxError);
}

IMPLEMENT_DYNAMIC(CFileException, CException)

CFileException::CFileException(int cause, LONG lOsError) : m_cause(cause), m_lOsError(lOsError) {}
CFileException::~CFileException() = default;

BOOL CFileException::GetErrorMessage(char* lpszError, UINT nMaxError, UINT* pnHelpContext) {
    if (pnHelpContext) *pnHelpContext = 0;
    const int causes = IDS_EH_MFC_FILE_LAST - IDS_EH_MFC_FILE_FIRST + 1;
    const int cause = m_cause >= 0 && m_cause < causes ? m_cause : genericException;
    return CopyMessage(IDS_EH_MFC_FILE_FIRST + static_cast<unsigned int>(cause), lpszError, nMaxError);
}
