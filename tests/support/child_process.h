// Runs a piece of a test in a child process, for what only shows when a
// process ends: faults, the terminate handler, exit.
#ifndef ZKQ_TESTS_SUPPORT_CHILD_PROCESS_H
#define ZKQ_TESTS_SUPPORT_CHILD_PROCESS_H

#include <functional>
#include <ostream>

namespace zkqtest {

struct ChildResult {
    bool exited = false;  // ended by exit (code in exitCode)
    int exitCode = 0;
    bool signaled = false;  // ended by a signal (in signal)
    int signal = 0;
    bool timedOut = false;  // still running at the deadline, then killed

    bool ExitedWith(int code) const { return exited && exitCode == code; }
    bool KilledBy(int sig) const { return signaled && signal == sig; }
};

// "exit 3", "signal 11" or "timed out", for failure messages.
std::ostream& operator<<(std::ostream& out, const ChildResult& result);

// Forks; the child runs body and then _exit(0) unless body ended it first.
// A child still running after deadlineSeconds is killed (SIGKILL) and
// reported as timed out, so that a hang fails the test instead of the run.
ChildResult RunInChild(const std::function<void()>& body, unsigned int deadlineSeconds = 60);

// Runs the current test again in a new process of the test program, with
// ZKQ_CHILD_ROLE=role (and optionally ASAN_OPTIONS=asanOptions) in its
// environment. The test checks InChildRole(role) and does the child's part
// there. For children that must start with settings of their own; killed
// after 240 seconds, within the test timeout.
ChildResult RunTestInNewProcess(const char* role, const char* asanOptions = nullptr);
bool InChildRole(const char* role);

}  // namespace zkqtest

#endif
