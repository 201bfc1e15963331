#include "support/child_process.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <csignal>
#include <cstring>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace zkqtest {
namespace {

ChildResult Wait(pid_t pid, unsigned int deadlineSeconds = 0) {
    ChildResult result{false, 0, false, 0, false};
    int status = 0;
    if (pid < 0) return result;
    if (deadlineSeconds > 0) {
        const long kStepMs = 10;
        long waited = 0;
        while (::waitpid(pid, &status, WNOHANG) == 0) {
            if (waited >= static_cast<long>(deadlineSeconds) * 1000) {
                ::kill(pid, SIGKILL);
                ::waitpid(pid, &status, 0);
                result.timedOut = true;
                return result;
            }
            ::usleep(kStepMs * 1000);
            waited += kStepMs;
        }
    } else if (::waitpid(pid, &status, 0) != pid) {
        return result;
    }
    if (WIFEXITED(status)) {
        result.exited = true;
        result.exitCode = WEXITSTATUS(status);
    } else if (WIFSIGNALED(status)) {
        result.signaled = true;
        result.signal = WTERMSIG(status);
    }
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
    if (n <= 0) return ChildResult{false, 0, false, 0, false};
    self[n] = '\0';
    pid_t pid = ::fork();
    if (pid == 0) {
        ::setenv("ZKQ_CHILD_ROLE", role, 1);
        if (asanOptions) ::setenv("ASAN_OPTIONS", asanOptions, 1);
        char* argv[] = {self, &filter[0], nullptr};
        ::execv(self, argv);
        ::_exit(127);
    }
    return Wait(pid);
}

bool InChildRole(const char* role) {
    const char* current = std::getenv("ZKQ_CHILD_ROLE");
    return current && std::strcmp(current, role) == 0;
}

}  // namespace zkqtest
