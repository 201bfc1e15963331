// The error dialog's answer buttons and results for every message type, what
// it hands to its backend, and the headless backend's output and answers.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <unistd.h>

#include "OrnLangIds.h"
#include "OrnLangResource.h"
#include "core/scripted_dialog.h"
#include "dialog/error_dialog.h"
#include "module/language.h"
#include "platform/codepage.h"
#include "support/test_util.h"

using orneh::dialog::Answer;
using orneh::dialog::OrnEhDialog;
using zkqtest::ScriptedDialog;

namespace {

std::string LangString(unsigned int id) {
    char buffer[256] = "";
    EXPECT_GE(OrnResLoadString(orneh::module::LanguageModule(), id, buffer, sizeof buffer), 0) << id;
    return buffer;
}

// The label of a control in the language module's dialog template.
std::string TemplateLabel(unsigned int id) {
    OrnResDialog tpl;
    EXPECT_TRUE(OrnResLoadDialog(orneh::module::LanguageModule(), IDD_EH_DIALOG, tpl));
    for (const OrnResDialogItem& item : tpl.items) {
        if (item.id == id) return item.text;
    }
    ADD_FAILURE() << "no control " << id;
    return std::string();
}

int RunDialog(unsigned long style, Answer answer, ScriptedDialog& backend) {
    backend.Answer(answer);
    OrnEhDialog dialog(nullptr);
    dialog.SetMessage("Nachricht", "Titel", style);
    return dialog.DoModal();
}

// One row of the button table: label and result of each answer button; an
// empty label with result 0 and hidden marks a button that is not there.
struct ButtonRow {
    unsigned int buttonType;
    const char* labels[3];  // a string id as text, "tpl" for the template's, "" hidden
    int results[3];
};

std::string ExpectedLabel(const char* spec, unsigned int templateId) {
    std::string s = spec;
    if (s == "tpl") return TemplateLabel(templateId);
    if (s.empty()) return s;
    return LangString(static_cast<unsigned int>(std::stoul(s)));
}

TEST(DialogTest, AnswerButtonsForEveryMessageType) {
    const ButtonRow rows[] = {
        {MB_OK, {"tpl", "", ""}, {IDOK, 0, 0}},
        {MB_OKCANCEL, {"tpl", "2118", ""}, {IDOK, IDCANCEL, 0}},
        {MB_ABORTRETRYIGNORE, {"2118", "2119", "2120"}, {IDABORT, IDRETRY, IDIGNORE}},
        {MB_YESNOCANCEL, {"2121", "2122", "2118"}, {IDYES, IDNO, IDCANCEL}},
        {MB_YESNO, {"2121", "2122", ""}, {IDYES, IDNO, 0}},
        {MB_RETRYCANCEL, {"2119", "2118", ""}, {IDRETRY, IDCANCEL, 0}},
        {6, {"tpl", "tpl", "tpl"}, {0, 0, 0}},
        {15, {"tpl", "tpl", "tpl"}, {0, 0, 0}},
    };
    const unsigned int templateIds[3] = {IDOK, IDC_EH_BUTTON2, IDC_EH_BUTTON3};
    const Answer answers[3] = {Answer::kButton1, Answer::kButton2, Answer::kButton3};
    ScriptedDialog backend;
    for (const ButtonRow& row : rows) {
        SCOPED_TRACE(row.buttonType);
        for (int i = 0; i < 3; ++i) {
            const bool visible = row.labels[i][0] != '\0';
            // A hidden button cannot be pressed; the scripted user presses
            // the first one instead.
            int expected = visible ? row.results[i] : row.results[0];
            EXPECT_EQ(RunDialog(row.buttonType | MB_ICONERROR, answers[i], backend), expected) << i;
            const zkqtest::ShownDialog& shown = backend.last();
            EXPECT_EQ(shown.buttonType, row.buttonType);
            EXPECT_EQ(shown.iconType, 0x10u);
            for (int b = 0; b < 3; ++b) {
                const bool there = row.labels[b][0] != '\0';
                EXPECT_EQ(shown.buttons[b].visible, there) << b;
                if (there) {
                    EXPECT_EQ(shown.buttons[b].label, ExpectedLabel(row.labels[b], templateIds[b])) << b;
                    EXPECT_EQ(shown.buttons[b].result, row.results[b]) << b;
                }
            }
        }
        // Escape or the close box ends every dialog with IDCANCEL.
        EXPECT_EQ(RunDialog(row.buttonType, Answer::kCancel, backend), IDCANCEL);
    }
}

TEST(DialogTest, StyleSplitsIntoButtonsAndIconAndTextsReachTheBackend) {
    ScriptedDialog backend(Answer::kButton2);
    OrnEhDialog dialog(nullptr);
    dialog.SetMessage("M\xFC", "C\xDC", 0xFF34);
    dialog.SetDetails("Fehler: 1.2.2024\r\n");
    EXPECT_EQ(dialog.DoModal(), IDNO);
    EXPECT_EQ(backend.last().buttonType, 4u);
    EXPECT_EQ(backend.last().iconType, 0x30u);
    EXPECT_EQ(backend.last().message, "M\xFC");
    EXPECT_EQ(backend.last().caption, "C\xDC");
    EXPECT_TRUE(backend.last().hasDetails);
    EXPECT_EQ(backend.last().details, "Fehler: 1.2.2024\r\n");

    OrnEhDialog bare(nullptr);
    bare.SetMessage(nullptr, nullptr, MB_OK);
    EXPECT_EQ(bare.DoModal(), IDOK);
    EXPECT_EQ(backend.last().message, "");
    EXPECT_EQ(backend.last().caption, "");
    EXPECT_FALSE(backend.last().hasDetails);
}

TEST(DialogTest, BackendThatCannotShowGivesMinusOne) {
    ScriptedDialog backend(Answer::kFailed);
    OrnEhDialog dialog(nullptr);
    dialog.SetMessage("m", "c", MB_OK);
    EXPECT_EQ(dialog.DoModal(), -1);
}

// --- Headless backend ---------------------------------------------------------

// Everything written to file descriptor 2 while it lives.
class CapturedStderr {
public:
    CapturedStderr() : m_path(m_dir.file("stderr.txt")) {
        std::fflush(stderr);
        m_saved = ::dup(2);
        std::FILE* file = std::fopen(m_path.c_str(), "wb");
        if (file) {
            ::dup2(::fileno(file), 2);
            std::fclose(file);
        }
    }
    ~CapturedStderr() { Restore(); }
    CapturedStderr(const CapturedStderr&) = delete;
    CapturedStderr& operator=(const CapturedStderr&) = delete;

    std::string Text() {
        Restore();
        return zkqtest::ReadFile(m_path);
    }

private:
    void Restore() {
        if (m_saved < 0) return;
        std::fflush(stderr);
        ::dup2(m_saved, 2);
        ::close(m_saved);
        m_saved = -1;
    }

    zkqtest::TempDir m_dir;
    std::string m_path;
    int m_saved = -1;
};

// A label as the headless dialog prints it: mnemonic marks gone, UTF-8.
std::string Shown(const std::string& label) {
    std::string plain;
    for (char c : label) {
        if (c != '&') plain += c;
    }
    return orneh::platform::Cp1252ToUtf8(plain.c_str());
}

int RunHeadless(unsigned long style, const char* answer, const char* details, std::string& out) {
    zkqtest::ScopedEnv env("ORNEH_DIALOG_ANSWER", answer);
    CapturedStderr captured;
    OrnEhDialog dialog(nullptr);
    dialog.SetMessage("Zeile 1\r\nZeile 2", "Titel \xDC", style);
    if (details) dialog.SetDetails(details);
    int result = dialog.DoModal();
    out = captured.Text();
    return result;
}

TEST(HeadlessDialogTest, WritesTheDialogAndEndsWithTheFirstButton) {
    std::string out;
    EXPECT_EQ(RunHeadless(MB_OKCANCEL, nullptr, "Fehler: Details", out), IDOK);
    const std::string ok = Shown(TemplateLabel(IDOK));
    const std::string cancel = Shown(LangString(IDS_EH_CANCEL));
    EXPECT_EQ(out, "=== Titel \xC3\x9C ===\nZeile 1\r\nZeile 2\n---\n[" + ok + "] [" + cancel +
                       "] \n--- details ---\nFehler: Details\n--> " + ok + "\n===\n");

    // Without details there is no details part.
    EXPECT_EQ(RunHeadless(MB_OK, nullptr, nullptr, out), IDOK);
    EXPECT_EQ(out.find("--- details ---"), std::string::npos) << out;
}

TEST(HeadlessDialogTest, AnswerComesFromTheEnvironment) {
    struct Case {
        unsigned long style;
        const char* answer;
        int result;
    };
    const Case cases[] = {
        {MB_ABORTRETRYIGNORE, "1", IDABORT},  {MB_ABORTRETRYIGNORE, "2", IDRETRY},
        {MB_ABORTRETRYIGNORE, "3", IDIGNORE}, {MB_ABORTRETRYIGNORE, "cancel", IDCANCEL},
        {MB_OKCANCEL, "3", IDOK},  // the third button is hidden
        {MB_YESNO, "2", IDNO},               {MB_YESNO, "bogus", IDYES},
        {MB_OK, "cancel", IDCANCEL},
    };
    for (const Case& c : cases) {
        std::string out;
        EXPECT_EQ(RunHeadless(c.style, c.answer, nullptr, out), c.result) << c.style << " " << c.answer;
        if (c.result == IDCANCEL && std::string(c.answer) == "cancel") {
            EXPECT_NE(out.find("--> (cancelled)\n===\n"), std::string::npos) << out;
        }
    }
}

}  // namespace
