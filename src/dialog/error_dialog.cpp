#include "dialog/error_dialog.h"

#include <strings.h>

#include <memory>

#include "OrnEh.h"
#include "OrnLangIds.h"
#include "OrnLangResource.h"
#include "OrnLanguageResManager.h"
#include "base/settings.h"
#include "compat/codepage.h"
#include "dialog/dialog_window.h"
#include "module/language.h"

namespace orneh {
namespace dialog {

using module::LanguageText;

OrnEhDialog::OrnEhDialog(HWND parent) : m_parent(parent) {}

OrnEhDialog::~OrnEhDialog() {
    OrnEhDeleteString(m_message);
    OrnEhDeleteString(m_caption);
    OrnEhDeleteString(m_details);
}

namespace {

// A copy of an application's text in the library's code page: texts of an
// application that says they are UTF-8 are converted here. Bytes that are
// no UTF-8 stay as they are: the library's own 1252 texts come along in
// the same strings (the details' labels, say).
char* CopyText(const char* text) {
    char* copy = OrnEhCopyString(text);
    const char* encoding = base::GetSetting(base::Setting::kTextEncoding);
    if (copy && (strcasecmp(encoding, "utf-8") == 0 || strcasecmp(encoding, "utf8") == 0)) {
        compat::Utf8ToCp1252(copy, copy, true);  // never longer: in place
    }
    return copy;
}

}  // namespace

void OrnEhDialog::SetMessage(const char* message, const char* caption, unsigned long style) {
    OrnEhDeleteString(m_message);
    OrnEhDeleteString(m_caption);
    m_message = CopyText(message);
    m_caption = CopyText(caption);
    m_buttonType = static_cast<unsigned int>(style & 0x0F);
    m_iconType = static_cast<unsigned int>(style & 0xF0);
}

void OrnEhDialog::SetDetails(const char* details) {
    OrnEhDeleteString(m_details);
    m_details = CopyText(details);
}

int OrnEhDialog::DoModal() {
    // The language module stays the thread's resource module while the
    // dialog runs: every text it loads comes from there.
    OrnLanguageResManager manager(module::LanguageModule());
    OrnResDialog tpl;
    if (!OrnResLoadDialog(OrnResGetThreadModule(), IDD_EH_DIALOG, tpl)) return -1;
    m_backend = &ChooseBackend();
    bool built = false;
    auto open = [&] {
        built = BuildWindowModel(tpl, m_backend->DialogFont(tpl.fontName, tpl.fontSize), m_model);
        return built ? m_backend->Open(m_model, m_parent) : nullptr;
    };
    std::unique_ptr<View> view = open();
    if (!view && built && GoHeadless()) view = open();
    if (!view) return -1;
    m_view = view.get();
    m_ended = false;
    OnInitDialog();
    while (!m_ended) {
        m_view->Update(m_model);
        const Event event = m_view->WaitEvent();
        if (event.kind != Event::kLost) {
            Dispatch(event);
            continue;
        }
        // The window went away with the question open: it is asked again
        // where nobody can lose it, as it stands.
        const bool headless = GoHeadless();
        view.reset();
        m_view = nullptr;
        if (!headless || !(view = m_backend->Open(m_model, m_parent))) return -1;
        m_view = view.get();
    }
    view.reset();
    m_view = nullptr;
    return m_endResult;
}

bool OrnEhDialog::GoHeadless() {
    Backend* fallback = FallbackAfterFailedOpen(*m_backend);
    if (fallback) m_backend = fallback;
    return fallback != nullptr;
}

void OrnEhDialog::OnInitDialog() {
    UpdateData(FALSE);
    // The details area runs from the top of the frame to the bottom.
    m_detailsHeight = m_model.height - m_model.Find(IDC_EH_DETAILS_FRAME)->rect.top;
    m_expanded = FALSE;
    ShowDetails(FALSE);
    m_model.caption = m_caption ? m_caption : "";
    m_model.iconType = m_iconType;
    // The icon's place stays empty for a message without an icon.
    for (Control& c : m_model.controls) {
        if (c.kind == ControlKind::kIcon) c.visible = m_iconType != 0;
    }
    m_model.buttonType = m_buttonType;
    SetUpAnswerButtons();
    DecideMessageScrollBar();
    // The first control that takes the keyboard gets the focus.
    for (const Control& c : m_model.controls) {
        if (c.visible && c.enabled && (c.style & kStyleTabStop)) {
            m_model.focus = c.id;
            break;
        }
    }
}

void OrnEhDialog::SetUpAnswerButtons() {
    struct Cell {
        unsigned int label;  // string id; 0: the template's label
        int result;          // -1: the button is hidden
    };
    static const Cell table[6][3] = {
        {{0, IDOK}, {0, -1}, {0, -1}},                                          // MB_OK
        {{0, IDOK}, {IDS_EH_CANCEL, IDCANCEL}, {0, -1}},                        // MB_OKCANCEL
        {{IDS_EH_ABORT, IDABORT}, {IDS_EH_RETRY, IDRETRY}, {IDS_EH_IGNORE, IDIGNORE}},
        {{IDS_EH_YES, IDYES}, {IDS_EH_NO, IDNO}, {IDS_EH_CANCEL, IDCANCEL}},    // MB_YESNOCANCEL
        {{IDS_EH_YES, IDYES}, {IDS_EH_NO, IDNO}, {0, -1}},                      // MB_YESNO
        {{IDS_EH_RETRY, IDRETRY}, {IDS_EH_CANCEL, IDCANCEL}, {0, -1}},          // MB_RETRYCANCEL
    };
    static const Cell unknown[3] = {{0, 0}, {0, 0}, {0, 0}};
    const Cell* row = m_buttonType < 6 ? table[m_buttonType] : unknown;
    const unsigned int ids[3] = {IDOK, IDC_EH_BUTTON2, IDC_EH_BUTTON3};
    int* results[3] = {&m_result1, &m_result2, &m_result3};
    for (int i = 0; i < 3; ++i) {
        Control* button = m_model.Find(ids[i]);
        if (row[i].result < 0) {
            button->visible = false;
            button->enabled = false;
            continue;
        }
        if (row[i].label) button->text = LanguageText(row[i].label);
        // A language module without a word of its own for Abort has 2118.
        if (row[i].label == IDS_EH_ABORT && button->text.empty()) button->text = LanguageText(IDS_EH_CANCEL);
        *results[i] = row[i].result;
    }
}

void OrnEhDialog::DecideMessageScrollBar() {
    Control* edit = m_model.Find(IDC_EH_MESSAGE);
    Rect client;
    const int height = m_view->MeasureText(IDC_EH_MESSAGE, m_message ? m_message : "", client);
    if (height >= 0 && height <= client.Height()) edit->style &= ~kStyleVScroll;
}

void OrnEhDialog::ShowDetails(BOOL show) {
    m_model.height += show ? m_detailsHeight : -m_detailsHeight;
    // Nothing in the hidden area can be reached with the keyboard.
    for (unsigned int id : {IDC_EH_SAVE, IDC_EH_PRINT, IDC_EH_HANDOVER, IDC_EH_DETAILS_FRAME,
                            IDC_EH_DETAILS, IDC_EH_COMMENT}) {
        Enable(id, show != FALSE);
    }
    if (show) {
        SetText(IDC_EH_DETAILS_TOGGLE, LanguageText(IDS_EH_DETAILS_HIDE));
        // Only an error can be handed over; the button goes for good otherwise.
        Control* handOver = m_model.Find(IDC_EH_HANDOVER);
        if (m_iconType == MB_ICONERROR) {
            handOver->enabled = true;
        } else {
            handOver->visible = false;
            handOver->enabled = false;
        }
    } else {
        SetText(IDC_EH_DETAILS_TOGGLE, LanguageText(IDS_EH_DETAILS_SHOW));
    }
    SetText(IDC_EH_MESSAGE, m_message ? m_message : "");
    SetText(IDC_EH_DETAILS, m_details ? m_details : "");
}

void OrnEhDialog::Dispatch(const Event& event) {
    Control* c = m_model.Find(event.id);
    switch (event.kind) {
        case Event::kOk:
            OnOK();
            return;
        case Event::kCancel:
        case Event::kLost:  // DoModal hands the dialog on before it gets here
            OnCancel();
            return;
        case Event::kEdited:
            if (c && c->kind == ControlKind::kEdit && !(c->style & kEditReadOnly)) c->text = event.text;
            return;
        case Event::kFocus:
            m_model.focus = event.id;
            return;
        case Event::kClick:
            break;
    }
    // A control that is hidden or disabled cannot be pressed.
    if (!c || !c->visible || !c->enabled) return;
    switch (event.id) {
        case IDOK: OnOK(); break;
        case IDC_EH_BUTTON2: EndDialog(m_result2); break;
        case IDC_EH_BUTTON3: EndDialog(m_result3); break;
        case IDC_EH_DETAILS_TOGGLE: OnDetails(); break;
        case IDC_EH_SAVE: OnSave(); break;
        case IDC_EH_PRINT: OnPrint(); break;
        case IDC_EH_HANDOVER: OnHandOver(); break;
        default: break;
    }
}

void OrnEhDialog::OnDetails() {
    m_expanded = !m_expanded;
    if (m_expanded) {
        m_model.focus = IDC_EH_COMMENT;
    } else {
        // The focus leaves the area that is about to be disabled. The
        // hand-over button is part of it as well.
        switch (m_model.focus) {
            case IDC_EH_COMMENT: case IDC_EH_PRINT: case IDC_EH_DETAILS: case IDC_EH_SAVE:
            case IDC_EH_HANDOVER:
                m_model.focus = IDC_EH_DETAILS_TOGGLE;
                break;
            default:
                break;
        }
    }
    ShowDetails(m_expanded);
}

void OrnEhDialog::OnOK() {
    if (m_result1 == IDOK) UpdateData(TRUE);
    EndDialog(m_result1);
}

void OrnEhDialog::UpdateData(BOOL saveAndValidate) {
    Control* comment = m_model.Find(IDC_EH_COMMENT);
    if (saveAndValidate) {
        m_comment = comment->text.c_str();
    } else {
        comment->text = m_comment.GetString();
    }
}

void OrnEhDialog::EndDialog(int result) {
    m_ended = true;
    m_endResult = result;
}

void OrnEhDialog::SetText(unsigned int id, const std::string& text) { m_model.Find(id)->text = text; }

void OrnEhDialog::Enable(unsigned int id, bool enable) { m_model.Find(id)->enabled = enable; }

}  // namespace dialog
}  // namespace orneh
