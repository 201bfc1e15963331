// The terminal dialog backend as a loadable module: the library dlopens
// libZKQTRNEH113_tui.so when the terminal dialog is chosen and asks it for
// its backend through ZKQTRNEH113_DialogBackend.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <memory>

#include "OrnLangIds.h"
#include "OrnLangResource.h"
#include "OrnLanguagePublisher.h"
#include "dialog/backend.h"
#include "platform/tui/cups_printer.h"
#include "platform/tui/draw.h"
#include "platform/tui/terminal_view.h"

namespace orneh {
namespace dialog {
namespace tui {
namespace {

// A text of the language module; fallback when it has none.
std::string LanguageText(unsigned int id, const char* fallback) {
    OrnLanguagePublisher* publisher = OrnLanguagePublisher::Instance();
    HINSTANCE module = publisher ? publisher->GetLangDependentResource() : nullptr;
    char buffer[512];
    if (!module || OrnResLoadString(module, id, buffer, sizeof buffer) <= 0) return fallback;
    return buffer;
}

// The label of the first answer button as the dialog template has it.
std::string OkLabel() {
    OrnLanguagePublisher* publisher = OrnLanguagePublisher::Instance();
    HINSTANCE module = publisher ? publisher->GetLangDependentResource() : nullptr;
    OrnResDialog tpl;
    if (module && OrnResLoadDialog(module, IDD_EH_DIALOG, tpl)) {
        for (const OrnResDialogItem& item : tpl.items) {
            if (item.id == 1 && !item.text.empty()) return item.text;
        }
    }
    return "OK";
}

bool HasExtension(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    const std::size_t dot = path.rfind('.');
    return dot != std::string::npos && (slash == std::string::npos || dot > slash + 1);
}

class TerminalBackend : public Backend {
public:
    FontMetrics DialogFont(const std::string&, int) override {
        FontMetrics cells;  // one dialog-font character is one cell
        cells.averageWidth = 1;
        cells.height = 1;
        return cells;
    }

    std::unique_ptr<View> Open(const WindowModel& model, HWND) override {
        std::unique_ptr<TerminalView> view(new TerminalView(model));
        if (!view->ok()) {
            std::fprintf(stderr, "ZKQTRNEH113: no terminal dialog: %s\n", view->why().c_str());
            return nullptr;
        }
        return std::unique_ptr<View>(view.release());
    }

    void MessageBox(View* owner, const std::string& text, const std::string& caption,
                    unsigned int type) override {
        Popup popup;
        popup.title = caption;
        popup.text = text;
        popup.iconType = type;
        popup.buttons.push_back(OkLabel());
        Ask(owner, popup);
    }

    bool ChooseSaveFile(View* owner, const SaveRequest& request, std::string& path) override {
        std::string value = request.directory.empty() ? request.defaultName
                                                      : request.directory + "/" + request.defaultName;
        for (;;) {
            Popup prompt;
            prompt.title = request.title;
            prompt.field = &value;
            prompt.buttons = {OkLabel(), LanguageText(IDS_EH_CANCEL, "Cancel")};
            if (Ask(owner, prompt) != 0 || value.empty()) return false;
            std::string chosen = value;
            if (!request.defaultExtension.empty() && !HasExtension(chosen)) chosen += "." + request.defaultExtension;
            struct stat info;
            if (::stat(chosen.c_str(), &info) == 0) {
                Popup question;
                question.title = request.title;
                question.text = chosen + "\r\n" + LanguageText(IDS_EH_OVERWRITE_QUESTION, "");
                question.iconType = 0x30;  // MB_ICONWARNING
                question.buttons = {LanguageText(IDS_EH_YES, "&Yes"), LanguageText(IDS_EH_NO, "&No")};
                const int answer = Ask(owner, question);
                if (answer < 0 && TerminalSession::Interrupted()) return false;
                if (answer != 0) continue;  // not this file: the name can be changed
            }
            path = chosen;
            return true;
        }
    }

    PrintResult Print(View*, const std::string& documentName, PrintJob& job) override {
        return PrintToDefaultDestination(documentName, job);
    }

private:
    int Ask(View* owner, const Popup& popup) {
        if (owner) return static_cast<TerminalView*>(owner)->Ask(popup);
        TerminalSession session;
        if (!session.ok()) return -1;
        SetUpColours();
        return RunPopup(session, popup, nullptr);
    }
};

}  // namespace
}  // namespace tui
}  // namespace dialog
}  // namespace orneh

extern "C" __attribute__((visibility("default"))) orneh::dialog::Backend* ZKQTRNEH113_DialogBackend(
    unsigned int abiVersion, char* why, std::size_t whySize) {
    try {
        if (abiVersion != orneh::dialog::kBackendAbiVersion) {
            if (why && whySize > 0) std::snprintf(why, whySize, "module built for another library version");
            return nullptr;
        }
        if (!orneh::dialog::tui::TerminalSession::Usable(why, whySize)) return nullptr;
        static orneh::dialog::tui::TerminalBackend backend;
        return &backend;
    } catch (...) {
        if (why && whySize > 0) std::snprintf(why, whySize, "out of memory");
        return nullptr;
    }
}
