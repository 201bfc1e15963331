// The headless dialog: for processes without a terminal and a display. The
// dialog is written to stderr and answered from the environment.
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

#include "dialog/backend.h"
#include "platform/codepage.h"

namespace orneh {
namespace dialog {
namespace {

// A button label as shown: the '&' mnemonic marks removed ("&&" is "&").
std::string PlainLabel(const char* label) {
    std::string plain;
    for (const char* p = label; *p; ++p) {
        if (*p == '&' && p[1] != '&') continue;
        if (*p == '&') ++p;
        plain += *p;
    }
    return platform::Cp1252ToUtf8(plain.c_str());
}

Answer ChosenAnswer(const DialogModel& model) {
    const char* wanted = std::getenv("ORNEH_DIALOG_ANSWER");
    if (wanted && std::strcmp(wanted, "cancel") == 0) return Answer::kCancel;
    if (wanted && (std::strcmp(wanted, "2") == 0 || std::strcmp(wanted, "3") == 0)) {
        int index = wanted[0] - '1';
        // A hidden button cannot be pressed: the first one answers instead.
        if (model.buttons[index].visible) return index == 1 ? Answer::kButton2 : Answer::kButton3;
    }
    return Answer::kButton1;
}

void WriteAll(const std::string& text) {
    const char* data = text.data();
    std::size_t left = text.size();
    while (left > 0) {
        ssize_t written = ::write(2, data, left);
        if (written <= 0) return;
        data += written;
        left -= static_cast<std::size_t>(written);
    }
}

class Headless : public Backend {
public:
    Answer Run(const DialogModel& model) override {
        std::string out = "=== " + platform::Cp1252ToUtf8(model.caption) + " ===\n";
        out += platform::Cp1252ToUtf8(model.message);
        out += "\n---\n";
        for (const AnswerButton& button : model.buttons) {
            if (button.visible) out += "[" + PlainLabel(button.label) + "] ";
        }
        out += "\n";
        if (model.details) {
            out += "--- details ---\n";
            out += platform::Cp1252ToUtf8(model.details);
            out += "\n";
        }
        Answer answer = ChosenAnswer(model);
        out += "--> ";
        switch (answer) {
            case Answer::kButton1:
                out += PlainLabel(model.buttons[0].label);
                break;
            case Answer::kButton2:
                out += PlainLabel(model.buttons[1].label);
                break;
            case Answer::kButton3:
                out += PlainLabel(model.buttons[2].label);
                break;
            default:
                out += "(cancelled)";
                break;
        }
        out += "\n===\n";
        WriteAll(out);
        return answer;
    }
};

}  // namespace

Backend& HeadlessBackend() {
    static Headless backend;
    return backend;
}

}  // namespace dialog
}  // namespace orneh
