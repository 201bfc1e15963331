// The headless dialog: for processes without a terminal and a display. The
// dialog is written to stderr and answered from the environment.
#include <cstring>
#include <string>

#include "OrnLangIds.h"
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

// The button ORNEH_DIALOG_ANSWER names; a hidden one gives the first.
Event ChosenAnswer(const WindowModel& model) {
    const char* wanted = base::GetSetting(base::Setting::kDialogAnswer);
    if (std::strcmp(wanted, "cancel") == 0) return Event{Event::kCancel, 0, ""};
    if (std::strcmp(wanted, "2") == 0 && Shown(model, IDC_EH_BUTTON2)) {
        return Event{Event::kClick, IDC_EH_BUTTON2, ""};
    }
    if (std::strcmp(wanted, "3") == 0 && Shown(model, IDC_EH_BUTTON3)) {
        return Event{Event::kClick, IDC_EH_BUTTON3, ""};
    }
    return Event{Event::kOk, IDOK, ""};
}

// A signal that interrupts a blocked write (a handler without SA_RESTART)
// does not cut the text short.
void WriteAll(const std::string& text) { ornlang::posix::WriteFull(2, text.data(), text.size()); }

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
    PrintResult Print(View*, const std::string&, PrintJob&) override { return PrintResult::kCancelled; }
};

}  // namespace

Backend& HeadlessBackend() {
    static Headless backend;
    return backend;
}

}  // namespace dialog
}  // namespace orneh
