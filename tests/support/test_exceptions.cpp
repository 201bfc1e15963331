#include "test_exceptions.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <unistd.h>

#include "support/test_util.h"

#include "OrnEhLogFile.h"
#include "core/basis_info.h"
#include "runtime/admin.h"

namespace zkqtest {

IMPLEMENT_DYNAMIC(TestException, OrnEhBasis)
IMPLEMENT_DYNAMIC(DerivedTestException, TestException)
IMPLEMENT_DYNAMIC(ForeignException, CException)

std::atomic<int> TestException::destroyed{0};
void (*TestException::onLog)(const TestException&) = nullptr;
std::atomic<int> ForeignException::destroyed{0};

BOOL ForeignException::GetErrorMessage(char* text, UINT max, UINT*) {
    if (text && max) std::snprintf(text, max, "%s", "foreign failure");
    return TRUE;
}

namespace {

// Keeps the process's log files out of the source and build trees.
class WorkDirEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        if (::chdir(WorkDir().c_str()) != 0) std::abort();
        GetAdmin()->SetLogFileInfos("zkqtest", OrnEhLogUnlimited, 0, "standard.log", nullptr,
                                    WorkDir().c_str());
    }
};

const bool g_registered = (::testing::AddGlobalTestEnvironment(new WorkDirEnvironment), true);

}  // namespace

const std::string& WorkDir() {
    static TempDir dir;
    return dir.path();
}

ScopedStandardLog::ScopedStandardLog(const std::string& dir, const char* fileName,
                                     OrnEhLogfileStyle style, unsigned long maxSize)
    : m_path(dir + "/" + fileName) {
    GetAdmin()->SetLogFileInfos(nullptr, style, maxSize, fileName, nullptr, dir.c_str());
}

ScopedStandardLog::~ScopedStandardLog() {
    GetAdmin()->SetLogFileInfos(nullptr, OrnEhLogUnlimited, 0, "standard.log", nullptr,
                                WorkDir().c_str());
}

void ClearChain() {
    OrnEhBasis::Release();
    if (ExContainer* container = GetCurrentContainer()) {
        OrnEhBasis* current = container->GetCurrent();
        container->ForgetCurrent(current);
        const OrnEhBasisInfo* info = OrnEhBasisAccess::Info(current);
        if (info && !info->reserve) delete current;
    }
}

std::string ChainNumbers() {
    std::string forward, back;
    OrnEhBasis* last = OrnEhBasis::GetLast();
    for (OrnEhBasis* e = last ? last->GetFirst() : nullptr; e; e = e->GetNext()) forward += std::to_string(e->GetErrorNo()) + " ";
    for (OrnEhBasis* e = last; e; e = e->GetPrev()) back = std::to_string(e->GetErrorNo()) + " " + back;
    return forward == back ? forward : forward + "| back: " + back;
}

std::string RecordOf(const OrnEhBasis& e) {
    OrnEhLogFile log(nullptr, OrnEhLogUnlimited, 0, nullptr, 0, 0);
    if (!log.SetMemoryMode(1)) return "(no memory mode)";
    OrnEhBasisAccess::WriteRecord(&e, log);
    const std::string record = log.GetMemoryText() ? log.GetMemoryText() : "";
    log.SetMemoryMode(0);
    return record;
}

// The slot index reported for an unknown thread is the capacity + 1.
std::uint32_t RecordTableCapacity() { return GetAdmin()->FindSlot(0xFFFFFF02u, 0) - 1; }

}  // namespace zkqtest
