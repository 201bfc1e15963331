#include "dialog/error_dialog.h"

#include <string>

#include "OrnEh.h"
#include "OrnLangIds.h"
#include "OrnLangResource.h"
#include "OrnLanguageResManager.h"
#include "dialog/backend.h"
#include "module/language.h"

namespace orneh {
namespace dialog {
namespace {

// The label a control of the template carries, or "" when it has none.
std::string TemplateLabel(const OrnResDialog& tpl, unsigned int id) {
    for (const OrnResDialogItem& item : tpl.items) {
        if (item.id == id) return item.text;
    }
    return std::string();
}

// Owns the strings the answer buttons show for one run of the dialog.
class ButtonLabels {
public:
    ButtonLabels() {
        for (unsigned int id = IDS_EH_CANCEL; id <= IDS_EH_NO; ++id) {
            m_strings[id - IDS_EH_CANCEL] = module::CopyLanguageString(id);
        }
    }
    ~ButtonLabels() {
        for (char* s : m_strings) OrnEhDeleteString(s);
    }
    ButtonLabels(const ButtonLabels&) = delete;
    ButtonLabels& operator=(const ButtonLabels&) = delete;

    const char* Get(unsigned int id) const {
        const char* s = m_strings[id - IDS_EH_CANCEL];
        return s ? s : "";
    }

private:
    char* m_strings[IDS_EH_NO - IDS_EH_CANCEL + 1] = {};
};

}  // namespace

OrnEhDialog::OrnEhDialog(HWND parent) : m_parent(parent) {}

OrnEhDialog::~OrnEhDialog() {
    OrnEhDeleteString(m_message);
    OrnEhDeleteString(m_caption);
    OrnEhDeleteString(m_details);
}

void OrnEhDialog::SetMessage(const char* message, const char* caption, unsigned long style) {
    OrnEhDeleteString(m_message);
    OrnEhDeleteString(m_caption);
    m_message = OrnEhCopyString(message);
    m_caption = OrnEhCopyString(caption);
    m_buttonType = static_cast<unsigned int>(style & 0x0F);
    m_iconType = static_cast<unsigned int>(style & 0xF0);
}

void OrnEhDialog::SetDetails(const char* details) {
    OrnEhDeleteString(m_details);
    m_details = OrnEhCopyString(details);
}

int OrnEhDialog::DoModal() {
    (void)m_parent;  // a backend with windows of its own parents the dialog itself
    OrnLanguageResManager manager(module::LanguageModule());
    OrnResDialog tpl;
    if (!OrnResLoadDialog(OrnResGetThreadModule(), IDD_EH_DIALOG, tpl)) return -1;

    const std::string label1 = TemplateLabel(tpl, IDOK);
    const std::string label2 = TemplateLabel(tpl, IDC_EH_BUTTON2);
    const std::string label3 = TemplateLabel(tpl, IDC_EH_BUTTON3);
    ButtonLabels strings;
    const AnswerButton hidden{"", 0, false};
    auto shown = [](const char* label, int result) { return AnswerButton{label, result, true}; };

    DialogModel model{};
    model.caption = m_caption ? m_caption : "";
    model.message = m_message ? m_message : "";
    model.details = m_details;
    model.buttonType = m_buttonType;
    model.iconType = m_iconType;
    AnswerButton* b = model.buttons;
    switch (m_buttonType) {
        case MB_OK:
            b[0] = shown(label1.c_str(), IDOK), b[1] = hidden, b[2] = hidden;
            break;
        case MB_OKCANCEL:
            b[0] = shown(label1.c_str(), IDOK), b[1] = shown(strings.Get(IDS_EH_CANCEL), IDCANCEL),
            b[2] = hidden;
            break;
        case MB_ABORTRETRYIGNORE:
            b[0] = shown(strings.Get(IDS_EH_CANCEL), IDABORT),
            b[1] = shown(strings.Get(IDS_EH_RETRY), IDRETRY),
            b[2] = shown(strings.Get(IDS_EH_IGNORE), IDIGNORE);
            break;
        case MB_YESNOCANCEL:
            b[0] = shown(strings.Get(IDS_EH_YES), IDYES), b[1] = shown(strings.Get(IDS_EH_NO), IDNO),
            b[2] = shown(strings.Get(IDS_EH_CANCEL), IDCANCEL);
            break;
        case MB_YESNO:
            b[0] = shown(strings.Get(IDS_EH_YES), IDYES), b[1] = shown(strings.Get(IDS_EH_NO), IDNO),
            b[2] = hidden;
            break;
        case MB_RETRYCANCEL:
            b[0] = shown(strings.Get(IDS_EH_RETRY), IDRETRY),
            b[1] = shown(strings.Get(IDS_EH_CANCEL), IDCANCEL), b[2] = hidden;
            break;
        default:
            // An unknown type keeps the template's buttons, each ending with 0.
            b[0] = shown(label1.c_str(), 0), b[1] = shown(label2.c_str(), 0),
            b[2] = shown(label3.c_str(), 0);
            break;
    }

    switch (ChooseBackend().Run(model)) {
        case Answer::kButton1:
            return b[0].result;
        case Answer::kButton2:
            return b[1].result;
        case Answer::kButton3:
            return b[2].result;
        case Answer::kCancel:
            return IDCANCEL;
        case Answer::kFailed:
            break;
    }
    return -1;
}

}  // namespace dialog
}  // namespace orneh
