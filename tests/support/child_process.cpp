#include "support/child_process.h"

#include <sys/wait.h>
#include <unistd.h>

namespace zkqtest {

ChildResult RunInChild(const std::function<void()>& body) {
    ChildResult result{false, 0, false, 0};
    pid_t pid = ::fork();
    if (pid == 0) {
        body();
        ::_exit(0);
    }
    int status = 0;
    if (pid < 0 || ::waitpid(pid, &status, 0) != pid) return result;
    if (WIFEXITED(status)) {
        result.exited = true;
        result.exitCode = WEXITSTATUS(status);
    } else if (WIFSIGNALED(status)) {
        result.signaled = true;
        result.signal = WTERMSIG(status);
    }
    return result;
}

}  // namespace zkqtest
