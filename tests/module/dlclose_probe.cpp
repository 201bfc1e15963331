// Loads an application module that uses the library, lets it leave exceptions
// in several threads' chains, unloads it, and checks that the library went
// away and deleted every one of them. Threads that end release their chains
// on the way (the newest exception of each may wait for its deferred
// deletion); what the loading thread holds goes only with the library. The
// fault handlers the application had before are back after the unload. Exit
// status 0 when all that holds.
#include <dlfcn.h>

#include <csignal>
#include <cstdio>

namespace {
int g_destroyed = 0;
void OnDestroyed() { ++g_destroyed; }
volatile std::sig_atomic_t g_segv = 0;
void OnSegv(int) { g_segv = 1; }
}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) return 2;
    // The application's own handler, there before the library's.
    struct sigaction own = {};
    own.sa_handler = &OnSegv;
    sigaction(SIGSEGV, &own, nullptr);
    void* plugin = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
    if (!plugin) {
        std::fprintf(stderr, "dlopen: %s\n", dlerror());
        return 2;
    }
    using Run = int (*)(void (*)(), int);
    auto run = reinterpret_cast<Run>(dlsym(plugin, "plugin_run"));
    if (!run) return 2;
    int made = run(&OnDestroyed, 3);
    if (g_destroyed >= made) {
        std::fprintf(stderr, "deleted too early: %d of %d\n", g_destroyed, made);
        return 1;
    }
    dlclose(plugin);
    if (void* still = dlopen(argv[2], RTLD_NOW | RTLD_NOLOAD)) {
        std::fprintf(stderr, "the library is still loaded\n");
        dlclose(still);
        return 1;
    }
    if (g_destroyed != made) {
        std::fprintf(stderr, "made %d exceptions, deleted %d\n", made, g_destroyed);
        return 1;
    }
    // A SIGSEGV after the unload reaches the handler that was there before.
    raise(SIGSEGV);
    if (!g_segv) {
        std::fprintf(stderr, "the earlier SIGSEGV handler was not called\n");
        return 1;
    }
    std::printf("unloading deleted all %d exceptions and gave SIGSEGV back\n", made);
    return 0;
}
