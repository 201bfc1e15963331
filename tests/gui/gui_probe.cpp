// gui_probe: an application that reports one error through the graphical
// dialog, for the tests that drive it under Xvfb. Prints "result=N" when the
// dialog has closed.
//
//   gui_probe report STYLE CAPTION [MODE] [--main-window FILE ANSWER] [--lines N] [--parent HWND]
//       STYLE: the message type in hex. MODE, where the report comes from:
//       --worker a second thread; --app-loop the application's GTK main
//       loop, with a GTK window of the application as the dialog's parent;
//       --init-worker a second thread while the main thread, which has
//       initialised GTK, builds widgets and then runs its loop; --blocked a
//       second thread while the main thread, GTK initialised, waits for it;
//       --startup once before the application initialises GTK and once
//       more (CAPTION "again") from its loop; --two two threads at once
//       (CAPTION 1 and 2; result=FIRST,SECOND); --then-wait FILE once, then
//       once more (CAPTION "again") when FILE exists.
//       --main-window records each hand-over in FILE and answers ANSWER;
//       --lines N puts N numbered lines under the message; --parent gives
//       HWND (hex) as the parent. Prints the GLib criticals and warnings
//       the process logged (criticals=N).
//   gui_probe shot WINDOW-ID FILE.png     a screenshot of an X window
#include <gtk/gtk.h>
#include <gdk/gdkx.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
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
    // A source name without the folder: the screenshots show no machine's paths.
    auto* cause = new OrnEhWin32("gui_probe.cpp", "open", "settings.ini", 0, 0, 1);
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

std::atomic<int> g_criticals{0};

GLogWriterOutput CountCriticals(GLogLevelFlags level, const GLogField* fields, gsize count, gpointer data) {
    if (level & (G_LOG_LEVEL_CRITICAL | G_LOG_LEVEL_WARNING)) ++g_criticals;
    return g_log_writer_default(level, fields, count, data);
}

// The application's own GTK work on its main thread: widgets made and
// thrown away, as a start-up builds its windows.
void BuildWidgets() {
    for (int i = 0; i < 3000; ++i) {
        GtkWidget* box = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
        gtk_container_add(GTK_CONTAINER(box), gtk_label_new("building"));
        g_object_ref_sink(box);
        gtk_widget_destroy(box);
        g_object_unref(box);
    }
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
    g_log_set_writer_func(CountCriticals, nullptr, nullptr);
    const unsigned long style = std::strtoul(argv[2], nullptr, 16);
    const std::string caption = argv[3];
    std::string mode, waitFor;
    HWND parent = nullptr;
    RecordingMainWindow* main = nullptr;
    for (int i = 4; i < argc; ++i) {
        for (const char* m : {"--worker", "--app-loop", "--init-worker", "--blocked", "--startup", "--two"}) {
            if (std::strcmp(argv[i], m) == 0) mode = m;
        }
        if (std::strcmp(argv[i], "--then-wait") == 0 && i + 1 < argc) waitFor = argv[++i];
        if (std::strcmp(argv[i], "--lines") == 0 && i + 1 < argc) g_lines = std::atoi(argv[++i]);
        if (std::strcmp(argv[i], "--parent") == 0 && i + 1 < argc) {
            parent = reinterpret_cast<HWND>(std::strtoul(argv[++i], nullptr, 16));
        }
        if (std::strcmp(argv[i], "--main-window") == 0 && i + 2 < argc) {
            main = new RecordingMainWindow(argv[i + 1], std::atol(argv[i + 2]));
            i += 2;
        }
    }
    char cwd[4096] = ".";
    if (!getcwd(cwd, sizeof cwd)) return 2;
    OrnEhInitialize("GuiProbe", OrnEhLogLimited, "gui_probe.log", nullptr, cwd, 1 << 20);
    if (main) OrnEhSetMainWnd(main);
    const std::string again = caption + " again";
    std::string result;
    auto report = [&](const std::string& title, HWND owner) {
        result = std::to_string(ReportOnce(style, title.c_str(), owner));
    };
    // The application's GTK main loop, running until the report in it or
    // beside it is done.
    static std::atomic<bool> done{false};
    auto runLoop = [] {
        g_timeout_add(50, [](gpointer) -> gboolean {
            if (done) gtk_main_quit();
            return done ? G_SOURCE_REMOVE : G_SOURCE_CONTINUE;
        }, nullptr);
        gtk_main();
    };
    if (mode == "--app-loop" || mode == "--startup") {
        if (mode == "--startup") report(caption, nullptr);
        gtk_init(nullptr, nullptr);
        GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
        gtk_window_set_title(GTK_WINDOW(window), "GuiProbe main window");
        gtk_widget_show(window);
        static std::function<void()> inLoop;
        inLoop = [&] {
            report(mode == "--startup" ? again : caption, reinterpret_cast<HWND>(window));
            done = true;
        };
        g_idle_add([](gpointer) -> gboolean {
            inLoop();
            return G_SOURCE_REMOVE;
        }, nullptr);
        runLoop();
    } else if (mode == "--init-worker" || mode == "--blocked") {
        gtk_init(nullptr, nullptr);
        std::thread worker([&] {
            report(caption, parent);
            done = true;
        });
        if (mode == "--blocked") {
            worker.join();
        } else {
            BuildWidgets();
            runLoop();
            worker.join();
        }
    } else if (mode == "--two") {
        std::string first, second;
        std::thread one([&] { first = std::to_string(ReportOnce(style, (caption + " 1").c_str(), nullptr)); });
        std::thread two([&] { second = std::to_string(ReportOnce(style, (caption + " 2").c_str(), nullptr)); });
        one.join();
        two.join();
        result = first + "," + second;
    } else if (mode == "--worker") {
        std::thread([&] { report(caption, parent); }).join();
    } else {
        report(caption, parent);
        if (!waitFor.empty()) {
            for (int i = 0; i < 600 && access(waitFor.c_str(), F_OK) != 0; ++i) usleep(100000);
            report(again, nullptr);
        }
    }
    std::printf("result=%s\ncriticals=%d\n", result.c_str(), g_criticals.load());
    return 0;
}
