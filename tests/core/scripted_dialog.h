// A dialog backend for tests: it records every dialog it is asked to show
// (copies of the texts, the buttons as set up for the message type) and
// answers with the button a test scripted, or with the first one when the
// scripted button is hidden. Installed for the lifetime of the object; the
// environment's backend is back afterwards.
#ifndef ZKQ_TESTS_CORE_SCRIPTED_DIALOG_H
#define ZKQ_TESTS_CORE_SCRIPTED_DIALOG_H

#include <string>
#include <vector>

#include "dialog/backend.h"

namespace zkqtest {

struct ShownButton {
    std::string label;
    int result;
    bool visible;
};

struct ShownDialog {
    std::string caption;
    std::string message;
    bool hasDetails;
    std::string details;
    unsigned int buttonType;
    unsigned int iconType;
    ShownButton buttons[3];
};

class ScriptedDialog : public orneh::dialog::Backend {
public:
    explicit ScriptedDialog(orneh::dialog::Answer answer = orneh::dialog::Answer::kButton1)
        : m_answer(answer) {
        orneh::dialog::SetBackendForTesting(this);
    }
    ~ScriptedDialog() override { orneh::dialog::SetBackendForTesting(nullptr); }
    ScriptedDialog(const ScriptedDialog&) = delete;
    ScriptedDialog& operator=(const ScriptedDialog&) = delete;

    void Answer(orneh::dialog::Answer answer) { m_answer = answer; }

    orneh::dialog::Answer Run(const orneh::dialog::DialogModel& model) override {
        ShownDialog shown;
        shown.caption = model.caption;
        shown.message = model.message;
        shown.hasDetails = model.details != nullptr;
        shown.details = model.details ? model.details : "";
        shown.buttonType = model.buttonType;
        shown.iconType = model.iconType;
        for (int i = 0; i < 3; ++i) {
            shown.buttons[i] = ShownButton{model.buttons[i].label ? model.buttons[i].label : "",
                                           model.buttons[i].result, model.buttons[i].visible};
        }
        m_shown.push_back(shown);
        // A hidden button cannot be pressed: the first one answers instead.
        int index = m_answer == orneh::dialog::Answer::kButton2   ? 1
                    : m_answer == orneh::dialog::Answer::kButton3 ? 2
                                                                  : 0;
        if (index > 0 && !model.buttons[index].visible) return orneh::dialog::Answer::kButton1;
        return m_answer;
    }

    const std::vector<ShownDialog>& shown() const { return m_shown; }
    const ShownDialog& last() const { return m_shown.back(); }

private:
    orneh::dialog::Answer m_answer;
    std::vector<ShownDialog> m_shown;
};

}  // namespace zkqtest

#endif
