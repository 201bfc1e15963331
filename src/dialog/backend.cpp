#include "dialog/backend.h"

#include <atomic>
#include <cstring>
#include <string>

#include "OrnLangIds.h"
#include "OrnLangResource.h"
#include "base/settings.h"
#include "module/language.h"
#include "platform/module_loader.h"
#include "platform/system.h"
#include "posix_io.h"

#ifndef ZKQ_INSTALL_LIBDIR
#define ZKQ_INSTALL_LIBDIR ""
#endif

namespace orneh {
namespace dialog {
namespace {

std::atomic<Backend*> g_testBackend{nullptr};

// A text of the language module, or fallback when it has none.
std::string TextOr(unsigned int id, const char* fallback) {
    std::string text = module::LanguageText(id);
    return text.empty() ? fallback : text;
}

// What a module's own windows show, in the language of the dialog.
ModuleTexts TextsForModules() {
    ModuleTexts texts;
    texts.ok = "OK";
    OrnResDialog tpl;
    if (OrnResLoadDialog(module::LanguageModule(), IDD_EH_DIALOG, tpl)) {
        for (const OrnResDialogItem& item : tpl.items) {
            if (item.id == IDOK && !item.text.empty()) {
                texts.ok = item.text;
                break;
            }
        }
    }
    texts.cancel = TextOr(IDS_EH_CANCEL, "Cancel");
    texts.yes = TextOr(IDS_EH_YES, "&Yes");
    texts.no = TextOr(IDS_EH_NO, "&No");
    texts.overwriteQuestion = TextOr(IDS_EH_OVERWRITE_QUESTION, "");
    return texts;
}

// Loading a module is held across fork(), so that a child never finds it
// half done by a thread it does not have.
platform::Mutex g_loadLock;
platform::HeldAcrossFork<g_loadLock> g_loadLockAcrossFork;

// A loaded backend module: tried once, kept for the life of the process.
struct ModuleBackend {
    bool tried = false;
    std::atomic<Backend*> backend{nullptr};
    std::string why;

    Backend* Get(const char* name) {
        platform::MutexLock lock(g_loadLock);
        if (tried) return backend;
        tried = true;
        void* symbol = platform::LoadModuleSymbol(name, kBackendEntrySymbol, ZKQ_INSTALL_LIBDIR, why);
        if (!symbol) return nullptr;
        const ModuleTexts texts = TextsForModules();
        char reason[256] = "";
        backend = reinterpret_cast<BackendEntry>(symbol)(kBackendAbiVersion, &texts, reason, sizeof reason);
        if (!backend) why = *reason ? reason : std::string(name) + " declined";
        return backend;
    }
};

ModuleBackend g_gui, g_terminal;

// The module's backend when its precondition holds (else why says what is missing).
Backend* FromModule(ModuleBackend& module, const char* name, bool usable, const char* missing, std::string& why) {
    if (!usable) {
        why = missing;
        return nullptr;
    }
    Backend* backend = module.Get(name);
    if (!backend) why = module.why;
    return backend;
}

Backend* Gui(std::string& why) {
    return FromModule(g_gui, kGuiModuleName, platform::DisplayNamed(),
                      "no display (neither WAYLAND_DISPLAY nor DISPLAY is set)", why);
}

Backend* Terminal(std::string& why) {
    return FromModule(g_terminal, kTerminalModuleName, platform::HasControllingTerminal(),
                      "no controlling terminal", why);
}

// The terminal dialog as auto mode's second choice: only where somebody may
// sit at it. Input from elsewhere (a file, a pipe, a session recorder fed
// nothing) and CI runs mean nobody answers.
Backend* AttendedTerminal(std::string& why) {
    if (base::GetSetting(base::Setting::kCi)) {
        why = "CI is set";
        return nullptr;
    }
    if (!platform::InputIsControllingTerminal()) {
        why = "standard input is not the terminal";
        return nullptr;
    }
    return Terminal(why);
}

void Say(const std::string& text) {
    const std::string line = "ZKQTRNEH113: " + text + "; the error dialog goes to stderr\n";
    ornlang::posix::WriteFull(2, line.data(), line.size());
}

void SayWhy(const char* choice, const std::string& why) {
    Say("ORNEH_DIALOG=" + std::string(choice) + " cannot be honoured (" + why + ")");
}

}  // namespace

void SetBackendForTesting(Backend* backend) { g_testBackend.store(backend); }

Backend* FallbackAfterFailedOpen(Backend& failed) {
    const bool module = &failed == g_gui.backend || &failed == g_terminal.backend;
    if (!module) return nullptr;
    Say(std::string(&failed == g_gui.backend ? "the graphical" : "the terminal") + " dialog has no window (" +
        failed.Failure() + ")");
    return &HeadlessBackend();
}

Backend& ChooseBackend() {
    if (Backend* backend = g_testBackend.load()) return *backend;
    const char* choice = base::GetSetting(base::Setting::kDialog);
    if (!*choice) choice = "auto";
    std::string why;
    if (std::strcmp(choice, "headless") == 0) return HeadlessBackend();
    if (std::strcmp(choice, "auto") == 0) {
        if (Backend* backend = Gui(why)) return *backend;
        std::string noTerminal;
        if (Backend* backend = AttendedTerminal(noTerminal)) return *backend;
        // Said once: a process without a desktop or a person reports often.
        static std::atomic<bool> said{false};
        if (!said.exchange(true)) Say("no window (" + why + ") and no terminal dialog (" + noTerminal + ")");
        return HeadlessBackend();
    }
    Backend* backend = nullptr;
    if (std::strcmp(choice, "gui") == 0) {
        backend = Gui(why);
    } else if (std::strcmp(choice, "terminal") == 0) {
        backend = Terminal(why);
    } else {
        why = "unknown choice; use auto, gui, terminal or headless";
    }
    if (backend) return *backend;
    SayWhy(choice, why);
    return HeadlessBackend();
}

}  // namespace dialog
}  // namespace orneh
