// CObject, CRuntimeClass and the stock exceptions of the MFC layer.
#include <cstdio>
#include <cstring>

#include "compat/OrnEhAfx.h"

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
// MFC semantics: copy at most size - 1 bytes and terminate; TRUE if anything
// could be written.
BOOL CopyMessage(const char* text, char* out, UINT size) {
    if (!out || size == 0) return FALSE;
    std::snprintf(out, size, "%s", text);
    return TRUE;
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
    if (!GetErrorMessage(text, sizeof text, nullptr) || !*text) {
        std::snprintf(text, sizeof text, "%s", "An unsupported operation was attempted.");
    }
    std::fprintf(stderr, "%s\n", text);
    return IDOK;
}

IMPLEMENT_DYNAMIC(CMemoryException, CException)

CMemoryException::CMemoryException() = default;
CMemoryException::CMemoryException(BOOL bAutoDelete) : CException(bAutoDelete) {}
CMemoryException::~CMemoryException() = default;

BOOL CMemoryException::GetErrorMessage(char* lpszError, UINT nMaxError, UINT* pnHelpContext) {
    if (pnHelpContext) *pnHelpContext = 0;
    return CopyMessage("Out of memory.", lpszError, nMaxError);
}

IMPLEMENT_DYNAMIC(CFileException, CException)

CFileException::CFileException(int cause, LONG lOsError) : m_cause(cause), m_lOsError(lOsError) {}
CFileException::~CFileException() = default;

BOOL CFileException::GetErrorMessage(char* lpszError, UINT nMaxError, UINT* pnHelpContext) {
    static const char* const kTexts[] = {
        "No error occurred.", "An unspecified error occurred.", "The file could not be found.",
        "The path is invalid.", "Too many files are open.", "Access to the file was denied.",
        "The file handle is invalid.", "The current directory cannot be removed.",
        "The directory is full.", "Seeking in the file failed.", "A hardware I/O error occurred.",
        "A sharing violation occurred.", "A locking violation occurred.", "The disk is full.",
        "The end of the file was reached."};
    if (pnHelpContext) *pnHelpContext = 0;
    int count = static_cast<int>(sizeof kTexts / sizeof kTexts[0]);
    const char* text = m_cause >= 0 && m_cause < count ? kTexts[m_cause] : kTexts[genericException];
    return CopyMessage(text, lpszError, nMaxError);
}
