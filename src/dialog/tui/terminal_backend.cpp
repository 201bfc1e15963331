// The terminal dialog backend as a loadable module: the library dlopens
// libZKQTRNEH113_tui.so when the terminal dialog is chosen and asks it for
// its backend through ZKQTRNEH113_DialogBackend.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <memory>

#include "dialog/backend.h"
#include "dialog/module_entry.h"
#include "dialog/tui/draw.h"
#include "dialog/tui/printer.h"
#include "dialog/tui/terminal_view.h"

namespace orneh {
namespace dialog {
namespace tui {
namespace {

bool HasExtension(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    const std::size_t dot = path.rfind('.');
    return dot != std::string::npos && (slash == std::string::npos || dot > slash + 1);
}

class TerminalBackend : public Backend {
public:
    explicit TerminalBackend(const ModuleTexts& texts) : m_texts(texts) {}

    FontMetrics DialogFont(const std::string&, int) override {
        FontMetrics cells;  // one dialog-font character is one cell
        cells.averageWidth = 1;
        cells.height = 1;
        return cells;
    }

    std::unique_ptr<View> Open(const WindowModel& model, HWND) override {
        std::unique_ptr<TerminalView> view(new TerminalView(model));
        t_failure = view->ok() ? "" : view->why();
        if (!view->ok()) return nullptr;
        return std::unique_ptr<View>(view.release());
    }

    // A view that was made ends early only when its input ends.
    std::string Failure() override { return t_failure.empty() ? "the terminal's input ended" : t_failure; }

    void MessageBox(View* owner, const std::string& text, const std::string& caption,
                    unsigned int type) override {
        Popup popup;
        popup.title = caption;
        popup.text = text;
        popup.iconType = type;
        popup.buttons.push_back(m_texts.ok);
        Ask(owner, popup);
    }

    bool ChooseSaveFile(View* owner, const SaveRequest& request, std::string& path) override {
        std::string value = request.directory.empty() ? request.defaultName
                                                      : request.directory + "/" + request.defaultName;
        for (;;) {
            Popup prompt;
            prompt.title = request.title;
            prompt.field = &value;
            prompt.buttons = {m_texts.ok, m_texts.cancel};
            if (Ask(owner, prompt) != 0 || value.empty()) return false;
            std::string chosen = value;
            if (!request.defaultExtension.empty() && !HasExtension(chosen)) chosen += "." + request.defaultExtension;
            struct stat info;
            if (::stat(chosen.c_str(), &info) == 0) {
                Popup question;
                question.title = request.title;
                question.text = chosen + "\r\n" + m_texts.overwriteQuestion;
                question.iconType = MB_ICONWARNING;
                question.buttons = {m_texts.yes, m_texts.no};
                const int answer = Ask(owner, question);
                if (answer < 0 && TerminalSession::Interrupted()) return false;
                if (answer != 0) continue;  // not this file: the name can be changed
            }
            path = chosen;
            return true;
        }
    }

    PrintResult Print(View*, const std::string& documentName, PrintJob& job, std::string& where) override {
        return PrintToDefaultDestination(documentName, job, where);
    }

private:
    int Ask(View* owner, const Popup& popup) {
        if (owner) return static_cast<TerminalView*>(owner)->Ask(popup);
        TerminalSession session;
        if (!session.ok()) return -1;
        SetUpColours();
        return RunPopup(session, popup, nullptr);
    }

    const ModuleTexts m_texts;
    static thread_local std::string t_failure;
};

thread_local std::string TerminalBackend::t_failure;

// The module's backend when the process has a terminal to draw on; it lives
// as long as the process.
Backend* MakeBackend(const ModuleTexts& texts, std::string& why) {
    char reason[256] = "";
    if (!TerminalSession::Usable(reason, sizeof reason)) {
        why = reason;
        return nullptr;
    }
    static TerminalBackend backend(texts);
    return &backend;
}

}  // namespace
}  // namespace tui
}  // namespace dialog
}  // namespace orneh

ORNEH_DIALOG_MODULE_ENTRY(orneh::dialog::tui::MakeBackend)
