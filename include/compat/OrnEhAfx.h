// The part of MFC's object model that the exception classes stand on:
// run-time class information, CObject, CException and two stock exceptions.
//
// Member names and virtual order are MFC's, so code written against MFC reads
// the same. Applications use DECLARE_DYNAMIC / IMPLEMENT_DYNAMIC for their own
// exception classes exactly as they would with MFC.
//
// Thread safety: the run-time class records are immutable after static
// initialisation; exception objects are not synchronised.
#ifndef ORNEH_COMPAT_AFX_H
#define ORNEH_COMPAT_AFX_H

#include "compat/OrnEhExport.h"
#include "compat/OrnEhWinTypes.h"

class CObject;
class CArchive;
class CDumpContext;

struct ORNEH_API CRuntimeClass {
    const char* m_lpszClassName;
    int m_nObjectSize;
    UINT m_wSchema;
    CObject* (*m_pfnCreateObject)();
    CRuntimeClass* m_pBaseClass;

    // TRUE when this class is pBaseClass or derives from it.
    BOOL IsDerivedFrom(const CRuntimeClass* pBaseClass) const;
};

#define RUNTIME_CLASS(class_name) (class_name::GetThisClass())

#define DECLARE_DYNAMIC(class_name)                 \
public:                                             \
    static CRuntimeClass class##class_name;         \
    static CRuntimeClass* GetThisClass();           \
    CRuntimeClass* GetRuntimeClass() const override;

#define IMPLEMENT_DYNAMIC(class_name, base_class_name)                          \
    CRuntimeClass class_name::class##class_name = {                             \
        #class_name, static_cast<int>(sizeof(class_name)), 0xFFFF, nullptr,     \
        &base_class_name::class##base_class_name};                              \
    CRuntimeClass* class_name::GetThisClass() { return &class_name::class##class_name; } \
    CRuntimeClass* class_name::GetRuntimeClass() const { return &class_name::class##class_name; }

class ORNEH_API CObject {
public:
    // Virtual order: GetRuntimeClass, destructor, Serialize, AssertValid, Dump.
    virtual CRuntimeClass* GetRuntimeClass() const;
    virtual ~CObject();
    virtual void Serialize(CArchive& ar);
    virtual void AssertValid() const;
    virtual void Dump(CDumpContext& dc) const;

    BOOL IsKindOf(const CRuntimeClass* pClass) const;

    static CRuntimeClass classCObject;
    static CRuntimeClass* GetThisClass();

protected:
    CObject();

private:
    CObject(const CObject&) = delete;
    CObject& operator=(const CObject&) = delete;
};

class ORNEH_API CException : public CObject {
    DECLARE_DYNAMIC(CException)
public:
    CException();  // m_bAutoDelete is TRUE
    explicit CException(BOOL bAutoDelete);
    ~CException() override;

    // Deletes the object when m_bAutoDelete is set; otherwise does nothing.
    void Delete();

    virtual BOOL GetErrorMessage(char* lpszError, UINT nMaxError, UINT* pnHelpContext = nullptr);
    virtual int ReportError(UINT nType = MB_OK, UINT nMessageID = 0);

    BOOL m_bAutoDelete;
};

class ORNEH_API CMemoryException : public CException {
    DECLARE_DYNAMIC(CMemoryException)
public:
    CMemoryException();
    explicit CMemoryException(BOOL bAutoDelete);
    ~CMemoryException() override;
    BOOL GetErrorMessage(char* lpszError, UINT nMaxError, UINT* pnHelpContext = nullptr) override;
};

class ORNEH_API CFileException : public CException {
    DECLARE_DYNAMIC(CFileException)
public:
    enum { none = 0, genericException, fileNotFound, badPath, tooManyOpenFiles, accessDenied,
           invalidFile, removeCurrentDir, directoryFull, badSeek, hardIO, sharingViolation,
           lockViolation, diskFull, endOfFile };

    explicit CFileException(int cause = none, LONG lOsError = -1);
    ~CFileException() override;
    BOOL GetErrorMessage(char* lpszError, UINT nMaxError, UINT* pnHelpContext = nullptr) override;

    int m_cause;
    LONG m_lOsError;
};

#endif
