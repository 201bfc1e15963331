// The report operations of the error dialog's details area: the report text,
// saving it, printing it and handing it over to the application.
#include <strings.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "OrnLangIds.h"
#include "base/alloc.h"
#include "base/contained.h"
#include "base/settings.h"
#include "compat/codepage.h"
#include "compat/system_message.h"
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
    CString report;
    BuildReportText(report);
    std::string text = report.GetString();
    // For Linux users who asked for it: UTF-8 with LF line ends.
    if (strcasecmp(base::GetSetting(base::Setting::kReportEncoding), "utf-8") == 0) {
        text = compat::Cp1252ToUtf8(text.c_str());
        text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
    }
    if (!platform::WriteWholeFile(path.c_str(), text.data(), text.size())) {
        // The reason, in the system's words, under the message.
        const int error = errno;
        std::string why;
        if (char* message = compat::SystemMessage(static_cast<unsigned long>(error))) {
            why = "\r\n\r\n" + path + ":\r\n" + message;
            base::Free(message);
        }
        ShowMessage(LanguageText(IDS_EH_SAVE_FAILED) + why, IDS_EH_SAVE_FAILED_CAPTION, MB_ICONEXCLAMATION);
    }
}

void OrnEhDialog::OnPrint() {
    UpdateData(TRUE);
    CString text;
    BuildReportText(text);
    ReportPrintJob job(text, m_topMargin, m_bottomMargin);
    std::string where;
    switch (m_backend->Print(m_view, LanguageText(IDS_EH_PRINT_DOCUMENT), job, where)) {
        case PrintResult::kFailed: {
            std::vector<char> why(where.size() + 1);
            compat::Utf8ToCp1252(where.c_str(), why.data());
            ShowMessage(LanguageText(IDS_EH_PRINT_FAILED) + (where.empty() ? "" : "\r\n\r\n" + std::string(why.data())),
                        IDS_EH_PRINT_FAILED_CAPTION, MB_ICONEXCLAMATION);
            break;
        }
        case PrintResult::kNoPrinter:
            ShowMessage(LanguageText(IDS_EH_NO_PRINTER), IDS_EH_PRINT_FAILED_CAPTION, MB_ICONEXCLAMATION);
            break;
        case PrintResult::kPrinted:
            // Where it went, when the user has not chosen it in a dialog.
            if (!where.empty()) {
                std::vector<char> name(where.size() + 1);
                compat::Utf8ToCp1252(where.c_str(), name.data());
                std::string done = LanguageText(IDS_EH_PRINTED);
                const std::size_t insert = done.find("%1");
                if (insert != std::string::npos) done.replace(insert, 2, name.data());
                ShowMessage(done, IDS_EH_PRINT_DOCUMENT, MB_ICONINFORMATION);
            }
            break;
        case PrintResult::kCancelled:
            break;
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
    if (!taken) ShowMessage(LanguageText(IDS_EH_HANDOVER_REFUSED), IDS_EH_HANDOVER_REFUSED_CAPTION, MB_ICONEXCLAMATION);
}

void OrnEhDialog::ShowMessage(const std::string& text, unsigned int captionId, unsigned int icon) {
    if (AfxGetMainWnd()) {
        m_backend->MessageBox(m_view, text, LanguageText(captionId), icon);
        return;
    }
    // Without a main window, as AfxMessageBox shows it: the application's
    // name as the caption.
    m_backend->MessageBox(m_view, text,
                          m_applicationName && *m_applicationName ? m_applicationName : platform::ProgramName(), icon);
}

}  // namespace dialog
}  // namespace orneh
