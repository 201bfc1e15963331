// A dialog backend for tests: it records every dialog it is asked to show and
// plays a script of user actions into it, ending with the answer a test
// chose (the first button unless told otherwise). Installed for its
// lifetime. And the language module's strings, which the dialogs show.
#ifndef ZKQ_TESTS_SUPPORT_SCRIPTED_DIALOG_H
#define ZKQ_TESTS_SUPPORT_SCRIPTED_DIALOG_H

#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "OrnLangIds.h"
#include "OrnLangResource.h"
#include "dialog/backend.h"
#include "dialog/text_measure.h"
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
    std::string buttons;  // the visible answer buttons: "[label][label]"

    // Caption, message, button type and icon type in one line.
    std::string Summary() const {
        return caption + "|" + message + "|" + std::to_string(buttonType) + "|" + std::to_string(iconType);
    }
};

class ScriptedDialog : public orneh::dialog::Backend {
public:
    using Event = orneh::dialog::Event;
    using WindowModel = orneh::dialog::WindowModel;
    enum class Reply { kButton1, kButton2, kButton3, kCancel, kFailed };

    ScriptedDialog() { orneh::dialog::SetBackendForTesting(this); }
    ~ScriptedDialog() override { orneh::dialog::SetBackendForTesting(nullptr); }
    ScriptedDialog(const ScriptedDialog&) = delete;
    ScriptedDialog& operator=(const ScriptedDialog&) = delete;

    // How every later dialog ends (kFailed: no window can be made).
    void Answer(Reply answer) { m_answer = answer; }
    // What the user does in the next dialog before answering. A step may
    // also look at the model as the user sees it at that moment.
    void Script(std::vector<std::function<Event(const WindowModel&)>> steps) {
        m_steps.assign(steps.begin(), steps.end());
    }
    static std::function<Event(const WindowModel&)> Do(Event::Kind kind, unsigned int id = 0, std::string text = "") {
        return [=](const WindowModel&) { return Event{kind, id, text}; };
    }

    // Every model the last dialog showed, one per Update.
    const std::vector<WindowModel>& updates() const { return m_updates; }
    const std::vector<ShownDialog>& shown() const { return m_shown; }
    const ShownDialog& last() const { return m_shown.back(); }

    // The backend's answers to the report operations, and what it was asked.
    std::function<bool(const orneh::dialog::SaveRequest&, std::string&)> onSave;
    std::function<orneh::dialog::PrintResult(const std::string&, orneh::dialog::PrintJob&)> onPrint;
    std::string printedWhere;               // what Print says about where it went
    std::vector<std::string> messageBoxes;  // "caption|text|type"
    orneh::dialog::FontMetrics font{6, 13};

    orneh::dialog::FontMetrics DialogFont(const std::string&, int) override { return font; }

    std::unique_ptr<orneh::dialog::View> Open(const WindowModel& model, HWND) override {
        if (m_answer == Reply::kFailed) return nullptr;
        m_updates.clear();
        m_initial = model;
        m_answered = false;
        return std::unique_ptr<orneh::dialog::View>(new ScriptedView(*this));
    }
    void MessageBox(orneh::dialog::View*, const std::string& text, const std::string& caption,
                    unsigned int type) override {
        messageBoxes.push_back(caption + "|" + text + "|" + std::to_string(type));
    }
    bool ChooseSaveFile(orneh::dialog::View*, const orneh::dialog::SaveRequest& r, std::string& path) override {
        return onSave && onSave(r, path);
    }
    orneh::dialog::PrintResult Print(orneh::dialog::View*, const std::string& name, orneh::dialog::PrintJob& job,
                                     std::string& where) override {
        where = printedWhere;
        return onPrint ? onPrint(name, job) : orneh::dialog::PrintResult::kCancelled;
    }

private:
    class ScriptedView : public orneh::dialog::View {
    public:
        explicit ScriptedView(ScriptedDialog& owner) : m_owner(owner) {}
        void Update(const WindowModel& model) override {
            if (m_owner.m_updates.empty()) m_owner.Record(model);
            m_owner.m_updates.push_back(model);
        }
        Event WaitEvent() override { return m_owner.Next(); }
        int MeasureText(unsigned int id, const std::string& text, orneh::dialog::Rect& client) override {
            const auto* c = m_owner.m_updates.empty() ? nullptr : m_owner.m_updates.back().Find(id);
            if (!c) c = m_owner.m_initial.Find(id);
            client = orneh::dialog::Rect{0, 0, c->rect.Width(), c->rect.Height()};
            return orneh::dialog::CellTextHeight(text, client.Width(), m_owner.font);
        }

    private:
        ScriptedDialog& m_owner;
    };

    void Record(const WindowModel& model) {
        ShownDialog shown{model.caption, model.Find(IDC_EH_MESSAGE)->text, model.Find(IDC_EH_DETAILS)->text,
                          model.buttonType, model.iconType, ""};
        for (unsigned int id : {static_cast<unsigned int>(IDOK), 1000u, 1001u}) {
            if (model.Find(id)->visible) shown.buttons += "[" + model.Find(id)->text + "]";
        }
        m_shown.push_back(shown);
    }

    Event Next() {
        if (!m_steps.empty()) {
            auto step = m_steps.front();
            m_steps.pop_front();
            return step(m_updates.back());
        }
        // The answer is given once; a button that turned out hidden did
        // nothing, and the user then presses the first one.
        const bool again = m_answered;
        m_answered = true;
        switch (again ? Reply::kButton1 : m_answer) {
            case Reply::kButton2: return Event{Event::kClick, IDC_EH_BUTTON2, ""};
            case Reply::kButton3: return Event{Event::kClick, IDC_EH_BUTTON3, ""};
            case Reply::kCancel: return Event{Event::kCancel, 0, ""};
            default: return Event{Event::kOk, 0, ""};
        }
    }

    Reply m_answer = Reply::kButton1;
    bool m_answered = false;
    std::deque<std::function<Event(const WindowModel&)>> m_steps;
    std::vector<WindowModel> m_updates;
    WindowModel m_initial;
    std::vector<ShownDialog> m_shown;
};

}  // namespace zkqtest

#endif
