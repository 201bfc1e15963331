// The library's side of the symbolizer: the cache, the program's life, and
// the questions, under one lock that is only ever tried (a holder may be the
// faulting thread itself), never waited on without a bound.
#include "platform/symbolize.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <ctime>
#include <poll.h>
#include <pthread.h>
#include <sys/socket.h>
#include <unistd.h>

#include "base/thread_annotations.h"
#include "platform/helper_process.h"
#include "platform/module_identity.h"
#include "platform/module_loader.h"
#include "platform/symbol_cache.h"
#include "platform/system.h"
#include "symbolizer/protocol.h"

#ifndef ZKQ_INSTALL_LIBDIR
#define ZKQ_INSTALL_LIBDIR ""
#endif

namespace sym = orneh::symbolizer;

namespace orneh {
namespace platform {
namespace {

static_assert(static_cast<std::size_t>(kMaxStackFrames) <= sym::kMaxItems, "a request holds a whole stack");

const char kHelperName[] = "ZKQTRNEH113/ZKQTRNEH113_symbolizer";
// A program that never says hello this many times in a row is given up.
const int kMaxStartFailures = 3;
// A question is not begun with less time left (the lock took the rest): a
// program cut off half-way has to be stopped, and its address is struck.
const int kMinQuestionMs = 500;
// What the cache keeps for an address the program ended or hung at: the
// first time a strike (asked again), the second time no names.
const char kStrike[1] = {0};
const char kNoNames[2] = {0, 0};

struct Deadline {
    std::int64_t at;
    static std::int64_t Now() {
        struct timespec now;
        clock_gettime(CLOCK_MONOTONIC, &now);
        return static_cast<std::int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
    }
    explicit Deadline(int boundMs) : at(Now() + static_cast<std::int64_t>(boundMs) * 1000000) {}
    // Milliseconds left for poll (rounded up); 0 once passed.
    int Left() const {
        std::int64_t left = at - Now();
        return left <= 0 ? 0 : static_cast<int>((left + 999999) / 1000000);
    }
};

// Tried, never waited on without a bound; put back to unlocked in a forked
// child.
class CAPABILITY("mutex") TryLock {
public:
    bool LockBefore(const Deadline& deadline) TRY_ACQUIRE(true) NO_THREAD_SAFETY_ANALYSIS {
        while (pthread_mutex_trylock(&m_mutex) != 0) {
            if (deadline.Left() == 0) return false;
            struct timespec pause = {0, 1000000};
            nanosleep(&pause, nullptr);
        }
        return true;
    }
    void Lock() ACQUIRE() NO_THREAD_SAFETY_ANALYSIS { pthread_mutex_lock(&m_mutex); }
    void Unlock() RELEASE() NO_THREAD_SAFETY_ANALYSIS { pthread_mutex_unlock(&m_mutex); }
    void ResetInChild() {
        LetGoInChild(&m_mutex);
        pthread_mutex_t fresh = PTHREAD_MUTEX_INITIALIZER;
        m_mutex = fresh;
    }

private:
    pthread_mutex_t m_mutex = PTHREAD_MUTEX_INITIALIZER;
};

TryLock g_lock;

// One frame of a stack that the cache did not know.
struct Miss {
    int frame;
    std::uint32_t module;  // index into the request's modules
    std::uint64_t key;
    std::uint64_t offset;
};

// Everything of static storage (nothing to allocate; zero until used, and
// no initialisation at load), under g_lock.
struct State {
    HelperProcess helper;
    bool helperGreeted;
    unsigned long programsLost;  // ended or hung during a request
    int startFailures;
    bool off;  // no program, or given up: no names for the process
    bool pathFound;
    char path[PATH_MAX];
    char extraArgument[64];
    char* argv[3];
    char* envp[1];
    SymbolCache cache;
    ModuleIdentity identities[kMaxStackFrames];
    Miss misses[kMaxStackFrames];
    char request[64 * 1024];
    char answer[sym::kMaxItemAnswer];
};
State g_state GUARDED_BY(g_lock);

bool SendAll(int socket, const char* data, std::size_t length, const Deadline& deadline) {
    while (length > 0) {
        ssize_t n = send(socket, data, length, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            data += n;
            length -= static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR) return false;
        struct pollfd ready = {socket, POLLOUT, 0};
        if (poll(&ready, 1, deadline.Left()) == 0) return false;
    }
    return true;
}

bool ReceiveAll(int socket, void* out, std::size_t length, const Deadline& deadline) {
    char* at = static_cast<char*>(out);
    while (length > 0) {
        ssize_t n = recv(socket, at, length, MSG_DONTWAIT);
        if (n > 0) {
            at += n;
            length -= static_cast<std::size_t>(n);
            continue;
        }
        if (n == 0 || (errno != EAGAIN && errno != EINTR)) return false;  // ended
        struct pollfd ready = {socket, POLLIN, 0};
        if (poll(&ready, 1, deadline.Left()) == 0) return false;
    }
    return true;
}

// Whether the program has already gone (or said something unasked).
bool HelperGone(int socket) {
    struct pollfd ready = {socket, POLLIN, 0};
    return poll(&ready, 1, 0) != 0;
}

bool FindHelper(State& state) REQUIRES(g_lock) {
    if (state.pathFound) return true;
    if (FindModuleFile(kHelperName, ZKQ_INSTALL_LIBDIR, state.path, sizeof state.path) != ModuleFile::kFound ||
        access(state.path, X_OK) != 0) {
        return false;
    }
    state.pathFound = true;
    return true;
}

// A running program that has said hello, started if need be.
bool EnsureHelper(State& state, const Deadline& deadline) REQUIRES(g_lock) {
    if (HelperDescriptorsIntact(state.helper) && state.helperGreeted && !HelperGone(state.helper.socket)) {
        return true;
    }
    StopHelper(state.helper);
    state.helperGreeted = false;
    if (state.off) return false;
    if (!FindHelper(state)) {
        state.off = true;
        return false;
    }
    int arg = 0;
    state.argv[arg++] = state.path;
    if (state.extraArgument[0]) state.argv[arg++] = state.extraArgument;
    state.argv[arg] = nullptr;
    state.envp[0] = nullptr;  // nothing of the application's (no debuginfod)
    std::uint32_t hello = 0;
    if (StartHelper(state.path, state.argv, state.envp, state.helper) &&
        ReceiveAll(state.helper.socket, &hello, sizeof hello, deadline) && hello == sym::kHello) {
        state.helperGreeted = true;
        state.startFailures = 0;
        return true;
    }
    StopHelper(state.helper);
    if (++state.startFailures >= kMaxStartFailures) state.off = true;
    return false;
}

// The request for the misses; their modules, one each, from identities.
bool BuildRequest(State& state, int missCount, std::size_t* length) REQUIRES(g_lock) {
    std::uint64_t moduleKeys[sym::kMaxModules];
    int moduleFrames[sym::kMaxModules];
    std::uint32_t moduleCount = 0;
    for (int m = 0; m < missCount; ++m) {
        Miss& miss = state.misses[m];
        std::uint32_t module = 0;
        while (module < moduleCount && moduleKeys[module] != miss.key) ++module;
        if (module == moduleCount) {
            moduleKeys[moduleCount] = miss.key;
            moduleFrames[moduleCount++] = miss.frame;
        }
        miss.module = module;
    }
    sym::Writer out(state.request, sizeof state.request);
    sym::RequestHead head{};
    head.magic = sym::kRequest;
    head.moduleCount = moduleCount;
    head.itemCount = static_cast<std::uint32_t>(missCount);
    out.Value(head);
    for (std::uint32_t module = 0; module < moduleCount; ++module) {
        const ModuleIdentity& identity = state.identities[moduleFrames[module]];
        sym::ModuleHead moduleHead{};
        const std::size_t pathLength = std::strlen(identity.path);
        if (pathLength > sym::kMaxPath) return false;
        moduleHead.pathLength = static_cast<std::uint16_t>(pathLength);
        moduleHead.buildIdLength = static_cast<std::uint16_t>(identity.buildIdLength);
        out.Value(moduleHead);
        out.Bytes(identity.path, pathLength);
        out.Bytes(identity.buildId, identity.buildIdLength);
    }
    for (int m = 0; m < missCount; ++m) {
        sym::Item item{};
        item.module = state.misses[m].module;
        item.offset = state.misses[m].offset;
        out.Value(item);
    }
    *length = out.used();
    return out.ok();
}

// A program that ended or stopped answering at miss: its address gets a
// strike, and no names after the second (it would end every program, and
// the frames after it would never be named).
void Strike(State& state, const Miss& miss) REQUIRES(g_lock) {
    const char* kept = nullptr;
    std::size_t size = 0;
    bool struck = state.cache.Find(miss.key, miss.offset, &kept, &size) && size == sizeof kStrike;
    state.cache.Insert(miss.key, miss.offset, struck ? kNoNames : kStrike, struck ? sizeof kNoNames : sizeof kStrike);
}

// Asks the program for the misses; what it answers goes to the cache and to
// names.
void Ask(State& state, int missCount, const Deadline& deadline, StackNames& names) REQUIRES(g_lock) {
    std::size_t length = 0;
    if (deadline.Left() < kMinQuestionMs || !BuildRequest(state, missCount, &length) ||
        !EnsureHelper(state, deadline)) {
        return;
    }
    if (!SendAll(state.helper.socket, state.request, length, deadline)) {
        StopHelper(state.helper);
        return;
    }
    for (int m = 0; m < missCount; ++m) {
        const Miss& miss = state.misses[m];
        std::uint32_t size = 0;
        if (!ReceiveAll(state.helper.socket, &size, sizeof size, deadline) || size > sizeof state.answer ||
            !ReceiveAll(state.helper.socket, state.answer, size, deadline)) {
            Strike(state, miss);
            StopHelper(state.helper);
            ++state.programsLost;
            return;
        }
        if (!sym::ReadItemAnswer(state.answer, size, [](const sym::FrameView&) {})) {
            StopHelper(state.helper);  // nonsense
            return;
        }
        names.AddAnswer(miss.frame, state.answer, size);
        state.cache.Insert(miss.key, miss.offset, state.answer, size);
    }
    // A program that is leaving (or has gone) is not asked again.
    std::uint32_t trailer = 0;
    if (!ReceiveAll(state.helper.socket, &trailer, sizeof trailer, deadline) || trailer != sym::kStaying) {
        StopHelper(state.helper);
    }
}

void ForgetInChild() NO_THREAD_SAFETY_ANALYSIS {
    g_lock.ResetInChild();
    ForgetHelperInChild(g_state.helper);
    g_state.helperGreeted = false;
}

void LockForFork() NO_THREAD_SAFETY_ANALYSIS { g_lock.Lock(); }
void UnlockAfterFork() NO_THREAD_SAFETY_ANALYSIS { g_lock.Unlock(); }

// A fork waits for a question in progress (bounded), so that the child gets
// the cache whole; the child asks a program of its own.
struct ForkHandlers {
    ForkHandlers() { pthread_atfork(&LockForFork, &UnlockAfterFork, &ForgetInChild); }
} g_forkHandlers;

}  // namespace

void StackNames::Clear() noexcept {
    std::memset(m_ranges, 0, sizeof m_ranges);
    m_frameCount = 0;
    m_textUsed = 0;
}

const char* StackNames::Text(const char* text, std::size_t length) noexcept {
    if (length + 1 > kTextBytes - m_textUsed) return nullptr;
    char* copy = m_text + m_textUsed;
    std::memcpy(copy, text, length);
    copy[length] = '\0';
    m_textUsed += length + 1;
    return copy;
}

bool StackNames::AddAnswer(int frame, const char* answer, std::size_t size) noexcept {
    if (frame < 0 || frame >= kMaxStackFrames || m_ranges[frame].count) return false;
    const int first = m_frameCount;
    const std::size_t textBefore = m_textUsed;
    bool fits = true;
    bool whole = sym::ReadItemAnswer(answer, size, [&](const sym::FrameView& view) {
        if (!fits || m_frameCount == kMaxSourceFrames) {
            fits = false;
            return;
        }
        const char* function = Text(view.function, view.head.functionLength);
        const char* file = Text(view.file, view.head.fileLength);
        if (!function || !file) {
            fits = false;
            return;
        }
        m_frames[m_frameCount++] = SourceFrame{function, file, static_cast<int>(view.head.line),
                                               static_cast<std::uintptr_t>(view.head.offset)};
    });
    if (!whole || !fits) {
        m_frameCount = first;
        m_textUsed = textBefore;
        return false;
    }
    m_ranges[frame] = Range{static_cast<std::uint16_t>(first), static_cast<std::uint16_t>(m_frameCount - first)};
    return true;
}

bool Symbolize(const CallStack& stack, int boundMs, StackNames& names) noexcept {
    names.Clear();
    const int savedErrno = errno;
    const Deadline deadline(boundMs);
    if (!g_lock.LockBefore(deadline)) return false;
    State& state = g_state;
    int missCount = 0;
    for (int i = 0; i < stack.count && i < kMaxStackFrames; ++i) {
        ModuleIdentity& identity = state.identities[i];
        if (!IdentifyModule(LookupAddress(stack, i), identity)) continue;
        const char* answer = nullptr;
        std::size_t size = 0;
        if (state.cache.Find(identity.key, identity.offset, &answer, &size) && size != sizeof kStrike) {
            names.AddAnswer(i, answer, size);
            continue;
        }
        state.misses[missCount++] = Miss{i, 0, identity.key, identity.offset};
    }
    if (missCount > 0) Ask(state, missCount, deadline, names);
    g_lock.Unlock();
    errno = savedErrno;
    return names.Any();
}

namespace symbolizetest {
namespace {

template <typename Body>
void Locked(Body body) {
    if (!g_lock.LockBefore(Deadline(INT_MAX / 2))) return;
    body(g_state);
    g_lock.Unlock();
}

}  // namespace

void SetHelperArgument(const char* arg) noexcept {
    Locked([arg](State& state) {
        std::size_t length = arg ? std::strlen(arg) : 0;
        if (length >= sizeof state.extraArgument) length = 0;
        std::memcpy(state.extraArgument, arg ? arg : "", length);
        state.extraArgument[length] = '\0';
    });
}

void StopHelper() noexcept {
    Locked([](State& state) {
        platform::StopHelper(state.helper);
        state.helperGreeted = false;
    });
}

void ClearCache() noexcept {
    Locked([](State& state) { state.cache.Clear(); });
}

void Reset() noexcept {
    Locked([](State& state) {
        platform::StopHelper(state.helper);
        state.helperGreeted = false;
        state.startFailures = 0;
        state.off = false;
        state.cache.Clear();
    });
}

unsigned long ProgramsLost() noexcept {
    unsigned long lost = 0;
    Locked([&lost](State& state) { lost = state.programsLost; });
    return lost;
}

}  // namespace symbolizetest
}  // namespace platform
}  // namespace orneh
