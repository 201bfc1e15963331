#include "support/child_process.h"

#include <gtest/gtest.h>

#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace zkqtest {
namespace {

// Polls every millisecond up to the deadline, then kills the child.
ChildResult Wait(pid_t pid, unsigned int deadlineSeconds) {
    ChildResult result{};
    int status = 0;
    for (unsigned long waited = 0; pid > 0; ++waited) {
        pid_t done = ::waitpid(pid, &status, WNOHANG);
        if (done < 0) return result;
        if (done == pid) break;
        if (waited >= deadlineSeconds * 1000UL) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            result.timedOut = true;
            return result;
        }
        ::usleep(1000);
    }
    result.exited = pid > 0 && WIFEXITED(status);
    result.exitCode = result.exited ? WEXITSTATUS(status) : 0;
    result.signaled = pid > 0 && WIFSIGNALED(status);
    result.signal = result.signaled ? WTERMSIG(status) : 0;
    return result;
}

}  // namespace

ChildResult RunInChild(const std::function<void()>& body, unsigned int deadlineSeconds) {
    pid_t pid = ::fork();
    if (pid == 0) {
        body();
        ::_exit(0);
    }
    return Wait(pid, deadlineSeconds);
}

ChildResult RunTestInNewProcess(const char* role, const char* asanOptions) {
    const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string filter = std::string("--gtest_filter=") + test->test_suite_name() + "." + test->name();
    char self[PATH_MAX];
    ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0) return ChildResult{};
    self[n] = '\0';
    pid_t pid = ::fork();
    if (pid == 0) {
        ::setenv("ZKQ_CHILD_ROLE", role, 1);
        if (asanOptions) ::setenv("ASAN_OPTIONS", asanOptions, 1);
        char* argv[] = {self, &filter[0], nullptr};
        ::execv(self, argv);
        ::_exit(127);
    }
    return Wait(pid, 240);
}

std::ostream& operator<<(std::ostream& out, const ChildResult& result) {
    if (result.timedOut) return out << "timed out";
    if (result.signaled) return out << "signal " << result.signal;
    return out << (result.exited ? "exit " : "no status ") << result.exitCode;
}

bool InChildRole(const char* role) {
    const char* current = std::getenv("ZKQ_CHILD_ROLE");
    return current && std::strcmp(current, role) == 0;
}

}  // namespace zkqtest
