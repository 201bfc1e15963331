// gui_probe: an application that reports one error through the graphical
// dialog, for the tests that drive it under Xvfb. Prints "result=N" when the
// dialog has closed.
//
//   gui_probe report STYLE CAPTION [--worker] [--app-loop] [--main-window FILE ANSWER]
//       STYLE: the message type in hex; --worker reports from a second
//       thread; --app-loop initialises GTK and reports from its main loop,
//       with a GTK window of the application as the dialog's parent;
//       --main-window records each hand-over in FILE and answers ANSWER;
//       --lines N puts N numbered lines under the message.
//   gui_probe shot WINDOW-ID FILE.png     a screenshot of an X window
#include <gtk/gtk.h>
#include <gdk/gdkx.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <unistd.h>

#include <OrnEh.h>
#include <OrnEhBasis.h>
#include <OrnEhWin32.h>
#include <compat/OrnEhWnd.h>

namespace {

class RecordingMainWindow : public CWnd {
public:
    RecordingMainWindow(const char* file, LRESULT answer) : m_file(file), m_answer(answer) {}

protected:
    LRESULT WindowProc(UINT message, WPARAM, LPARAM lParam) override {
        if (message != WM_EH_HANDOVER) return 0;
        const auto* info = reinterpret_cast<const OrnEhHandOverInfo*>(lParam);
        if (std::FILE* f = std::fopen(m_file, "ab")) {
            std::fprintf(f, "firstLine=%s\ntext=%s\nlogFile=%s\n", info->firstLine.GetString(),
                         info->text.GetString(), info->logFile.GetString());
            std::fclose(f);
        }
        return m_answer;
    }

private:
    const char* m_file;
    LRESULT m_answer;
};

int g_lines = 0;

long ReportOnce(unsigned long style, const char* caption, HWND parent) {
    errno = ENOENT;
    auto* cause = new OrnEhWin32(__FILE__, "open", "settings.ini", 0, 0, 1);
    (void)cause;
    const char* lang = std::getenv("ORNLANG");
    std::string text = lang && std::strncmp(lang, "de", 2) == 0
                           ? "Die Einstellungen konnten nicht gelesen werden.\r\n\r\nDas Programm arbeitet mit "
                             "seinen Voreinstellungen weiter; \xE4ndern Sie sie unter Optionen."
                           : "The settings could not be read.\r\n\r\nThe program goes on with its defaults; "
                             "change them under Options.";
    for (int i = 1; i <= g_lines; ++i) text += "\r\nline " + std::to_string(i);
    return OrnEhBasis::Report(parent, text.c_str(), caption, static_cast<long>(style), nullptr, 0, 0);
}

int Shot(const char* id, const char* file) {
    gtk_init(nullptr, nullptr);
    GdkWindow* window = gdk_x11_window_foreign_new_for_display(gdk_display_get_default(),
                                                               std::strtoul(id, nullptr, 0));
    if (!window) return 1;
    GdkPixbuf* pixbuf = gdk_pixbuf_get_from_window(window, 0, 0, gdk_window_get_width(window),
                                                   gdk_window_get_height(window));
    return pixbuf && gdk_pixbuf_save(pixbuf, file, "png", nullptr, nullptr) ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::strcmp(argv[1], "shot") == 0) return Shot(argv[2], argv[3]);
    if (argc < 4 || std::strcmp(argv[1], "report") != 0) {
        std::fprintf(stderr, "usage: see the source\n");
        return 2;
    }
    const unsigned long style = std::strtoul(argv[2], nullptr, 16);
    const char* caption = argv[3];
    bool worker = false, appLoop = false;
    RecordingMainWindow* main = nullptr;
    for (int i = 4; i < argc; ++i) {
        if (std::strcmp(argv[i], "--worker") == 0) worker = true;
        if (std::strcmp(argv[i], "--app-loop") == 0) appLoop = true;
        if (std::strcmp(argv[i], "--lines") == 0 && i + 1 < argc) g_lines = std::atoi(argv[++i]);
        if (std::strcmp(argv[i], "--main-window") == 0 && i + 2 < argc) {
            main = new RecordingMainWindow(argv[i + 1], std::atol(argv[i + 2]));
            i += 2;
        }
    }
    char cwd[4096] = ".";
    if (!getcwd(cwd, sizeof cwd)) return 2;
    OrnEhInitialize("GuiProbe", OrnEhLogLimited, "gui_probe.log", nullptr, cwd, 1 << 20);
    if (main) OrnEhSetMainWnd(main);
    long result = 0;
    if (appLoop) {
        gtk_init(nullptr, nullptr);
        GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
        gtk_window_set_title(GTK_WINDOW(window), "GuiProbe main window");
        gtk_widget_show(window);
        static struct { unsigned long style; const char* caption; GtkWidget* window; long* result; } run{
            style, caption, window, &result};
        g_idle_add([](gpointer) -> gboolean {
            *run.result = ReportOnce(run.style, run.caption, reinterpret_cast<HWND>(run.window));
            gtk_main_quit();
            return G_SOURCE_REMOVE;
        }, nullptr);
        gtk_main();
    } else if (worker) {
        std::thread([&] { result = ReportOnce(style, caption, nullptr); }).join();
    } else {
        result = ReportOnce(style, caption, nullptr);
    }
    std::printf("result=%ld\n", result);
    return 0;
}
