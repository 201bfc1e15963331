// ExContainer: a thread's standard log file and the end of its chain.
#include "OrnEhBasis.h"
#include "OrnEhMemory.h"
#include "core/basis_info.h"
#include "runtime/admin.h"

ExContainer::ExContainer() = default;

ExContainer::~ExContainer() {
    while (last) {
        OrnEhBasis* e = last;
        OrnEhBasisInfo* info = OrnEhBasisAccess::Info(e);
        last = info ? info->prev : nullptr;
        if (info) {
            info->released = 1;
            info->next = nullptr;
            info->prev = nullptr;
        }
        if (e != current && !e->IsKindOf(RUNTIME_CLASS(OrnEhMemory))) delete e;
    }
}

void ExContainer::SetLogFileInfos(const char* path, OrnEhLogfileStyle style, unsigned long maxSize) {
    logFile.SetFileName(path);
    logFile.SetStyle(style);
    logFile.SetMaxSize(maxSize);
}

void ExContainer::WriteEmergencyText(const char* text) {
    logFile.Open();
    logFile << text << "\r\n";
    logFile.NewLine(1);
    logFile.Close();
}
