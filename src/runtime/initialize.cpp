// OrnEhInitialize: configures the log and installs the last-resort handlers.
#include <cstdlib>
#include <exception>

#include "OrnEh.h"
#include "base/settings.h"
#include "journal/journal.h"
#include "platform/fault_translator.h"
#include "platform/signals.h"
#include "runtime/admin.h"
#include "runtime/boundary.h"
#include "runtime/last_resort.h"
#include "runtime/se_translator.h"

void OrnEhInitialize(const char* const applicationName, OrnEhLogfileStyle style,
                     const char* const fileName, const char* const subDirectory,
                     const char* const directory, unsigned long maxSize) {
    ActiveCall inside;
    ActiveCall::HoldOffCancellation();
    orneh::platform::SetErrorMode(0x8001);
    if (!GetCurrentContainer()) {
        WriteEmergencyText("Programm mit exit (-1) abgebrochen: InitExHandling ");
        std::exit(-1);
    }
    std::set_terminate(&ExTerminateHandler);
    orneh::platform::SetSeTranslator(&ExSeTranslator);
    if (!orneh::base::GetSetting(orneh::base::Setting::kOleDebug)) {
        orneh::platform::SetUnhandledExceptionFilter(&ExUnhandledExceptionFilter);
    }
    if (ExMultiThreadAdmin* admin = PeekAdmin()) {
        admin->SetLogFileInfos(applicationName, style, maxSize, fileName, subDirectory, directory);
    }
}

void OrnEhSetJournal(OrnEhJournalMode mode) { orneh::journal::SetMode(static_cast<int>(mode)); }
