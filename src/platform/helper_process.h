// A program of the library's own run beside the application, talked to over
// a socket. It is started the way the C library's posix_spawn starts a
// program (a child sharing memory, the caller stopped until the exec), with
// no signal handler, allocation, lock or fork handler on the way, so that a
// fault handler may start it. It is not the application's child: a first
// child, which never runs application code and is collected at once, starts
// it and ends, so the application gets no SIGCHLD and its wait() or
// waitpid(-1) never meets it (the program goes to init, or to a subreaper).
#ifndef ORNEH_PLATFORM_HELPER_PROCESS_H
#define ORNEH_PLATFORM_HELPER_PROCESS_H

namespace orneh {
namespace platform {

// All zero: none (so that one of static storage needs no initialisation).
struct HelperProcess {
    bool running;
    int socket;  // the library's end; the program has the other as fd 0
    int pidfd;   // to kill it by (-1: a kernel without pidfds)
    unsigned long socketInode;
};

// Callers serialize every call of these (one lock of theirs).

// Starts path with argv and envp (null-terminated, kept by the caller until
// this returns) and all signals blocked. False when it cannot be started; a
// program that cannot be executed ends at once.
bool StartHelper(const char* path, char* const argv[], char* const envp[], HelperProcess& out) noexcept;

// Closes the socket and kills the program.
void StopHelper(HelperProcess& helper) noexcept;

// Whether the socket is still the one made for the program: an application
// that closes descriptors it does not own may have closed it, and the number
// may now be a file of its own. When not, the descriptors are forgotten
// without being touched (the program ends when its socket closes).
bool HelperDescriptorsIntact(HelperProcess& helper) noexcept;

// In a forked child: the parent's program is not the child's to stop;
// closes the descriptors only.
void ForgetHelperInChild(HelperProcess& helper) noexcept;

}  // namespace platform
}  // namespace orneh

#endif
