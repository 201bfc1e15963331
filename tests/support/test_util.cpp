#include "test_util.h"

#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "base/alloc.h"
#include "base/settings.h"

namespace {
// Block counting on before the library's module start makes its first block.
struct CountBlocksFirst {
    CountBlocksFirst() { orneh::base::alloctest::CountBlocks(); }
};
__attribute__((init_priority(101))) CountBlocksFirst g_countBlocksFirst;
}  // namespace

namespace zkqtest {

TempDir::TempDir(const char* base) {
    std::string pattern = std::string(base) + "/zkqtest.XXXXXX";
    char* made = mkdtemp(&pattern[0]);
    if (!made) throw std::runtime_error("mkdtemp failed");
    m_path = made;
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(m_path, ec);
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

::testing::AssertionResult Contains(const std::string& text, std::initializer_list<std::string> pieces) {
    for (const std::string& piece : pieces)
        if (text.find(piece) == std::string::npos) return ::testing::AssertionFailure() << "no \"" << piece << "\" in:\n" << text;
    return ::testing::AssertionSuccess();
}

bool WaitUntil(const std::function<bool()>& done, int timeoutMs, int stepMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(stepMs));
    }
    return true;
}

void Barrier::Wait() {
    std::unique_lock<std::mutex> lock(m_mutex);
    if (--m_left == 0) {
        m_cv.notify_all();
    } else {
        m_cv.wait(lock, [this] { return m_left <= 0; });
    }
}

bool FileExists(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
}

void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

bool WaitUntilBlockedIn(long tid, long syscallNumber, int timeoutMs) {
    const std::string path = "/proc/self/task/" + std::to_string(tid) + "/syscall";
    return WaitUntil([&] {
        long current = -1;
        std::FILE* file = std::fopen(path.c_str(), "r");
        if (!file) return false;
        const bool read = std::fscanf(file, "%ld", &current) == 1;
        std::fclose(file);
        return read && current == syscallNumber;
    }, timeoutMs, 1);
}

ScopedEnv::ScopedEnv(const char* name, const char* value)
    : m_name(name), m_old(std::getenv(name) ? std::getenv(name) : ""), m_hadOld(std::getenv(name)) {
    value ? ::setenv(name, value, 1) : ::unsetenv(name);
    orneh::base::SetSettingForTesting(name, value);
}

ScopedEnv::~ScopedEnv() {
    m_hadOld ? ::setenv(m_name.c_str(), m_old.c_str(), 1) : ::unsetenv(m_name.c_str());
    orneh::base::SetSettingForTesting(m_name.c_str(), m_hadOld ? m_old.c_str() : nullptr);
}

ScopedCwd::ScopedCwd(const std::string& dir) {
    char buffer[PATH_MAX];
    if (::getcwd(buffer, sizeof buffer)) m_old = buffer;
    if (::chdir(dir.c_str()) != 0) throw std::runtime_error("chdir failed: " + dir);
}

// A failure to go back leaves nothing to do in a destructor.
ScopedCwd::~ScopedCwd() { (void)(!m_old.empty() && ::chdir(m_old.c_str()) == 0); }

std::string RunCommand(const std::string& command, bool* ok) {
    std::string out;
    FILE* pipe = ::popen(command.c_str(), "r");
    char buffer[4096];
    for (std::size_t got; pipe && (got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, got);
    const bool succeeded = pipe && ::pclose(pipe) == 0;
    if (ok) *ok = succeeded;
    return out;
}

ForeignHolder::ForeignHolder(const std::string& path)
    : m_fd(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666)),
      m_holds(m_fd >= 0 && ::flock(m_fd, LOCK_EX | LOCK_NB) == 0) {}

ForeignHolder::~ForeignHolder() {
    if (m_fd >= 0) ::close(m_fd);
}

void EveryAllocationFails(const std::function<std::string()>& op, const std::set<std::string>& allowed,
                          const std::string& full, int minimumAllocations) {
    std::string outcome;
    const int allocations = ForEachAllocationFailure([&] { outcome = op(); }, [&](int failedAt) {
        EXPECT_TRUE(allowed.count(outcome) || outcome == full) << "allocation " << failedAt << ": " << outcome.substr(0, 60);
    });
    EXPECT_GE(allocations, minimumAllocations);
    EXPECT_EQ(outcome, full);
}

AllocFailureReset::~AllocFailureReset() { orneh::base::alloctest::Reset(); }

}  // namespace zkqtest
