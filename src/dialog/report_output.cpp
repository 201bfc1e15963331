// The report operations of the error dialog's details area: the report text,
// saving it, printing it and handing it over to the application.
#include <cerrno>
#include <cstring>
#include <string>

#include "OrnLangIds.h"
#include "base/contained.h"
#include "compat/OrnEhWnd.h"
#include "dialog/error_dialog.h"
#include "dialog/print_pagination.h"
#include "module/language.h"
#include "platform/file.h"
#include "platform/system.h"

namespace orneh {
namespace dialog {

using module::LanguageText;

namespace {

class ReportPrintJob : public PrintJob {
public:
    ReportPrintJob(const CString& text, int topMargin, int bottomMargin)
        : m_lines(SplitReportLines(text.GetString())), m_top(topMargin), m_bottom(bottomMargin) {}
    void Paginate(PrintDevice& device) override { PrintReportLines(m_lines, device, m_top, m_bottom); }

private:
    std::vector<std::string> m_lines;
    int m_top, m_bottom;
};

}  // namespace

void OrnEhDialog::BuildReportText(CString& out) const {
    out += m_message;
    if (!m_comment.IsEmpty()) {
        out += LanguageText(IDS_EH_COMMENT_HEADING).c_str();
        out += m_comment;
    }
    out += LanguageText(IDS_EH_DETAILS_HEADING).c_str();
    out += m_details;
}

void OrnEhDialog::OnSave() {
    SaveRequest request;
    request.filters.push_back({LanguageText(IDS_EH_FILTER_TEXT) + " (*.txt)", "*.txt"});
    request.filters.push_back({LanguageText(IDS_EH_FILTER_ALL) + " (*.*)", "*.*"});
    UpdateData(TRUE);
    char directory[260] = "";
    if (m_logFile) m_logFile->GetDirectory(directory, sizeof directory);
    request.directory = directory;
    request.defaultExtension = LanguageText(IDS_EH_DEFAULT_EXTENSION);
    request.defaultName = LanguageText(IDS_EH_DEFAULT_FILE_NAME);
    request.title = LanguageText(IDS_EH_SAVE_TITLE);
    std::string path;
    if (!m_backend->ChooseSaveFile(m_view, request, path)) return;
    CString text;
    BuildReportText(text);
    if (!platform::WriteWholeFile(path.c_str(), text.GetString(), static_cast<std::size_t>(text.GetLength()))) {
        ShowMessage(IDS_EH_SAVE_FAILED, IDS_EH_SAVE_FAILED_CAPTION);
    }
}

void OrnEhDialog::OnPrint() {
    UpdateData(TRUE);
    CString text;
    BuildReportText(text);
    ReportPrintJob job(text, m_topMargin, m_bottomMargin);
    if (m_backend->Print(m_view, LanguageText(IDS_EH_PRINT_DOCUMENT), job) == PrintResult::kFailed) {
        ShowMessage(IDS_EH_PRINT_FAILED, IDS_EH_PRINT_FAILED_CAPTION);
    }
}

void OrnEhDialog::OnHandOver() {
    char logFile[260] = "";
    if (m_logFile) m_logFile->GetFullPath(logFile, sizeof logFile);
    // The comment as last read by a save or a print: the field is not read here.
    OrnEhHandOverInfo info;
    BuildReportText(info.text);
    const int lineEnd = info.text.Find("\r\n");
    if (lineEnd >= 0) info.firstLine = info.text.Left(lineEnd);
    info.logFile = logFile;
    LRESULT taken = 0;
    if (CWnd* main = AfxGetMainWnd()) {
        // A window procedure that throws has not taken it.
        taken = Contained(LRESULT{0}, [&] {
            return main->SendMessage(WM_EH_HANDOVER, 0, reinterpret_cast<LPARAM>(&info));
        });
    }
    if (!taken) ShowMessage(IDS_EH_HANDOVER_REFUSED, IDS_EH_HANDOVER_REFUSED_CAPTION);
}

void OrnEhDialog::ShowMessage(unsigned int textId, unsigned int captionId) {
    if (AfxGetMainWnd()) {
        m_backend->MessageBox(m_view, LanguageText(textId), LanguageText(captionId), MB_ICONEXCLAMATION);
        return;
    }
    // Without a main window, as AfxMessageBox shows it: the application's
    // name as the caption, the exclamation icon of an OK box.
    m_backend->MessageBox(m_view, LanguageText(textId),
                          m_applicationName && *m_applicationName ? m_applicationName : platform::ProgramName(),
                          MB_ICONEXCLAMATION);
}

}  // namespace dialog
}  // namespace orneh
