// Module start and stop: the administration is created when the shared
// object is loaded (the loading thread takes slot 0) and destroyed, with every
// exception any thread still holds, when it is unloaded or the process ends.
#include "platform/signals.h"
#include "platform/system.h"
#include "runtime/admin.h"

namespace {

struct ModuleLifetime {
    ModuleLifetime() {
        SetMainThreadId(orneh::platform::CurrentThreadId());
        CreateAdminAtLoad();
    }
    ~ModuleLifetime() {
        DestroyAdminAtUnload();
        // A fault after the unload must reach the handler the application
        // had before, not this module's code.
        orneh::platform::RestorePreviousFaultHandlers();
    }
};

ModuleLifetime g_module;

}  // namespace
