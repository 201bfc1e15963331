// Loads an application module that uses the library, lets it leave exceptions
// in several threads' chains, unloads it, and checks that the library went
// away and deleted every one of them. Threads that end release their chains
// on the way (the newest exception of each may wait for its deferred
// deletion); what the loading thread holds goes only with the library. Exit
// status 0 when it did.
#include <dlfcn.h>

#include <cstdio>

namespace {
int g_destroyed = 0;
void OnDestroyed() { ++g_destroyed; }
}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) return 2;
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
    std::printf("unloading deleted all %d exceptions\n", made);
    return 0;
}
