// The terminal dialog as a user meets it: the error dialog runs in a child
// process in a tmux pane with ORNEH_DIALOG=terminal, keys are sent to the
// pane, and what the screen shows, what the dialog answers, what a save
// writes and how the terminal is left afterwards are checked.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <climits>
#include <cstdlib>
#include <thread>
#include <ostream>
#include <string>
#include <vector>

#include "OrnLangIds.h"
#include "support/scripted_dialog.h"
#include "dialog/error_dialog.h"
#include "runtime/admin.h"
#include "support/child_process.h"
#include "support/test_exceptions.h"
#include "support/test_util.h"
#include "tmux_pane.h"

namespace {

using zkqtest::LangString;

const char kCaption[] = "Terminal Check";
const char kMessage[] = "The order list could not be written.";
const char kHostile[] = " \x1B]2;taken over\x07 \x9D";  // sets the window title; 1252's OSC byte
const char kUmlauts[] = " Gr\xF6\xDF" "e \x80";
const char kDetails[] =
    "Details line 1\r\nDetails line 2\r\nDetails line 3: the exception records\r\n";

// --- The child: the dialog in the pane --------------------------------------

volatile sig_atomic_t g_interrupts = 0;
void CountInterrupt(int) { ++g_interrupts; }

void RunDialogChild() {
    const std::string out = std::getenv("ZKQ_TUI_OUT");
    zkqtest::WriteFile(out + ".pid", std::to_string(::getpid()));
    if (std::getenv("ZKQ_TUI_IGNORE_HUP")) ::signal(SIGHUP, SIG_IGN);
    const bool ownGroup = std::getenv("ZKQ_TUI_LEAVE_FOREGROUND") != nullptr;
    if (ownGroup) {
        // The terminal module loads in the foreground; the dialog then runs
        // in a process of a group of its own, which the terminal refuses.
        orneh::dialog::ChooseBackend();
        if (const pid_t dialog = ::fork()) {
            int status = 0;
            ::waitpid(dialog, &status, 0);
            return;
        }
        ::setpgid(0, 0);
    }
    const bool ownHandler = std::getenv("ZKQ_TUI_APP_SIGINT") != nullptr;
    if (ownHandler) ::signal(SIGINT, CountInterrupt);
    // The log file, and with it the save prompt's folder, in the test's
    // directory.
    zkqtest::ScopedStandardLog log(out.substr(0, out.rfind('/')), "standard.log");
    orneh::dialog::OrnEhDialog dialog(nullptr);
    dialog.SetLogFile(&GetCurrentContainer()->logFile);
    // An error text may carry anything, terminal commands too.
    const std::string message = std::string(kMessage) + (std::getenv("ZKQ_TUI_HOSTILE") ? kHostile : "") +
                                (std::getenv("ZKQ_TUI_UMLAUTS") ? kUmlauts : "");
    // Another thread writes over the dialog once it is up.
    std::thread noise;
    if (std::getenv("ZKQ_TUI_NOISE")) {
        noise = std::thread([out] {
            std::this_thread::sleep_for(std::chrono::seconds(1));
            zkqtest::WriteFile("/dev/tty", "\x1B[3;3HNOISE NOISE NOISE");
            zkqtest::WriteFile(out + ".noise", "written");
        });
    }
    dialog.SetMessage(message.c_str(), kCaption, std::strtoul(std::getenv("ZKQ_TUI_STYLE"), nullptr, 0));
    dialog.SetDetails(kDetails);
    const int result = dialog.DoModal();
    if (noise.joinable()) noise.join();
    struct sigaction now {};
    ::sigaction(SIGINT, nullptr, &now);
    std::string outcome = "result=" + std::to_string(result);
    if (ownHandler) {
        outcome += " interrupts=" + std::to_string(g_interrupts) +
                   (now.sa_handler == CountInterrupt ? " handler kept" : " handler lost");
    }
    zkqtest::WriteFile(out, outcome);
    if (ownGroup) ::_exit(0);
}

// --- The parent: a user at the terminal --------------------------------------

class TerminalDialogTest : public ::testing::Test {
protected:
    // Shows the dialog with style in the pane (extra: more environment);
    // true once its caption is on the screen.
    bool Open(unsigned long style, const std::string& extra = "", int columns = 80) {
        return Start(style, extra, kForeground, columns) && m_pane.WaitForText(kCaption);
    }
    // An error dialog with its details area open (the focus in the comment).
    bool OpenDetails() {
        if (!Open(MB_OK | MB_ICONERROR)) return false;
        m_pane.Keys({"d"});
        return m_pane.WaitForText("Details line 3");
    }

    // Starts the child that shows the dialog: in the foreground of the
    // pane's terminal, as a background job, or under a session recorder
    // that has no input for it.
    enum How { kForeground, kBackground, kRecorded };
    bool Start(unsigned long style, const std::string& extra, How how, int columns = 80) {
        const bool background = how == kBackground;
        const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
        char self[PATH_MAX];
        const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
        if (n <= 0) return false;
        self[n] = '\0';
        const std::string d = m_dir.path();
        std::string child =
            "env -u LPDEST -u PRINTER -u CI ZKQ_CHILD_ROLE=dialog ORNEH_DIALOG=terminal LANG=C.UTF-8 ORNLANG=en "
            "ORNLANG_RESOURCE_DIR=" ZKQ_LANG_SHARE_DIR " TMPDIR=" + d + " TMP=" + d + " TEMP=" + d +
            " HOME=" + d + " CUPS_SERVER=" + d + "/no-cups.sock ZKQ_TUI_OUT=" + d + "/outcome ZKQ_TUI_STYLE=" +
            std::to_string(style) + " " + extra + " " + self + " --gtest_filter=" + test->test_suite_name() + "." +
            test->name();
        if (how == kRecorded) child = "script -qec '" + child + "' /dev/null < /dev/null";
        const std::string command = "cd " + d + "; trap true INT; stty -a > stty.before; " + child +
                                    " > child.log 2>&1" + (background ? " & wait $!" : "") +
                                    "; echo $? > status; stty -a > stty.after; exec sleep 600";
        return m_pane.Start((background ? "set -m; " : "") + command, columns);
    }

    // The dialog's answer line, once it has ended; the child must have
    // ended cleanly (a sanitizer's finding makes its status nonzero).
    std::string Outcome() {
        zkqtest::WaitForFile(m_dir.file("status"));
        EXPECT_EQ("0\n", zkqtest::ReadFile(m_dir.file("status"))) << zkqtest::ReadFile(m_dir.file("child.log"));
        return zkqtest::ReadFile(m_dir.file("outcome"));
    }

    // The terminal as it was before the dialog: the same tty modes, the
    // normal screen, a visible cursor, the cursor keys in normal mode.
    void ExpectTerminalRestored() {
        ASSERT_TRUE(zkqtest::WaitForFile(m_dir.file("stty.after")));
        EXPECT_EQ(zkqtest::ReadFile(m_dir.file("stty.before")), zkqtest::ReadFile(m_dir.file("stty.after")));
        EXPECT_EQ("0 1 0", m_pane.Query("#{alternate_on} #{cursor_flag} #{keypad_cursor_flag}"));
    }

    zkqtest::TempDir m_dir;
    zkqtest::TmuxPane m_pane{m_dir.path()};
};

TEST_F(TerminalDialogTest, Screen) {
    if (zkqtest::InChildRole("dialog")) return RunDialogChild();
    ASSERT_TRUE(Open(MB_YESNOCANCEL | MB_ICONERROR, "ZKQ_TUI_HOSTILE=1")) << m_pane.Screen();
    const std::string screen = m_pane.Screen();
    for (unsigned int id : {IDS_EH_YES, IDS_EH_NO, IDS_EH_CANCEL, IDS_EH_DETAILS_SHOW}) {
        std::string label = LangString(id);
        label.erase(label.find('&') == std::string::npos ? label.size() : label.find('&'), 1);
        EXPECT_NE(std::string::npos, screen.find("[ " + label + " ]")) << label << "\n" << screen;
    }
    // Control characters of the message are shown inert.
    EXPECT_NE(std::string::npos, screen.find("written. ?]2;taken over? ?")) << screen;
    EXPECT_NE("taken over", m_pane.Query("#{pane_title}"));
    EXPECT_EQ(std::string::npos, screen.find("Details line 3")) << screen;
    m_pane.Keys({"d"});
    EXPECT_TRUE(m_pane.WaitForText("Details line 3: the exception records")) << m_pane.Screen();
    m_pane.Keys({"Escape"});
    EXPECT_EQ("result=2", Outcome());
    ExpectTerminalRestored();
}

struct KeyCase {
    const char* name;
    unsigned long style;
    std::vector<std::string> keys;
    int result;
};

void PrintTo(const KeyCase& c, std::ostream* out) { *out << c.name; }

class TerminalDialogKeyTest : public TerminalDialogTest, public ::testing::WithParamInterface<KeyCase> {};

TEST_P(TerminalDialogKeyTest, Answer) {
    if (zkqtest::InChildRole("dialog")) return RunDialogChild();
    ASSERT_TRUE(Open(GetParam().style | MB_ICONERROR)) << m_pane.Screen();
    m_pane.Keys(GetParam().keys);
    EXPECT_EQ("result=" + std::to_string(GetParam().result), Outcome()) << m_pane.Screen();
    ExpectTerminalRestored();
}

// The focus starts in the message; Tab goes on to the answer buttons.
INSTANTIATE_TEST_SUITE_P(Keys, TerminalDialogKeyTest,
                         ::testing::Values(KeyCase{"DefaultButton", MB_YESNOCANCEL, {"Enter"}, IDYES},
                                           KeyCase{"EscapeKey", MB_YESNOCANCEL, {"Escape"}, IDCANCEL},
                                           KeyCase{"TabOrder", MB_YESNOCANCEL, {"Tab", "Tab", "Enter"}, IDNO},
                                           KeyCase{"SpaceKey", MB_YESNOCANCEL, {"Tab", "Tab", "Tab", "Space"}, IDCANCEL},
                                           KeyCase{"Mnemonic", MB_YESNOCANCEL, {"n"}, IDNO},
                                           KeyCase{"AltMnemonic", MB_ABORTRETRYIGNORE, {"M-i"}, IDIGNORE}),
                         [](const ::testing::TestParamInfo<KeyCase>& info) { return std::string(info.param.name); });

TEST_F(TerminalDialogTest, SavedReport) {
    if (zkqtest::InChildRole("dialog")) return RunDialogChild();
    zkqtest::WriteFile(m_dir.file(LangString(IDS_EH_DEFAULT_FILE_NAME)), "an older report");
    ASSERT_TRUE(OpenDetails()) << m_pane.Screen();
    m_pane.Type("Line one");
    m_pane.Keys({"Enter"});
    m_pane.Type("zwei \xC3\xA9");  // UTF-8 at the terminal, 1252 in the report
    m_pane.Keys({"M-s"});
    ASSERT_TRUE(m_pane.WaitForText(LangString(IDS_EH_DEFAULT_FILE_NAME))) << m_pane.Screen();
    m_pane.Keys({"Enter"});
    const std::string question = LangString(IDS_EH_OVERWRITE_QUESTION);
    ASSERT_TRUE(m_pane.WaitForText(question.substr(0, question.find('\r')))) << m_pane.Screen();
    m_pane.Keys({"y", "Escape"});
    EXPECT_EQ("result=2", Outcome());
    EXPECT_EQ(std::string(kMessage) + LangString(IDS_EH_COMMENT_HEADING) + "Line one\r\nzwei \xE9" +
                  LangString(IDS_EH_DETAILS_HEADING) + kDetails,
              zkqtest::ReadFile(m_dir.file(LangString(IDS_EH_DEFAULT_FILE_NAME))));
}

TEST_F(TerminalDialogTest, SaveFailureSaysWhy) {
    if (zkqtest::InChildRole("dialog")) return RunDialogChild();
    ASSERT_TRUE(OpenDetails()) << m_pane.Screen();
    m_pane.Keys({"M-s"});
    ASSERT_TRUE(m_pane.WaitForText(LangString(IDS_EH_DEFAULT_FILE_NAME))) << m_pane.Screen();
    // Ctrl+U empties the prefilled path.
    m_pane.Keys({"C-u"});
    m_pane.Type(m_dir.file("missing/report"));
    m_pane.Keys({"Enter"});
    EXPECT_TRUE(m_pane.WaitForText("No such file or directory")) << m_pane.Screen();
    EXPECT_NE(std::string::npos, m_pane.Screen().find(LangString(IDS_EH_SAVE_FAILED))) << m_pane.Screen();
    m_pane.Keys({"Enter", "Escape"});
    EXPECT_EQ("result=2", Outcome()) << m_pane.Screen();
}

TEST_F(TerminalDialogTest, PrintWithoutDestination) {
    if (zkqtest::InChildRole("dialog")) return RunDialogChild();
    ASSERT_TRUE(OpenDetails()) << m_pane.Screen();
    m_pane.Keys({"M-p"});
    EXPECT_TRUE(m_pane.WaitForText(LangString(IDS_EH_NO_PRINTER))) << m_pane.Screen();
    m_pane.Keys({"Enter", "Escape"});  // closes the message, then the dialog
    EXPECT_EQ("result=2", Outcome()) << m_pane.Screen();
}

TEST_F(TerminalDialogTest, InterruptGoesToApplicationHandler) {
    if (zkqtest::InChildRole("dialog")) return RunDialogChild();
    ASSERT_TRUE(Open(MB_OKCANCEL, "ZKQ_TUI_APP_SIGINT=1")) << m_pane.Screen();
    m_pane.Keys({"C-c"});
    // The application's handler ran, and afterwards the dialog ended as
    // cancelled with the handler in place again.
    EXPECT_EQ("result=2 interrupts=1 handler kept", Outcome());
    ExpectTerminalRestored();
}

TEST_F(TerminalDialogTest, TerminationSignal) {
    if (zkqtest::InChildRole("dialog")) return RunDialogChild();
    ASSERT_TRUE(Open(MB_OK)) << m_pane.Screen();
    const pid_t child = std::atoi(zkqtest::ReadFile(m_dir.file("outcome.pid")).c_str());
    ASSERT_GT(child, 0);
    ASSERT_EQ(0, ::kill(child, SIGTERM));
    ASSERT_TRUE(zkqtest::WaitForFile(m_dir.file("status")));
    EXPECT_EQ("143\n", zkqtest::ReadFile(m_dir.file("status")));  // ended by SIGTERM, as without a dialog
    ExpectTerminalRestored();
}

TEST_F(TerminalDialogTest, TerminalHangUp) {
    if (zkqtest::InChildRole("dialog")) return RunDialogChild();
    // The application ignores SIGHUP and goes on without its terminal: the
    // dialog ends as cancelled instead of waiting for keys forever.
    ASSERT_TRUE(Open(MB_OK, "ZKQ_TUI_IGNORE_HUP=1")) << m_pane.Screen();
    m_pane.Close();
    ASSERT_TRUE(zkqtest::WaitForFile(m_dir.file("outcome")));
    EXPECT_EQ("result=2", zkqtest::ReadFile(m_dir.file("outcome")));
}

TEST_F(TerminalDialogTest, WindowRefusedAfterLoad) {
    if (zkqtest::InChildRole("dialog")) return RunDialogChild();
    ASSERT_TRUE(Start(MB_OK, "ZKQ_TUI_LEAVE_FOREGROUND=1", kForeground));
    EXPECT_EQ("result=1", Outcome());
    EXPECT_NE(std::string::npos, zkqtest::ReadFile(m_dir.file("child.log")).find("the terminal dialog has no window (the process runs in the background"));
}

TEST_F(TerminalDialogTest, BackgroundJob) {
    if (zkqtest::InChildRole("dialog")) return RunDialogChild();
    // A dialog would stop a background job until it is brought to the
    // foreground: the report goes to stderr instead, answered at once.
    ASSERT_TRUE(Start(MB_OK, "", kBackground));
    EXPECT_EQ("result=1", Outcome());
    EXPECT_NE(std::string::npos, zkqtest::ReadFile(m_dir.file("child.log")).find("background"));
}

TEST_F(TerminalDialogTest, RecordedWithoutInput) {
    if (zkqtest::InChildRole("dialog")) return RunDialogChild();
    // A session recorder whose own input is empty: nobody can answer, and
    // the question goes to stderr with the answer that ends it.
    ASSERT_TRUE(Start(MB_RETRYCANCEL, "ORNEH_DIALOG=auto DISPLAY= WAYLAND_DISPLAY=", kRecorded));
    EXPECT_EQ("result=" + std::to_string(IDCANCEL), Outcome());
    EXPECT_NE(std::string::npos, zkqtest::ReadFile(m_dir.file("child.log")).find("input ended")) << zkqtest::ReadFile(m_dir.file("child.log"));
}

TEST_F(TerminalDialogTest, NarrowTerminalWithoutUtf8) {
    if (zkqtest::InChildRole("dialog")) return RunDialogChild();
    // 40 columns and the C locale: the dialog is laid out to the width, with
    // nothing cut or scrolled away, and its 1252 letters shown as ASCII
    // ones, one cell each, so the frame stays straight.
    ASSERT_TRUE(Open(MB_YESNOCANCEL | MB_ICONERROR, "LANG=C ZKQ_TUI_UMLAUTS=1", 40)) << m_pane.Screen();
    const std::string screen = m_pane.Screen();
    for (const char* shown : {"(X)", "Terminal Check", "[ Yes ]", "[ No ]", "[ Cancel ]", "The order list", "could", "not",
                              "be", "written."}) {
        EXPECT_NE(std::string::npos, screen.find(shown)) << shown << "\n" << screen;
    }
    const std::size_t umlauts = screen.find("Grose E");
    ASSERT_NE(std::string::npos, umlauts) << screen;
    // The row with them ends in the frame, as the top row does.
    auto columns = [](const std::string& line) {
        std::size_t n = 0;
        for (unsigned char c : line) n += (c & 0xC0) != 0x80;
        return n;
    };
    const std::size_t start = screen.rfind('\n', umlauts) + 1;
    const std::string row = screen.substr(start, screen.find('\n', umlauts) - start);
    const std::size_t caption = screen.rfind('\n', screen.find(kCaption)) + 1;
    const std::string top = screen.substr(caption, screen.find('\n', caption) - caption);
    EXPECT_EQ(columns(row.substr(0, row.find_last_not_of(' ') + 1)), columns(top.substr(0, top.find_last_not_of(' ') + 1)))
        << screen;
    m_pane.Keys({"Escape"});
    EXPECT_EQ("result=2", Outcome());
}

TEST_F(TerminalDialogTest, ForeignOutputDrawnOver) {
    if (zkqtest::InChildRole("dialog")) return RunDialogChild();
    ASSERT_TRUE(Open(MB_OK, "ZKQ_TUI_NOISE=1")) << m_pane.Screen();
    ASSERT_TRUE(zkqtest::WaitForFile(m_dir.file("outcome.noise")));
    EXPECT_TRUE(zkqtest::WaitUntil([&] { return m_pane.Screen().find("NOISE") == std::string::npos; }, 5000, 100))
        << m_pane.Screen();
    EXPECT_NE(std::string::npos, m_pane.Screen().find(kCaption));
    m_pane.Keys({"Escape"});
    EXPECT_EQ("result=2", Outcome());
}

}  // namespace
