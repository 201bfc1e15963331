#include "dialog/gtk/gtk_thread.h"

#include <gtk/gtk.h>
#ifdef GDK_WINDOWING_X11
#include <gdk/gdkx.h>
#endif
#include <pthread.h>
#include <signal.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <future>
#include <memory>
#include <mutex>
#include <thread>

namespace orneh {
namespace dialog {
namespace gtk {
namespace {

bool g_applicationGtk = false;  // the application initialised GTK itself
std::atomic<pid_t> g_ownThread{0};
std::atomic<bool> g_lost{false};
std::function<void()>& g_tellWindows = *new std::function<void()>;

// The module's own thread is wanted while work waits or a window is open.
// Never destroyed: the thread may still wait on them while the process ends.
std::mutex& g_wantMutex = *new std::mutex;
std::condition_variable& g_wantChanged = *new std::condition_variable;
int g_wanted = 0;

void Want(int change) {
    if (g_applicationGtk) return;
    {
        std::lock_guard<std::mutex> lock(g_wantMutex);
        g_wanted += change;
    }
    g_wantChanged.notify_all();
    // A thread iterating the context looks at the count again.
    g_main_context_wakeup(nullptr);
}

const char* const kLostText = "the display went away";
const char* const kNoLoopText = "the application's GTK main loop did not take the dialog within 5 s";
thread_local const char* t_failure = "";

pid_t ThreadId() { return static_cast<pid_t>(::syscall(SYS_gettid)); }
bool IsMainThread() { return ThreadId() == ::getpid(); }

// One piece of work posted to the default context. Shared by the poster and
// the source: a poster that gives up must not leave the source a dangling
// pointer.
struct Task {
    enum State { kPending, kRunning, kDone, kCancelled };
    std::function<void()> fn;
    std::mutex mutex;
    std::condition_variable changed;
    State state = kPending;
    GSource* source = nullptr;

    ~Task() {
        if (source) g_source_unref(source);
    }

    // The source's callback: runs fn unless the poster gave up.
    static gboolean Run(gpointer data) {
        Task& t = **static_cast<std::shared_ptr<Task>*>(data);
        {
            std::lock_guard<std::mutex> lock(t.mutex);
            if (t.state != kPending) return G_SOURCE_REMOVE;
            t.state = kRunning;
        }
        t.changed.notify_all();
        if (!g_lost) t.fn();
        {
            std::lock_guard<std::mutex> lock(t.mutex);
            t.state = kDone;
        }
        t.changed.notify_all();
        Want(-1);
        return G_SOURCE_REMOVE;
    }
};

std::shared_ptr<Task> Post(std::function<void()> fn) {
    auto task = std::make_shared<Task>();
    task->fn = std::move(fn);
    Want(1);
    task->source = g_idle_source_new();
    g_source_set_priority(task->source, G_PRIORITY_DEFAULT);
    g_source_set_callback(task->source, Task::Run, new std::shared_ptr<Task>(task),
                          [](gpointer data) { delete static_cast<std::shared_ptr<Task>*>(data); });
    g_source_attach(task->source, nullptr);
    return task;
}

// --- The display going away ---------------------------------------------------

void MarkLost() {
    if (g_lost.exchange(true)) return;
    if (g_tellWindows) g_tellWindows();
}

#ifdef GDK_WINDOWING_X11
XIOErrorHandler g_previousIoHandler = nullptr;

// Xlib calls this when the connection breaks. On the module's thread the
// dialog goes on without the display (GDK's handler would end the process);
// on the application's own GTK thread the application's behaviour stays.
int OnIoError(Display* display) {
    if (ThreadId() == g_ownThread) {
        MarkLost();
        return 0;
    }
    return g_previousIoHandler ? g_previousIoHandler(display) : 0;
}

// After the handler returned: Xlib would exit here; the connection is only
// marked dead and every later call on it returns at once. Xlib took the
// display's user lock for the exit; it is given back, or the next thread to
// lock the display (a library's clean-up at exit, say) waits for ever.
void OnIoErrorExit(Display* display, void*) {
    if (ThreadId() != g_ownThread) std::exit(1);
    XUnlockDisplay(display);
}

void CatchDisplayLoss() {
    GdkDisplay* display = gdk_display_get_default();
    if (!GDK_IS_X11_DISPLAY(display)) return;
    g_previousIoHandler = XSetIOErrorHandler(OnIoError);
    XSetIOErrorExitHandler(gdk_x11_display_get_xdisplay(display), OnIoErrorExit, nullptr);
}
#else
void CatchDisplayLoss() {}
#endif

// --- The module's own thread ------------------------------------------------

void RunOwnThread(std::promise<bool>* started) {
    g_ownThread = ThreadId();
    // The application's locale stays as it is. An X display is preferred
    // where there is one: its loss can be caught.
    gtk_disable_setlocale();
    const char* x11 = std::getenv("DISPLAY");
    if (x11 && *x11) gdk_set_allowed_backends("x11");
    // A server that is busy may refuse a connection for a moment: asked
    // again (GTK tries the display again on each call).
    bool ok = false;
    for (int attempt = 0; attempt < 3 && !ok; ++attempt) {
        if (attempt) std::this_thread::sleep_for(std::chrono::milliseconds(200));
        ok = gtk_init_check(nullptr, nullptr);
    }
    if (ok) CatchDisplayLoss();
    started->set_value(ok);
    if (!ok) return;
    GMainContext* context = g_main_context_default();
    for (;;) {
        {
            std::unique_lock<std::mutex> lock(g_wantMutex);
            g_wantChanged.wait(lock, [] { return g_wanted > 0 && !g_lost; });
        }
        if (!g_main_context_acquire(context)) {
            // The application's loop holds the context and runs the work.
            std::unique_lock<std::mutex> lock(g_wantMutex);
            g_wantChanged.wait_for(lock, std::chrono::milliseconds(100));
            continue;
        }
        for (;;) {
            {
                std::lock_guard<std::mutex> lock(g_wantMutex);
                if (g_wanted <= 0 || g_lost) break;
            }
            g_main_context_iteration(context, TRUE);
        }
        g_main_context_release(context);
    }
}

}  // namespace

bool StartGtk(std::string& why) {
    if (gdk_display_get_default()) {
        g_applicationGtk = true;
        return true;
    }
    // The module's thread takes none of the application's asynchronous
    // signals; faults stay deliverable.
    sigset_t all, old;
    sigfillset(&all);
    for (int s : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGTRAP, SIGABRT, SIGSYS}) sigdelset(&all, s);
    pthread_sigmask(SIG_BLOCK, &all, &old);
    std::promise<bool> started;
    std::future<bool> result = started.get_future();
    std::thread(RunOwnThread, &started).detach();
    pthread_sigmask(SIG_SETMASK, &old, nullptr);
    if (result.get()) return true;
    const char* display = std::getenv("DISPLAY");
    why = std::string("cannot open display ") + (display ? display : "");
    return false;
}

bool OnGtkThread() {
    if (g_main_context_is_owner(nullptr)) return true;
    return g_applicationGtk && IsMainThread();
}

bool CallOnGtk(const std::function<void()>& fn) {
    if (g_lost) {
        t_failure = kLostText;
        return false;
    }
    if (OnGtkThread()) {
        fn();
        if (g_lost) t_failure = kLostText;
        return !g_lost;
    }
    std::shared_ptr<Task> task = Post([&fn] { fn(); });
    std::unique_lock<std::mutex> lock(task->mutex);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(kStartBoundSeconds);
    // Looked at in short steps: the display may go away meanwhile.
    while (task->state == Task::kPending && !g_lost && std::chrono::steady_clock::now() < deadline) {
        task->changed.wait_for(lock, std::chrono::milliseconds(100));
    }
    if (task->state == Task::kPending) {
        task->state = Task::kCancelled;
        lock.unlock();
        g_source_destroy(task->source);
        Want(-1);
        t_failure = g_lost ? kLostText : kNoLoopText;
        return false;
    }
    task->changed.wait(lock, [&] { return task->state == Task::kDone; });
    if (g_lost) t_failure = kLostText;
    return !g_lost;
}

void PostToGtk(std::function<void()> fn) {
    if (g_lost) return;
    if (OnGtkThread()) {
        fn();
        return;
    }
    Post(std::move(fn));
}

void IterateUntil(const std::function<bool()>& ready) {
    while (!ready() && !g_lost) g_main_context_iteration(nullptr, TRUE);
}

void WindowOpened() { Want(1); }
void WindowClosed() { Want(-1); }

bool DisplayLost() { return g_lost; }

const char* LastFailure() { return g_lost ? kLostText : t_failure; }

void OnDisplayLost(std::function<void()> tellWindows) { g_tellWindows = std::move(tellWindows); }

}  // namespace gtk
}  // namespace dialog
}  // namespace orneh
