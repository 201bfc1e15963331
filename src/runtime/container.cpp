// ExContainer: a thread's standard log file and the end of its chain.
#include "OrnEhBasis.h"
#include "runtime/admin.h"

ExContainer::ExContainer() = default;

ExContainer::~ExContainer() { ReleaseAll(); }

void ExContainer::SetLogFileInfos(const char* path, OrnEhLogfileStyle style, unsigned long maxSize) {
    logFile.SetFileName(path);
    logFile.SetStyle(style);
    logFile.SetMaxSize(maxSize);
}

void ExContainer::WriteEmergencyLine(OrnEhLogFile& log, const char* text) {
    log.Open();
    log << text << "\r\n";
    log.NewLine(1);
    log.Close();
}
