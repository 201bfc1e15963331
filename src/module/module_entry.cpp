// Module start and stop: the settings are read and the administration is
// created when the shared object is loaded (the loading thread takes slot 0);
// the administration is destroyed, with every exception any thread still
// holds, when it is unloaded or the process ends.
#include "base/settings.h"
#include "platform/signals.h"
#include "platform/system.h"
#include "runtime/admin.h"
#include "runtime/plain_record.h"

namespace {

struct ModuleLifetime {
    ModuleLifetime() {
        orneh::base::LoadSettings();
        SetMainThreadId(orneh::platform::CurrentThreadId());
        CreateAdminAtLoad();
        orneh::platform::SetLastWords(&orneh::runtime::WritePlainFaultRecord);
    }
    ~ModuleLifetime() {
        orneh::platform::SetLastWords(nullptr);
        DestroyAdminAtUnload();
        // A fault after the unload must reach the handler the application
        // had before, not this module's code.
        orneh::platform::RestorePreviousFaultHandlers();
    }
};

ModuleLifetime g_module;

}  // namespace
