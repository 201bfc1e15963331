// The process-wide log configuration (OrnEhInitialize): every thread's
// standard log file takes it at its next lookup.
#include <cstring>

#include "base/alloc.h"
#include "journal/journal.h"
#include "platform/last_record.h"
#include "runtime/admin_state.h"

namespace ap = orneh::platform;
using namespace orneh::runtime;

orneh::platform::Mutex orneh::runtime::g_configLock;

namespace {

// Written and read under g_configLock. Replaced texts are kept until the
// administration goes away: another thread may still be writing the old
// application name into its log.
struct RetiredText {
    char* text;
    RetiredText* next;
};
OrnEhLogfileStyle g_logStyle GUARDED_BY(g_configLock) = OrnEhLogLimited;
unsigned long g_logMaxSize GUARDED_BY(g_configLock) = kDefaultMaxSize;
char* g_applicationName GUARDED_BY(g_configLock) = nullptr;
char* g_logPath GUARDED_BY(g_configLock) = nullptr;
RetiredText* g_retiredTexts GUARDED_BY(g_configLock) = nullptr;

void Retire(char* text) REQUIRES(g_configLock) {
    if (!text) return;
    RetiredText* node = orneh::base::New<RetiredText>();
    if (!node) return;  // leaking the text is safer than freeing it under a reader
    node->text = text;
    node->next = g_retiredTexts;
    g_retiredTexts = node;
}

}  // namespace

void orneh::runtime::FreeConfiguration() {
    ap::MutexLock lock(g_configLock);
    while (g_retiredTexts) {
        RetiredText* next = g_retiredTexts->next;
        OrnEhDeleteString(g_retiredTexts->text);
        orneh::base::Delete(g_retiredTexts);
        g_retiredTexts = next;
    }
    OrnEhDeleteString(g_applicationName);
    OrnEhDeleteString(g_logPath);
    g_applicationName = nullptr;
    g_logPath = nullptr;
    ap::SetLastRecordPath(nullptr);
    g_logStyle = OrnEhLogLimited;
    g_logMaxSize = kDefaultMaxSize;
}

void ApplyLogConfigTo(OrnEhLogFile& log) {
    ap::MutexLock lock(g_configLock);
    log.SetFileName(g_logPath);
    log.SetStyle(g_logStyle);
    log.SetMaxSize(g_logMaxSize);
}

void ExMultiThreadAdmin::ApplyLogConfig(ExContainer* container) {
    ap::MutexLock lock(g_configLock);
    container->SetLogFileInfos(g_logPath, g_logStyle, g_logMaxSize);
    container->configGeneration = g_configGeneration.load();
}

void ExMultiThreadAdmin::SetLogFileInfos(const char* applicationName, OrnEhLogfileStyle style,
                                         unsigned long maxSize, const char* fileName,
                                         const char* subDirectory, const char* directory) {
    std::size_t size = 3;
    for (const char* part : {directory, subDirectory, fileName}) {
        if (part) size += std::strlen(part);
    }
    char* path = static_cast<char*>(orneh::base::Alloc(size));
    if (path) {
        path[0] = '\0';
        if (directory) std::strcat(path, directory);
        for (const char* part : {subDirectory, fileName}) {
            if (!part) continue;
            if (path[0]) std::strcat(path, "/");
            std::strcat(path, part);
        }
    }
    char* name = applicationName ? OrnEhCopyString(applicationName) : nullptr;
    ap::MutexLock lock(g_configLock);
    g_logStyle = style;
    g_logMaxSize = maxSize;
    if (applicationName) {
        Retire(g_applicationName);
        g_applicationName = name;
        orneh::journal::SetIdentifier(name);
    }
    Retire(g_logPath);
    g_logPath = path;
    // The last resorts' copy, which they read without the lock.
    ap::SetLastRecordPath(path);
    // Each thread applies the new configuration to its own standard log file
    // at its next lookup, so no thread writes into another thread's log file.
    g_configGeneration.fetch_add(1);
}

const char* ExMultiThreadAdmin::GetApplicationName() const {
    ap::MutexLock lock(g_configLock);
    return g_applicationName;
}

const char* GetApplicationName() {
    ExMultiThreadAdmin* admin = PeekAdmin();
    return admin ? admin->GetApplicationName() : nullptr;
}
