#include "platform/helper_process.h"

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <dlfcn.h>
#include <fcntl.h>
#include <sched.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include "base/sanitizer.h"

#ifndef CLONE_PIDFD
#define CLONE_PIDFD 0x00001000
#endif
#ifndef SYS_pidfd_send_signal
#define SYS_pidfd_send_signal 424
#endif

namespace orneh {
namespace platform {
namespace {

using CloneFunction = int (*)(int (*)(void*), void*, int, void*, ...);

#ifdef ORNEH_THREAD_SANITIZER
// ThreadSanitizer takes every clone for a fork and resets its own state in
// the child, which a child sharing the caller's memory shares: the C
// library's own clone is called instead, looked up once at load.
CloneFunction LibcClone() {
    void* libc = dlopen("libc.so.6", RTLD_NOW | RTLD_NOLOAD);
    void* own = libc ? dlsym(libc, "clone") : nullptr;
    return own ? reinterpret_cast<CloneFunction>(own) : &clone;
}
const CloneFunction g_clone = LibcClone();
#else
const CloneFunction g_clone = &clone;
#endif

// Shared by the caller, the first child and the program until its exec.
struct Start {
    const char* path;
    char* const* argv;
    char* const* envp;
    int socket;   // the program's end, to become its fd 0
    int flags;    // of the program's clone
    int pidfd;    // out
};

// Each child runs on a stack of its own, in the caller's memory, until its
// exec or end; the caller waits meanwhile.
alignas(16) char g_firstStack[8 * 1024];
alignas(16) char g_programStack[8 * 1024];

// Between the clone and the exec only system calls: a child shares the
// caller's memory and thread data.
__attribute__((no_sanitize("address", "thread", "undefined"))) int RunProgram(void* raw) {
    const Start* start = static_cast<const Start*>(raw);
    if (start->socket == 0) {
        syscall(SYS_fcntl, 0, F_SETFD, 0);
    } else if (syscall(SYS_dup3, start->socket, 0, 0) != 0) {
        syscall(SYS_exit, 127);
    }
    syscall(SYS_execve, start->path, start->argv, start->envp);
    syscall(SYS_exit, 127);
    return 127;
}

// The first child: shares the caller's descriptors too, so that the
// program's pidfd lands among them; ends once the program has started.
__attribute__((no_sanitize("address", "thread", "undefined"))) int RunFirst(void* raw) {
    Start* start = static_cast<Start*>(raw);
    int pidfd = -1;
    long pid = g_clone(&RunProgram, g_programStack + sizeof g_programStack, start->flags | CLONE_PIDFD, raw, &pidfd);
    if (pid < 0) pid = g_clone(&RunProgram, g_programStack + sizeof g_programStack, start->flags, raw);
    start->pidfd = pid > 0 ? pidfd : -2;
    syscall(SYS_exit, 0);
    return 0;
}

}  // namespace

bool StartHelper(const char* path, char* const argv[], char* const envp[], HelperProcess& out) noexcept {
    const int savedErrno = errno;
    int pair[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0) return false;
    // Exit signal 0 and no exec: the first child is a clone child, which
    // sends no SIGCHLD and which only a wait with __WCLONE collects.
    Start start{path, argv, envp, pair[1], CLONE_VM | CLONE_VFORK, -1};
    // Every signal blocked, the C library's own among them: no handler may
    // run in a child while it shares the caller's memory. The program
    // unblocks them when it starts.
    std::uint64_t all = ~std::uint64_t{0}, old = 0;
    syscall(SYS_rt_sigprocmask, SIG_SETMASK, &all, &old, sizeof all);
    pid_t first = g_clone(&RunFirst, g_firstStack + sizeof g_firstStack, CLONE_VM | CLONE_VFORK | CLONE_FILES, &start);
    syscall(SYS_rt_sigprocmask, SIG_SETMASK, &old, nullptr, sizeof old);
    if (first > 0) {
        while (waitpid(first, nullptr, __WCLONE) < 0 && errno == EINTR) {
        }
    }
    close(pair[1]);
    errno = savedErrno;
    if (first <= 0 || start.pidfd == -2) {
        close(pair[0]);
        return false;
    }
    struct stat st;
    out.running = true;
    out.socket = pair[0];
    out.pidfd = start.pidfd;
    out.socketInode = fstat(pair[0], &st) == 0 ? static_cast<unsigned long>(st.st_ino) : 0;
    return true;
}

void StopHelper(HelperProcess& helper) noexcept {
    if (!helper.running) return;
    const int savedErrno = errno;
    close(helper.socket);
    if (helper.pidfd >= 0) {
        syscall(SYS_pidfd_send_signal, helper.pidfd, SIGKILL, nullptr, 0);
        close(helper.pidfd);
    }
    helper = HelperProcess();
    errno = savedErrno;
}

bool HelperDescriptorsIntact(HelperProcess& helper) noexcept {
    if (!helper.running) return false;
    struct stat st;
    const int savedErrno = errno;
    if (fstat(helper.socket, &st) == 0 && S_ISSOCK(st.st_mode) && st.st_ino == helper.socketInode) return true;
    errno = savedErrno;
    helper = HelperProcess();
    return false;
}

void ForgetHelperInChild(HelperProcess& helper) noexcept {
    if (!helper.running) return;
    close(helper.socket);
    if (helper.pidfd >= 0) close(helper.pidfd);
    helper = HelperProcess();
}

}  // namespace platform
}  // namespace orneh
