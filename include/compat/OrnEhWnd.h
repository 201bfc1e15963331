// The window side of MFC that the error dialog's hand-over needs: a CWnd
// whose window procedure an application overrides, the application's main
// window (AfxGetMainWnd, set with OrnEhSetMainWnd), and the hand-over
// message WM_EH_HANDOVER with its record.
//
// A CWnd here is not a toolkit window: it is the object through which the
// library "sends" a message, i.e. calls WindowProc synchronously on the
// calling thread. For the hand-over that is the thread that reported the
// error; an application whose window lives on another thread moves the work
// there itself.
//
// Thread safety: the main-window pointer is process-wide and may be set and
// read from any thread; the application keeps the window alive while it is set.
#ifndef ORNEH_COMPAT_WND_H
#define ORNEH_COMPAT_WND_H

#include <cstdint>

#include "compat/OrnEhCString.h"
#include "compat/OrnEhExport.h"
#include "compat/OrnEhWinTypes.h"

typedef std::uintptr_t WPARAM;
typedef std::intptr_t LPARAM;
typedef std::intptr_t LRESULT;

enum : UINT {
    WM_APP = 0x8000,
    // lParam: the address of an OrnEhHandOverInfo, valid during the call;
    // wParam 0. The window returns nonzero when it took the report over.
    WM_EH_HANDOVER = WM_APP + 0x41
};

// The error report handed over to the application.
struct OrnEhHandOverInfo {
    CString firstLine;  // the report up to its first CR LF; empty without one
    CString text;       // the whole report
    CString logFile;    // full path of the reporting thread's log file, or empty
};

class ORNEH_API CWnd {
public:
    CWnd();
    explicit CWnd(HWND hWnd);
    virtual ~CWnd();
    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;

    HWND GetSafeHwnd() const { return m_hWnd; }

    // Calls WindowProc and returns its result.
    LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);

    HWND m_hWnd;  // the toolkit's window, or null

protected:
    // The window procedure; the default handles nothing and returns 0.
    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
};

// The application's main window, or null.
ORNEH_API CWnd* AfxGetMainWnd();
// Sets the application's main window (null: none) and returns the previous one.
ORNEH_API CWnd* OrnEhSetMainWnd(CWnd* window);

#endif
