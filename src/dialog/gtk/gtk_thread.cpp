#include "dialog/gtk/gtk_thread.h"

#include <gtk/gtk.h>
#include <pthread.h>
#include <signal.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <condition_variable>
#include <future>
#include <mutex>
#include <thread>

namespace orneh {
namespace dialog {
namespace gtk {
namespace {

bool g_applicationGtk = false;  // the application initialised GTK itself

bool IsMainThread() { return ::syscall(SYS_gettid) == ::getpid(); }

void RunOwnLoop(std::promise<bool>* started) {
    // The application's locale stays as it is.
    gtk_disable_setlocale();
    const bool ok = gtk_init_check(nullptr, nullptr);
    started->set_value(ok);
    if (!ok) return;
    GMainLoop* loop = g_main_loop_new(nullptr, FALSE);
    g_main_loop_run(loop);
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
    std::thread(RunOwnLoop, &started).detach();
    pthread_sigmask(SIG_SETMASK, &old, nullptr);
    if (result.get()) return true;
    const char* display = std::getenv("DISPLAY");
    why = std::string("cannot open display ") + (display ? display : "");
    return false;
}

bool OnGtkThread() { return g_applicationGtk && IsMainThread(); }

void CallOnGtk(const std::function<void()>& fn) {
    if (OnGtkThread()) {
        fn();
        return;
    }
    struct Task {
        const std::function<void()>* fn;
        std::mutex mutex;
        std::condition_variable done;
        bool finished = false;
    } task;
    task.fn = &fn;
    g_main_context_invoke(
        nullptr,
        [](gpointer data) -> gboolean {
            auto* t = static_cast<Task*>(data);
            (*t->fn)();
            std::lock_guard<std::mutex> lock(t->mutex);
            t->finished = true;
            t->done.notify_one();
            return G_SOURCE_REMOVE;
        },
        &task);
    std::unique_lock<std::mutex> lock(task.mutex);
    task.done.wait(lock, [&] { return task.finished; });
}

void IterateUntil(const std::function<bool()>& ready) {
    while (!ready()) g_main_context_iteration(nullptr, TRUE);
}

}  // namespace gtk
}  // namespace dialog
}  // namespace orneh
