// A dialog backend for tests: it records every dialog it is asked to show and
// answers with the button a test scripted (the first one when that button is
// hidden). Installed for its lifetime. And the language module's strings,
// which the dialogs show.
#ifndef ZKQ_TESTS_CORE_SCRIPTED_DIALOG_H
#define ZKQ_TESTS_CORE_SCRIPTED_DIALOG_H

#include <string>
#include <vector>

#include "OrnLangResource.h"
#include "dialog/backend.h"
#include "module/language.h"

namespace zkqtest {

inline std::string LangString(unsigned int id) {
    char buffer[512] = "";
    const bool there = OrnResLoadString(orneh::module::LanguageModule(), id, buffer, sizeof buffer) >= 0;
    return there ? buffer : "(no string " + std::to_string(id) + ")";
}

struct ShownDialog {
    std::string caption, message, details;
    unsigned int buttonType, iconType;
    std::string buttons;  // the visible answer buttons: "[label=result][label=result]"

    // Caption, message, button type and icon type in one line.
    std::string Summary() const {
        return caption + "|" + message + "|" + std::to_string(buttonType) + "|" + std::to_string(iconType);
    }
};

class ScriptedDialog : public orneh::dialog::Backend {
public:
    ScriptedDialog() { orneh::dialog::SetBackendForTesting(this); }
    ~ScriptedDialog() override { orneh::dialog::SetBackendForTesting(nullptr); }
    ScriptedDialog(const ScriptedDialog&) = delete;
    ScriptedDialog& operator=(const ScriptedDialog&) = delete;

    void Answer(orneh::dialog::Answer answer) { m_answer = answer; }

    orneh::dialog::Answer Run(const orneh::dialog::DialogModel& model) override {
        using orneh::dialog::Answer;
        ShownDialog shown{model.caption, model.message, model.details ? model.details : "", model.buttonType,
                          model.iconType, ""};
        for (const auto& b : model.buttons) {
            if (b.visible) shown.buttons += "[" + std::string(b.label) + "=" + std::to_string(b.result) + "]";
        }
        m_shown.push_back(shown);
        const int index = m_answer == Answer::kButton2 ? 1 : m_answer == Answer::kButton3 ? 2 : 0;
        return index > 0 && !model.buttons[index].visible ? Answer::kButton1 : m_answer;
    }

    const std::vector<ShownDialog>& shown() const { return m_shown; }
    const ShownDialog& last() const { return m_shown.back(); }

private:
    orneh::dialog::Answer m_answer = orneh::dialog::Answer::kButton1;
    std::vector<ShownDialog> m_shown;
};

}  // namespace zkqtest

#endif
