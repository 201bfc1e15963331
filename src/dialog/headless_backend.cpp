// The headless dialog: for processes without a terminal and a display. The
// dialog is written to stderr and answered from the environment.
#include <strings.h>

#include <atomic>
#include <cstring>
#include <string>

#include "OrnLangIds.h"
#include "compat/OrnEhWinTypes.h"
#include "base/settings.h"
#include "dialog/backend.h"
#include "dialog/text_measure.h"
#include "compat/codepage.h"
#include "posix_io.h"

namespace orneh {
namespace dialog {
namespace {

// The metrics of the templates' 8-point dialog font at 96 dots per inch.
constexpr FontMetrics kCell{6, 13};
constexpr int kScrollBarWidth = 17;

// A button label as shown: the '&' mnemonic marks removed ("&&" is "&").
std::string PlainLabel(const std::string& label) {
    std::string plain;
    for (const char* p = label.c_str(); *p; ++p) {
        if (*p == '&' && p[1] != '&') continue;
        if (*p == '&') ++p;
        plain += *p;
    }
    return compat::Cp1252ToUtf8(plain.c_str());
}

bool Shown(const WindowModel& model, unsigned int id) {
    const Control* c = model.Find(id);
    return c && c->visible && c->enabled;
}

// A signal that interrupts a blocked write (a handler without SA_RESTART)
// does not cut the text short.
void WriteAll(const std::string& text) { ornlang::posix::WriteFull(2, text.data(), text.size()); }

Event Press(unsigned int id) { return Event{Event::kClick, id, ""}; }

// Nobody is there to answer: the answer that ends the question. Cancel
// where there is one, No for Yes/No, Abort (the cancel of Abort/Retry/
// Ignore), OK for OK alone; a type without known buttons is cancelled.
Event Unattended(unsigned int buttonType) {
    switch (buttonType) {
        case MB_OK: case MB_ABORTRETRYIGNORE: return Press(IDOK);
        case MB_OKCANCEL: case MB_YESNO: case MB_RETRYCANCEL: return Press(IDC_EH_BUTTON2);
        case MB_YESNOCANCEL: return Press(IDC_EH_BUTTON3);
        default: return Event{Event::kCancel, 0, ""};
    }
}

// An answer ORNEH_DIALOG_ANSWER may name: the button it presses in the
// dialogs of bit type (1 << buttonType), when it is shown; a number means
// its button in any dialog; no types: Escape.
struct NamedAnswer {
    const char* name;
    unsigned int id;
    unsigned int types;
};
constexpr NamedAnswer kNamed[] = {
    {"1", IDOK, ~0u}, {"2", IDC_EH_BUTTON2, ~0u}, {"3", IDC_EH_BUTTON3, ~0u}, {"cancel", 0, 0},
    {"ok", IDOK, 1 << MB_OK | 1 << MB_OKCANCEL}, {"abort", IDOK, 1 << MB_ABORTRETRYIGNORE},
    {"retry", IDC_EH_BUTTON2, 1 << MB_ABORTRETRYIGNORE}, {"retry", IDOK, 1 << MB_RETRYCANCEL},
    {"ignore", IDC_EH_BUTTON3, 1 << MB_ABORTRETRYIGNORE},
    {"yes", IDOK, 1 << MB_YESNOCANCEL | 1 << MB_YESNO}, {"no", IDC_EH_BUTTON2, 1 << MB_YESNOCANCEL | 1 << MB_YESNO},
};

// The answer ORNEH_DIALOG_ANSWER names, when this dialog has it; else the
// unattended one. A value that names no answer is said once.
Event ChosenAnswer(const WindowModel& model) {
    const char* wanted = base::GetSetting(base::Setting::kDialogAnswer);
    if (!wanted || !*wanted) return Unattended(model.buttonType);
    bool known = false;
    for (const NamedAnswer& a : kNamed) {
        if (strcasecmp(a.name, wanted) != 0) continue;
        known = true;
        if (a.types == 0) return Event{Event::kCancel, 0, ""};
        const bool here = a.types == ~0u || (model.buttonType < 6 && (a.types & (1u << model.buttonType)));
        if (here && Shown(model, a.id)) return Press(a.id);
    }
    static std::atomic<bool> said{false};
    if (!known && !said.exchange(true)) {
        WriteAll("ZKQTRNEH113: ORNEH_DIALOG_ANSWER=" + std::string(wanted) +
                 " names no answer (1, 2, 3, ok, cancel, abort, retry, ignore, yes, no); the dialog answers as "
                 "when nobody is there\n");
    }
    return Unattended(model.buttonType);
}

class HeadlessView : public View {
public:
    void Update(const WindowModel& model) override { m_model = model; }

    Event WaitEvent() override {
        if (m_answered) return Event{Event::kCancel, 0, ""};
        m_answered = true;
        std::string out = "=== " + compat::Cp1252ToUtf8(m_model.caption.c_str()) + " ===\n";
        out += compat::Cp1252ToUtf8(m_model.Find(IDC_EH_MESSAGE)->text.c_str());
        out += "\n---\n";
        for (unsigned int id : {static_cast<unsigned int>(IDOK), 1000u, 1001u}) {
            if (Shown(m_model, id)) out += "[" + PlainLabel(m_model.Find(id)->text) + "] ";
        }
        out += "\n";
        const std::string& details = m_model.Find(IDC_EH_DETAILS)->text;
        if (!details.empty()) out += "--- details ---\n" + compat::Cp1252ToUtf8(details.c_str()) + "\n";
        const Event answer = ChosenAnswer(m_model);
        out += "--> ";
        out += answer.kind == Event::kCancel ? "(cancelled)" : PlainLabel(m_model.Find(answer.id)->text);
        out += "\n===\n";
        WriteAll(out);
        return answer;
    }

    int MeasureText(unsigned int id, const std::string& text, Rect& client) override {
        const Control* c = m_model.Find(id);
        if (!c) return -1;
        client = Rect{0, 0, c->rect.Width() - (c->style & kStyleVScroll ? kScrollBarWidth : 0), c->rect.Height()};
        return CellTextHeight(text, client.Width(), kCell);
    }

private:
    WindowModel m_model;
    bool m_answered = false;
};

class Headless : public Backend {
public:
    FontMetrics DialogFont(const std::string&, int) override { return kCell; }

    std::unique_ptr<View> Open(const WindowModel& model, HWND) override {
        std::unique_ptr<HeadlessView> view(new HeadlessView);
        view->Update(model);
        return view;
    }

    void MessageBox(View*, const std::string& text, const std::string& caption, unsigned int) override {
        WriteAll("=== " + compat::Cp1252ToUtf8(caption.c_str()) + " ===\n" +
                 compat::Cp1252ToUtf8(text.c_str()) + "\n===\n");
    }

    // Nothing to choose a file or a printer with: both count as cancelled.
    bool ChooseSaveFile(View*, const SaveRequest&, std::string&) override { return false; }
    PrintResult Print(View*, const std::string&, PrintJob&, std::string&) override { return PrintResult::kCancelled; }
};

}  // namespace

Backend& HeadlessBackend() {
    static Headless backend;
    return backend;
}

}  // namespace dialog
}  // namespace orneh
