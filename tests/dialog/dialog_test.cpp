// The error dialog's logic against a scripted backend: the window built from
// the language module's template, the answer buttons of every message type,
// the details area, the message's scroll bar, and the report operations
// (report text, save, print, hand-over with their messages); the headless
// backend; the choice of backend.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>

#include "OrnEh.h"
#include "OrnLangIds.h"
#include "compat/OrnEhWnd.h"
#include "support/scripted_dialog.h"
#include "dialog/error_dialog.h"
#include "base/alloc.h"
#include "compat/codepage.h"
#include "compat/system_message.h"
#include "runtime/admin.h"
#include "support/child_process.h"
#include "support/test_util.h"

using orneh::dialog::Event;
using orneh::dialog::OrnEhDialog;
using orneh::dialog::PrintResult;
using orneh::dialog::WindowModel;
using zkqtest::LangString;
using zkqtest::ScriptedDialog;
using Answer = ScriptedDialog::Reply;

namespace {

const OrnResDialog& Template() {
    static OrnResDialog tpl = [] {
        OrnResDialog t;
        OrnResLoadDialog(orneh::module::LanguageModule(), IDD_EH_DIALOG, t);
        return t;
    }();
    return tpl;
}

// The template's control with id; an empty item (id 0) when there is none.
const OrnResDialogItem& TemplateItem(unsigned int id) {
    static const OrnResDialogItem none{};
    for (const OrnResDialogItem& item : Template().items) {
        if (item.id == id) return item;
    }
    return none;
}

// Runs a dialog with style and message on the scripted backend (which must
// exist), given what a report gives it; the result of DoModal.
int RunDialog(ScriptedDialog&, unsigned long style, const char* message = "M", const char* details = "D") {
    OrnEhDialog dialog(nullptr);
    dialog.SetLogFile(&GetCurrentContainer()->logFile);
    dialog.SetApplicationName(GetApplicationName());
    dialog.SetMessage(message, "C", style);
    dialog.SetDetails(details);
    return dialog.DoModal();
}

// The details area's controls and whether each is enabled, as "id+" or "id-"
// ("id hidden" for a hidden one).
std::string AreaState(const WindowModel& m) {
    std::string out;
    for (unsigned int id : {IDC_EH_SAVE, IDC_EH_DETAILS_FRAME, IDC_EH_DETAILS, IDC_EH_PRINT, IDC_EH_HANDOVER,
                            IDC_EH_COMMENT}) {
        const auto* c = m.Find(id);
        out += std::to_string(id) + (!c->visible ? " hidden " : c->enabled ? "+ " : "- ");
    }
    return out;
}

std::function<Event(const WindowModel&)> Click(unsigned int id) { return ScriptedDialog::Do(Event::kClick, id); }

TEST(DialogTest, AnswerButtons) {
    auto lang = [](unsigned int id) { return "[" + LangString(id) + "]"; };
    auto label = [](unsigned int id) { return "[" + TemplateItem(id).text + "]"; };
    const std::string ok = label(IDOK), cancel = lang(IDS_EH_CANCEL), retry = lang(IDS_EH_RETRY), yes = lang(IDS_EH_YES), no = lang(IDS_EH_NO);
    // results: pressing the first, second and third button (the scripted user
    // presses the first one after a hidden button did nothing), then Escape.
    const struct { unsigned int type; std::string buttons; int results[4]; } rows[] = {
        {MB_OK, ok, {IDOK, IDOK, IDOK, IDCANCEL}},
        {MB_OKCANCEL, ok + cancel, {IDOK, IDCANCEL, IDOK, IDCANCEL}},
        {MB_ABORTRETRYIGNORE, lang(IDS_EH_ABORT) + retry + lang(IDS_EH_IGNORE), {IDABORT, IDRETRY, IDIGNORE, IDCANCEL}},
        {MB_YESNOCANCEL, yes + no + cancel, {IDYES, IDNO, IDCANCEL, IDCANCEL}},
        {MB_YESNO, yes + no, {IDYES, IDNO, IDYES, IDCANCEL}},
        {MB_RETRYCANCEL, retry + cancel, {IDRETRY, IDCANCEL, IDRETRY, IDCANCEL}},
        // Above 5: the template's three buttons, each ending with 0.
        {6, ok + label(IDC_EH_BUTTON2) + label(IDC_EH_BUTTON3), {0, 0, 0, IDCANCEL}},
    };
    const Answer answers[] = {Answer::kButton1, Answer::kButton2, Answer::kButton3, Answer::kCancel};
    ScriptedDialog backend;
    for (const auto& row : rows) {
        for (int i = 0; i < 4; ++i) {
            backend.Answer(answers[i]);
            EXPECT_EQ(RunDialog(backend, row.type | MB_ICONERROR | 0xFF00), row.results[i]) << row.type << " answer " << i;
            EXPECT_EQ(backend.last().Summary(), "C|M|" + std::to_string(row.type) + "|16");
            EXPECT_EQ(backend.last().buttons, row.buttons);
            // A hidden button is disabled as well.
            for (const auto& c : backend.updates().back().controls) EXPECT_TRUE(c.visible || !c.enabled) << c.id;
        }
    }
    backend.Answer(Answer::kFailed);  // a backend that cannot make the window
    EXPECT_EQ(RunDialog(backend, MB_OK), -1);
}

TEST(DialogTest, ControlPlacement) {
    ScriptedDialog backend;
    backend.font = {7, 15};
    RunDialog(backend, MB_OK);
    const WindowModel& m = backend.updates().front();
    auto x = [&](int units) { return static_cast<int>(std::lround(units * 7 / 4.0)); };
    auto y = [&](int units) { return static_cast<int>(std::lround(units * 15 / 8.0)); };
    EXPECT_EQ(m.width, x(Template().cx));
    ASSERT_EQ(m.controls.size(), Template().items.size());
    for (std::size_t i = 0; i < m.controls.size(); ++i) {
        const OrnResDialogItem& item = Template().items[i];
        const auto& r = m.controls[i].rect;
        EXPECT_EQ(std::vector<int>({r.left, r.top, r.right, r.bottom}),
                  std::vector<int>({x(item.x), y(item.y), x(item.x + item.cx), y(item.y + item.cy)})) << item.id;
    }
}

TEST(DialogTest, DetailsAreaHeight) {
    ScriptedDialog backend;
    const int full = static_cast<int>(std::lround(Template().cy * 13 / 8.0));
    const std::string show = LangString(IDS_EH_DETAILS_SHOW), hide = LangString(IDS_EH_DETAILS_HIDE);
    // The hand-over button is there for an error only, and a warning loses it for good.
    const struct { unsigned int icon; const char* handOver; } rows[] = {{MB_ICONERROR, "1708+ "}, {MB_ICONWARNING, "1708 hidden "}};
    for (const auto& row : rows) {
        backend.Script({Click(IDC_EH_DETAILS_TOGGLE), Click(IDC_EH_DETAILS_TOGGLE), Click(IDC_EH_DETAILS_TOGGLE),
                        Click(IDC_EH_DETAILS_TOGGLE)});
        EXPECT_EQ(RunDialog(backend, MB_YESNO | row.icon, "M", "Ds"), IDYES);
        const auto& u = backend.updates();
        ASSERT_EQ(u.size(), 5u);
        const int frameTop = u[0].Find(IDC_EH_DETAILS_FRAME)->rect.top;
        EXPECT_EQ(std::vector<int>({u[0].height, u[1].height, u[2].height, u[3].height, u[4].height}),
                  std::vector<int>({frameTop, full, frameTop, full, frameTop}));
        const std::string hidden = row.icon == MB_ICONERROR ? "1708- " : "1708 hidden ";
        for (int i = 0; i < 5; ++i) {
            const bool shown = i % 2 == 1;
            EXPECT_EQ(AreaState(u[i]), shown ? "1702+ 1703+ 1706+ 1707+ " + std::string(row.handOver) + "1709+ "
                                             : "1702- 1703- 1706- 1707- " + (i == 0 ? "1708- " : hidden) + "1709- ") << i;
            EXPECT_EQ(u[i].Find(IDC_EH_DETAILS_TOGGLE)->text, shown ? hide : show);
            EXPECT_EQ(u[i].Find(IDC_EH_DETAILS)->text + u[i].Find(IDC_EH_MESSAGE)->text, "DsM");
        }
    }
}

TEST(DialogTest, FocusOnDetailsToggle) {
    ScriptedDialog backend;
    backend.Script({Click(IDC_EH_DETAILS_TOGGLE), ScriptedDialog::Do(Event::kFocus, IDC_EH_PRINT), Click(IDC_EH_DETAILS_TOGGLE),
                    Click(IDC_EH_DETAILS_TOGGLE), ScriptedDialog::Do(Event::kFocus, IDC_EH_HANDOVER), Click(IDC_EH_DETAILS_TOGGLE),
                    ScriptedDialog::Do(Event::kFocus, IDOK), Click(IDC_EH_DETAILS_TOGGLE), Click(IDC_EH_DETAILS_TOGGLE)});
    RunDialog(backend, MB_OK | MB_ICONERROR);
    std::vector<unsigned int> focus;
    for (const auto& m : backend.updates()) focus.push_back(m.focus);
    // First the message (the first control that takes the keyboard); opening
    // goes to the comment, closing leaves the area for the details button,
    // and a focus outside the area stays where it is.
    EXPECT_EQ(focus, std::vector<unsigned int>({IDC_EH_MESSAGE, IDC_EH_COMMENT, IDC_EH_PRINT, IDC_EH_DETAILS_TOGGLE,
                                                IDC_EH_COMMENT, IDC_EH_HANDOVER, IDC_EH_DETAILS_TOGGLE, IDOK,
                                                IDC_EH_COMMENT, IDC_EH_DETAILS_TOGGLE}));
}

TEST(DialogTest, MessageScrollBar) {
    ScriptedDialog backend;
    const OrnResDialogItem& edit = TemplateItem(IDC_EH_MESSAGE);
    ASSERT_EQ(edit.id, IDC_EH_MESSAGE);
    // The edit's client area in lines and columns of the scripted 6 x 13 font.
    const int lines = static_cast<int>(std::lround(edit.cy * 13 / 8.0)) / 13;
    const int columns = static_cast<int>(std::lround(edit.cx * 6 / 4.0)) / 6;
    std::string fits, longer;
    for (int i = 0; i < lines; ++i) fits += (i ? "\r\n" : "") + std::string(static_cast<std::size_t>(columns), 'x');
    longer = fits + " y";  // one word more wraps into one line more
    for (const std::string& message : {fits, longer}) {
        RunDialog(backend, MB_OK, message.c_str());
        const bool scrolls = (backend.updates().front().Find(IDC_EH_MESSAGE)->style & orneh::dialog::kStyleVScroll) != 0;
        EXPECT_EQ(scrolls, message == longer);
    }
}

// --- Report operations -----------------------------------------------------

// A main window that records what it is handed and answers as told.
class TestMainWindow : public CWnd {
public:
    LRESULT answer = 1;
    bool throws = false;
    std::vector<std::string> handed;  // "firstLine|text|logFile"

protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
        if (message != WM_EH_HANDOVER || wParam != 0) return 0;
        const auto* info = reinterpret_cast<const OrnEhHandOverInfo*>(lParam);
        handed.push_back(std::string(info->firstLine) + "|" + std::string(info->text) + "|" + std::string(info->logFile));
        if (throws) throw 1;
        return answer;
    }
};

struct MainWindowScope {
    explicit MainWindowScope(CWnd* w) : previous(OrnEhSetMainWnd(w)) {}
    ~MainWindowScope() { OrnEhSetMainWnd(previous); }
    CWnd* previous;
};

class ReportOutputTest : public ::testing::Test {
protected:
    std::string Report(const std::string& comment) const {
        return std::string("Line 1\r\nLine 2") + (comment.empty() ? "" : LangString(IDS_EH_COMMENT_HEADING) + comment) +
               LangString(IDS_EH_DETAILS_HEADING) + "Details";
    }
    std::string Message(unsigned int text, unsigned int caption) const { return LangString(caption) + "|" + LangString(text) + "|48"; }
    void RunWith(std::vector<std::function<Event(const WindowModel&)>> steps) {
        m_backend.Script(std::move(steps));
        RunDialog(m_backend, MB_OK | MB_ICONERROR, "Line 1\r\nLine 2", "Details");
    }
    static std::function<Event(const WindowModel&)> Type(const char* text) { return ScriptedDialog::Do(Event::kEdited, IDC_EH_COMMENT, text); }

    ScriptedDialog m_backend;
    TestMainWindow m_main;
    MainWindowScope m_scope{&m_main};
    zkqtest::TempDir m_dir;
};

TEST_F(ReportOutputTest, HandOverComment) {
    m_backend.onPrint = [](const std::string&, orneh::dialog::PrintJob&) { return PrintResult::kCancelled; };
    RunWith({Click(IDC_EH_DETAILS_TOGGLE), Type("first"), Click(IDC_EH_HANDOVER), Click(IDC_EH_PRINT),
             Type("second"), Click(IDC_EH_HANDOVER)});
    char log[260] = "";
    GetCurrentContainer()->logFile.GetFullPath(log, sizeof log);
    EXPECT_EQ(m_main.handed, std::vector<std::string>({"Line 1|" + Report("") + "|" + log,
                                                       "Line 1|" + Report("first") + "|" + log}));
    EXPECT_TRUE(m_backend.messageBoxes.empty());
}

TEST_F(ReportOutputTest, HandOverRefusal) {
    const std::string refused = Message(IDS_EH_HANDOVER_REFUSED, IDS_EH_HANDOVER_REFUSED_CAPTION);
    m_main.answer = 0;
    RunWith({Click(IDC_EH_DETAILS_TOGGLE), Click(IDC_EH_HANDOVER)});
    m_main.throws = true;
    RunWith({Click(IDC_EH_DETAILS_TOGGLE), Click(IDC_EH_HANDOVER)});
    EXPECT_EQ(m_backend.messageBoxes, std::vector<std::string>({refused, refused}));
    // Without a main window the box has the application's name as caption.
    MainWindowScope none(nullptr);
    RunWith({Click(IDC_EH_DETAILS_TOGGLE), Click(IDC_EH_HANDOVER)});
    const std::string app = GetApplicationName() && *GetApplicationName() ? GetApplicationName() : program_invocation_short_name;
    EXPECT_EQ(m_backend.messageBoxes.back(), app + "|" + LangString(IDS_EH_HANDOVER_REFUSED) + "|48");
}

TEST_F(ReportOutputTest, Save) {
    orneh::dialog::SaveRequest asked;
    std::string target = m_dir.file("report.txt");
    zkqtest::WriteFile(target, std::string(5000, 'o'));  // replaced, not appended to
    m_backend.onSave = [&](const orneh::dialog::SaveRequest& r, std::string& path) {
        asked = r;
        path = target;
        return true;
    };
    RunWith({Click(IDC_EH_DETAILS_TOGGLE), Type("typed \xFC"), Click(IDC_EH_SAVE)});
    EXPECT_EQ(zkqtest::ReadFile(target), Report("typed \xFC"));
    char directory[260] = "";
    GetCurrentContainer()->logFile.GetDirectory(directory, sizeof directory);
    EXPECT_EQ(asked.title + "|" + asked.filters.at(0).name + "|" + asked.filters.at(0).pattern + "|" +
                  asked.filters.at(1).name + "|" + asked.filters.at(1).pattern + "|" + asked.defaultExtension + "|" +
                  asked.defaultName + "|" + asked.directory,
              LangString(IDS_EH_SAVE_TITLE) + "|" + LangString(IDS_EH_FILTER_TEXT) + " (*.txt)|*.txt|" +
                  LangString(IDS_EH_FILTER_ALL) + " (*.*)|*.*|" + LangString(IDS_EH_DEFAULT_EXTENSION) + "|" +
                  LangString(IDS_EH_DEFAULT_FILE_NAME) + "|" + directory);
    // A file that cannot be written gives message 2125 with the reason.
    target = m_dir.file("missing/report.txt");
    RunWith({Click(IDC_EH_DETAILS_TOGGLE), Click(IDC_EH_SAVE)});
    char* reason = orneh::compat::SystemMessage(ENOENT);
    EXPECT_EQ(m_backend.messageBoxes,
              std::vector<std::string>({LangString(IDS_EH_SAVE_FAILED_CAPTION) + "|" + LangString(IDS_EH_SAVE_FAILED) +
                                        "\r\n\r\n" + target + ":\r\n" + reason + "|48"}));
    orneh::base::Free(reason);
    // Saved as UTF-8 with LF when the user asked for it.
    zkqtest::ScopedEnv utf8("ORNEH_REPORT_ENCODING", "utf-8");
    target = m_dir.file("utf8.txt");
    RunWith({Click(IDC_EH_DETAILS_TOGGLE), Type("typed \xFC"), Click(IDC_EH_SAVE)});
    std::string lf = orneh::compat::Cp1252ToUtf8(Report("typed \xFC").c_str());
    lf.erase(std::remove(lf.begin(), lf.end(), '\r'), lf.end());
    EXPECT_EQ(zkqtest::ReadFile(target), lf);
}

TEST_F(ReportOutputTest, PrintOutcomes) {
    std::string document;
    PrintResult outcome = PrintResult::kFailed;
    m_backend.onPrint = [&](const std::string& name, orneh::dialog::PrintJob&) {
        document = name;
        return outcome;
    };
    std::string printed = LangString(IDS_EH_PRINTED);
    printed.replace(printed.find("%1"), 2, "Office \xC4");
    // What the backend says, where the report went or why it did not: the
    // message after the print.
    const struct { PrintResult result; const char* where; std::string message; } rows[] = {
        {PrintResult::kFailed, "", Message(IDS_EH_PRINT_FAILED, IDS_EH_PRINT_FAILED_CAPTION)},
        {PrintResult::kFailed, "on fire \xC3\x84", LangString(IDS_EH_PRINT_FAILED_CAPTION) + "|" +
                                                      LangString(IDS_EH_PRINT_FAILED) + "\r\n\r\non fire \xC4|48"},
        {PrintResult::kNoPrinter, "", Message(IDS_EH_NO_PRINTER, IDS_EH_PRINT_FAILED_CAPTION)},
        {PrintResult::kPrinted, "Office \xC3\x84", LangString(IDS_EH_PRINT_DOCUMENT) + "|" + printed + "|64"},
        {PrintResult::kPrinted, "", ""},
    };
    for (const auto& row : rows) {
        outcome = row.result;
        m_backend.printedWhere = row.where;
        m_backend.messageBoxes.clear();
        RunWith({Click(IDC_EH_DETAILS_TOGGLE), Click(IDC_EH_PRINT)});
        EXPECT_EQ(document, LangString(IDS_EH_PRINT_DOCUMENT));
        EXPECT_EQ(m_backend.messageBoxes, row.message.empty() ? std::vector<std::string>() : std::vector<std::string>({row.message}));
    }
}

// --- Headless backend and the choice --------------------------------------

// Runs a dialog on the headless backend; out receives what it wrote to stderr.
int RunHeadless(unsigned long style, const char* answer, const char* details, std::string& out) {
    zkqtest::ScopedEnv env("ORNEH_DIALOG_ANSWER", answer);
    zkqtest::ScopedEnv choice("ORNEH_DIALOG", "headless");
    OrnEhDialog dialog(nullptr);
    dialog.SetMessage("Zeile 1\r\nZeile 2", "Titel \xDC", style);
    if (details) dialog.SetDetails(details);
    ::testing::internal::CaptureStderr();
    const int result = dialog.DoModal();
    out = ::testing::internal::GetCapturedStderr();
    return result;
}

// A label as the headless dialog prints it: mnemonic marks gone, UTF-8.
std::string Printed(unsigned int id) {
    std::string label = LangString(id);
    label.erase(std::remove(label.begin(), label.end(), '&'), label.end());
    return orneh::compat::Cp1252ToUtf8(label.c_str());
}

TEST(HeadlessDialogTest, Transcript) {
    std::string out;
    EXPECT_EQ(RunHeadless(MB_YESNO, "yes", "Fehler: Details", out), IDYES);
    const std::string yes = Printed(IDS_EH_YES);
    EXPECT_EQ(out, "=== Titel \xC3\x9C ===\nZeile 1\r\nZeile 2\n---\n[" + yes + "] [" + Printed(IDS_EH_NO) +
                       "] \n--- details ---\nFehler: Details\n--> " + yes + "\n===\n");
    EXPECT_EQ(RunHeadless(MB_OK, "cancel", nullptr, out), IDCANCEL);
    EXPECT_EQ(out.find("--- details ---"), std::string::npos);  // none without details
    EXPECT_NE(out.find("--> (cancelled)\n===\n"), std::string::npos) << out;
}

TEST(HeadlessDialogTest, Answers) {
    // Nobody there (no answer named): the answer that ends the question, so
    // that a loop asking again until the user gives up ends. A named answer
    // the dialog lacks gives the same; a number, the button in that place.
    const struct { unsigned long style; const char* answer; int result; } rows[] = {
        {MB_OK, nullptr, IDOK}, {MB_OKCANCEL, nullptr, IDCANCEL}, {MB_ABORTRETRYIGNORE, nullptr, IDABORT},
        {MB_YESNOCANCEL, nullptr, IDCANCEL}, {MB_YESNO, nullptr, IDNO}, {MB_RETRYCANCEL, nullptr, IDCANCEL},
        {7, nullptr, IDCANCEL}, {MB_RETRYCANCEL, "retry", IDRETRY}, {MB_ABORTRETRYIGNORE, "Retry", IDRETRY},
        {MB_ABORTRETRYIGNORE, "ignore", IDIGNORE}, {MB_YESNOCANCEL, "no", IDNO}, {MB_OKCANCEL, "ok", IDOK},
        {MB_YESNO, "retry", IDNO}, {MB_ABORTRETRYIGNORE, "2", IDRETRY}, {MB_OKCANCEL, "3", IDCANCEL},
    };
    std::string out;
    for (const auto& row : rows) {
        EXPECT_EQ(RunHeadless(row.style, row.answer, nullptr, out), row.result) << row.style << " " << (row.answer ? row.answer : "-");
        EXPECT_EQ(out.find("ZKQTRNEH113:"), std::string::npos) << out;
    }
    // A value that names no answer is said, once, and nobody answers.
    EXPECT_EQ(RunHeadless(MB_YESNO, "maybe", nullptr, out), IDNO);
    EXPECT_EQ(out.rfind("ZKQTRNEH113: ORNEH_DIALOG_ANSWER=maybe names no answer", 0), 0u) << out;
    EXPECT_EQ(RunHeadless(MB_YESNO, "maybe", nullptr, out), IDNO);
    EXPECT_EQ(out.find("ZKQTRNEH113:"), std::string::npos) << out;
}

TEST(BackendChoiceTest, FallbackToHeadless) {
    // Auto mode says why once (in a CI run nobody sits at the terminal); an
    // explicit choice, every time.
    const struct { const char* choice; const char* display; const char* why; } rows[] = {
        {"gui", nullptr, "ORNEH_DIALOG=gui cannot be honoured (no display"},
        {"curses", ":0", "ORNEH_DIALOG=curses cannot be honoured (unknown choice"},
        {"auto", nullptr, "no window (no display (neither WAYLAND_DISPLAY nor DISPLAY is set)) and no terminal "
                          "dialog (CI is set)"},
        {"auto", nullptr, nullptr},
    };
    zkqtest::ScopedEnv ci("CI", "true");
    for (const auto& row : rows) {
        zkqtest::ScopedEnv choice("ORNEH_DIALOG", row.choice);
        zkqtest::ScopedEnv display("DISPLAY", row.display);
        zkqtest::ScopedEnv wayland("WAYLAND_DISPLAY", nullptr);
        ::testing::internal::CaptureStderr();
        OrnEhDialog dialog(nullptr);
        dialog.SetMessage("M", "C", MB_OK);
        EXPECT_EQ(dialog.DoModal(), IDOK);
        const std::string out = ::testing::internal::GetCapturedStderr();
        EXPECT_EQ(out.rfind(row.why ? std::string("ZKQTRNEH113: ") + row.why : "===", 0), 0u) << out;
        EXPECT_EQ(std::count(out.begin(), out.begin() + static_cast<long>(out.find("===")), '\n'), row.why ? 1 : 0) << out;
    }
}

TEST(DialogTest, Utf8Texts) {
    // An application that says its texts are UTF-8: they arrive in 1252, and
    // the library's own 1252 bytes in the same text stay as they are.
    zkqtest::ScopedEnv utf8("ORNEH_TEXT_ENCODING", "UTF-8");
    ScriptedDialog backend;
    RunDialog(backend, MB_OK, "Gr\xC3\xB6\xC3\x9F" "e \xE2\x82\xAC \xD0\x96", "\xDC" "berschrift: \xC3\xA9t\xC3\xA9");
    EXPECT_EQ(backend.last().message, "Gr\xF6\xDF" "e \x80 ?");
    EXPECT_EQ(backend.last().details, "\xDC" "berschrift: \xE9t\xE9");
}

TEST(DialogTest, MissingTemplate) {
    if (zkqtest::InChildRole("no-template")) {
        ScriptedDialog backend;
        std::exit(RunDialog(backend, MB_OK) == -1 ? 0 : 1);
    }
    zkqtest::TempDir dir;
    // A resource module with nothing in it: its leading null entry only.
    std::string empty(32, '\0');
    empty[4] = 32;
    empty[8] = empty[9] = empty[12] = empty[13] = '\xFF';
    zkqtest::WriteFile(dir.file("ZKQTRNLANG101.en.res"), empty);
    zkqtest::ScopedEnv lang("ORNLANG", "en");
    zkqtest::ScopedEnv where("ORNLANG_RESOURCE_DIR", dir.path().c_str());
    const zkqtest::ChildResult child = zkqtest::RunTestInNewProcess("no-template");
    EXPECT_TRUE(child.exited && child.exitCode == 0);
}

}  // namespace

