// OrnEhDialog: the modal error dialog. It behaves like a message box (a
// message, a caption and message-box style bits in, the identifier of the
// button pressed out) and carries the details text of the error chain, a
// comment field and the report operations (save, print, hand over).
//
// The logic lives here once; a backend (dialog/backend.h) renders the window
// model and reports the user's actions. Everything runs on the calling
// thread, with the language module installed as its resource module.
//
// The class is written in two files: error_dialog.cpp the window, its
// buttons and the details area; report_output.cpp the report operations
// (report text, save, print, hand-over) and the dialog's own messages.
// Whoever runs the dialog gives it what it knows of the report: the log
// file and the application's name (core/presentation.cpp does for every
// report); the dialog looks up nothing of the administration itself.
#ifndef ORNEH_DIALOG_ERROR_DIALOG_H
#define ORNEH_DIALOG_ERROR_DIALOG_H

#include "OrnEhLogFile.h"
#include "compat/OrnEhCString.h"
#include "compat/OrnEhWinTypes.h"
#include "dialog/backend.h"
#include "dialog/window_model.h"

namespace orneh {
namespace dialog {

class OrnEhDialog {
public:
    explicit OrnEhDialog(HWND parent);
    ~OrnEhDialog();
    OrnEhDialog(const OrnEhDialog&) = delete;
    OrnEhDialog& operator=(const OrnEhDialog&) = delete;

    // The texts are copied; null texts count as empty.
    void SetMessage(const char* message, const char* caption, unsigned long style);
    void SetDetails(const char* details);
    // The report's log file (not owned): a save starts in its folder, a
    // hand-over names it. Without one, neither names a log file.
    void SetLogFile(const OrnEhLogFile* log) { m_logFile = log; }
    // The application's name (not copied: it must outlive the dialog), the
    // caption of the dialog's own messages when the application has no main
    // window; without one, the program's name.
    void SetApplicationName(const char* name) { m_applicationName = name; }

    // Runs the dialog; the result value of the button that ended it, IDCANCEL
    // when it was cancelled, or -1 when it cannot be shown (no dialog
    // template in the language module, or no window).
    int DoModal();

    // Appends the report text: message, the comment under its heading (when
    // there is one), the details under theirs.
    void BuildReportText(CString& out) const;

private:
    // The backend for a dialog whose window could not be made or went away:
    // the headless one (said on stderr). False when there is none.
    bool GoHeadless();
    void OnInitDialog();
    void SetUpAnswerButtons();
    void DecideMessageScrollBar();
    void ShowDetails(BOOL show);
    void Dispatch(const Event& event);
    void OnDetails();
    void OnOK();
    void OnCancel() { EndDialog(IDCANCEL); }
    void OnSave();
    void OnPrint();
    void OnHandOver();
    // TRUE: the comment control into m_comment; FALSE: m_comment into it.
    void UpdateData(BOOL saveAndValidate);
    void EndDialog(int result);
    // Message box text / captionId with icon (MB_ICON*) on the application's
    // main window.
    void ShowMessage(const std::string& text, unsigned int captionId, unsigned int icon);
    void SetText(unsigned int id, const std::string& text);
    void Enable(unsigned int id, bool enable);

    HWND m_parent;
    char* m_message = nullptr;
    char* m_caption = nullptr;
    char* m_details = nullptr;
    const OrnEhLogFile* m_logFile = nullptr;
    const char* m_applicationName = nullptr;
    unsigned int m_buttonType = 0;
    unsigned int m_iconType = 0;
    CString m_comment;
    int m_topMargin = 0, m_bottomMargin = 0;  // print margins, device units
    int m_detailsHeight = 0;
    BOOL m_expanded = FALSE;
    int m_result1 = 0, m_result2 = 0, m_result3 = 0;

    // While DoModal runs.
    Backend* m_backend = nullptr;
    View* m_view = nullptr;
    WindowModel m_model;
    bool m_ended = false;
    int m_endResult = 0;
};

}  // namespace dialog
}  // namespace orneh

#endif
