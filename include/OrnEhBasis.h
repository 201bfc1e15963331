// OrnEhBasis: the base class of every exception of the library.
//
// An exception carries where and why an error happened (source, class,
// method, cause), an error number, an error-text number that selects the
// message shown to the user, an optional caption number and an optional
// parameter list for the inserts of that message. Exceptions live on the heap
// and are thrown as pointers. Each thread keeps the exceptions it raised or
// caught in a chain (oldest first, newest last); reporting shows the newest
// error with a text from a resource table, logs the whole chain, and releases
// it. The chain owns its exceptions; the one appended last survives a release
// until the next exception is appended, because its catcher may still use it.
//
// Application classes derive from OrnEhBasis with DECLARE_DYNAMIC /
// IMPLEMENT_DYNAMIC, and their destructors call CheckBeforeDelete() first.
//
// Thread safety: an exception belongs to the thread whose chain holds it and
// must not be used by two threads at once. The static members work on the
// calling thread's chain.
#ifndef ORNEH_ORNEHBASIS_H
#define ORNEH_ORNEHBASIS_H

#include <cstddef>

#include "OrnEh.h"
#include "compat/OrnEhAfx.h"
#include "compat/OrnEhExport.h"
#include "compat/OrnEhWinTypes.h"

class OrnEhParam;
class OrnEhLogFile;
struct OrnEhBasisInfo;
struct OrnEhBasisAccess;

class ORNEH_API OrnEhBasis : public CException {
    DECLARE_DYNAMIC(OrnEhBasis)

public:
    virtual ~OrnEhBasis();

    // The formatted text of the calling thread's current error (the newest
    // exception of its chain that has an error-text number). helpContext is
    // never written.
    int GetErrorMessage(char* buffer, unsigned int maxLength, unsigned int* helpContext) override;
    // MFC's error reporting: reports the calling thread's chain.
    int ReportError(unsigned int type, unsigned int messageId) override;

protected:
    // Writes this exception's record into log.
    virtual void Log(OrnEhLogFile& log) const;

public:
    // Reports this exception's text (appended to fileName, or shown in the
    // error dialog owned by window), logs the chain and releases it. The
    // result is the button that closed the dialog, or 1.
    virtual long ReportErrorOnObject(const char* const fileName, const char* const caption);
    virtual long ReportErrorOnObject(HWND const window, const char* const caption);

    virtual unsigned long GetErrorTextNo() const;
    virtual void SetErrorTextNo(unsigned long errorTextNo);
    virtual unsigned long GetErrorNo() const;
    virtual void SetErrorNo(unsigned long errorNo);
    // Hook: a short application code (at most two characters) shown before
    // the error-text number. The base writes an empty string.
    virtual void GetApplication(char* buffer, unsigned long size) const;
    // Hook: this exception's own log file (name into a 261-byte buffer),
    // style and size limit. The base leaves all three untouched.
    virtual void GetLogFileInfos(char* fileName, OrnEhLogfileStyle& style,
                                 unsigned long& maxSize) const;

protected:
    // Hooks that name the resource module and tables of the error texts.
    virtual const char* GetResourceModulname() const;
    virtual unsigned long GetResIdForTextInfo() const;
    virtual unsigned long GetResIdForCaption() const;
    virtual HINSTANCE LoadResourceModule(const char* const name) const;
    virtual void FreeResourceModule(HINSTANCE const module) const;
    virtual void* GetResourceEntry(unsigned long resId, HINSTANCE& module) const;
    virtual void FreeResourceEntry(void* const entry) const;
    virtual char* GetErrorTextInfo(void* entry, unsigned long textNo, unsigned long& messageType,
                                   unsigned long& captionNo, short& logFlag,
                                   short& showFlag) const;
    virtual void FreeErrorText(char* text) const;
    virtual char* GetCaptionText(void* entry, unsigned long captionNo) const;
    virtual void FreeCaptionText(char* text) const;
    // Shows one error in the error dialog with its number line.
    virtual long ShowError(HWND const window, const char* const text, const char* const caption,
                           unsigned long messageType) const;
    // Keeps the chain consistent when an exception is destroyed; every
    // derived destructor calls it first.
    virtual void CheckBeforeDelete();

public:
    // --- The calling thread's chain. ------------------------------------------
    static void Release();
    static OrnEhBasis* GetLast();
    OrnEhBasis* GetFirst() const;
    OrnEhBasis* GetNext() const;
    OrnEhBasis* GetPrev() const;
    OrnEhBasis* GetFirst(const CRuntimeClass* runtimeClass) const;
    OrnEhBasis* GetLast(const CRuntimeClass* runtimeClass) const;
    OrnEhBasis* GetNext(const CRuntimeClass* runtimeClass) const;
    OrnEhBasis* GetPrev(const CRuntimeClass* runtimeClass) const;

    // --- Reporting. -----------------------------------------------------------
    static long Report(HWND window, CException* exception, int autoDelete,
                       const char* const caption);
    static long Report(const char* const fileName, CException* exception, int autoDelete,
                       const char* const caption);
    static long Report(HWND window, const char* const text, const char* const caption,
                       long messageType, CException* exception, int autoDelete, short writeLog);
    static long Report(const char* const fileName, const char* const text,
                       const char* const caption, CException* exception, int autoDelete,
                       short writeLog);
    static long Report(HWND window, const char* const text, const char* const caption,
                       long messageType, const OrnEhParam& params, CException* exception,
                       int autoDelete, short writeLog);
    static long Report(const char* const fileName, const char* const text,
                       const char* const caption, const OrnEhParam& params,
                       CException* exception, int autoDelete, short writeLog);
    // Writes the report entry of the calling thread's chain into its standard
    // log file without showing anything; the chain is kept.
    static void Log(const char* const message, CException* exception, int autoDelete);

    // --- Memory of the library's classes: malloc/free, null on failure. -------
    static void* operator new(std::size_t size) noexcept;
    static void* operator new(std::size_t size, char* file, int line) noexcept;
    static void operator delete(void* p) noexcept;
    static void operator delete(void* p, char* file, int line) noexcept;

protected:
    OrnEhBasis();
    OrnEhBasis(const char* const source, const char* const className, const char* const method,
               const char* const cause, unsigned long errorNo, unsigned long errorTextNo,
               unsigned long captionNo, CException* prevException, int autoDelete,
               unsigned long extraNo, int push);
    OrnEhBasis(const char* const source, const char* const className, const char* const method,
               const char* const cause, unsigned long errorNo, unsigned long errorTextNo,
               const OrnEhParam& params, unsigned long captionNo, CException* prevException,
               int autoDelete, unsigned long extraNo, int push);

    // Links e into the calling thread's chain as its newest exception.
    static void Push(OrnEhBasis* e);

    // Fills the inserts of text from this exception's parameters, or from
    // params. The result is text itself when formatting fails, else a new
    // text that the caller releases with OrnEhDeleteString.
    const char* FormatErrorText(const char* const text);
    static const char* FormatErrorText(const char* const text, const OrnEhParam& params);

    // Brings a caught exception into the calling thread's chain: an OrnEhBasis
    // is pushed unless it is there already, a CMemoryException is represented
    // by the thread's reserve exception, any other CException is wrapped in an
    // OrnEhMFC (deleted after copying when autoDelete is set).
    ORNEH_LOCAL static void AdoptException(CException* exception, int autoDelete);

    // The part every kind's record begins with: "Fehlerart: <kind>", the
    // indentation of the kind's lines, and the base record.
    ORNEH_LOCAL void LogKindHead(OrnEhLogFile& file, const char* kindName) const;

private:
    friend struct OrnEhBasisAccess;

    ORNEH_LOCAL void Construct(const char* source, const char* className, const char* method,
                               const char* cause, unsigned long errorNo,
                               unsigned long errorTextNo, const OrnEhParam* params,
                               unsigned long captionNo, CException* prevException,
                               int autoDelete, unsigned long extraNo, int push);

    // The two forms of ReportErrorOnObject and the four text reports share
    // one body each.
    ORNEH_LOCAL long ReportOn(HWND window, const char* fileName, bool toFile,
                              const char* caption);
    ORNEH_LOCAL static long ReportText(HWND window, const char* fileName, bool toFile,
                                       const char* text, const char* caption, long messageType,
                                       const OrnEhParam* params, CException* exception,
                                       int autoDelete, short writeLog);

    OrnEhBasisInfo* m_info;
};

#endif
