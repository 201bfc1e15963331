// A module of an application, loaded with dlopen: its threads leave
// exceptions in their chains and end; unloading the library must delete them.
#include <thread>
#include <vector>

#include <OrnEhBasis.h>

namespace {

void (*g_onDestroyed)() = nullptr;

class PluginException : public OrnEhBasis {
public:
    PluginException() : OrnEhBasis("plugin.cpp", "Plugin", "Run", "left behind", 1, 0, 0, nullptr, 0, 0, 1) {}
    ~PluginException() override {
        CheckBeforeDelete();
        if (g_onDestroyed) g_onDestroyed();
    }
};

}  // namespace

extern "C" __attribute__((visibility("default"))) int plugin_run(void (*onDestroyed)(), int threads) {
    g_onDestroyed = onDestroyed;
    std::vector<std::thread> workers;
    for (int i = 0; i < threads; ++i) {
        workers.emplace_back([] {
            new PluginException();
            new PluginException();
        });
    }
    for (std::thread& t : workers) t.join();
    new PluginException();  // and one in the loading thread
    return 2 * threads + 1;
}
