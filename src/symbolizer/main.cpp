// ZKQTRNEH113_symbolizer: the program that names the frames of call stacks
// for the library, so that libdw runs outside the application: whatever it
// does when memory runs out (ends the process, asserts, dereferences null,
// loops), it does it here, and the library goes on with the frames it has.
//
// The library starts it with all signals blocked, one end of a socket as
// fd 0 and an empty environment (no debuginfod: no network while a report
// waits); it answers requests (symbolizer/protocol.h) until the socket
// closes. Test arguments, read once:
//   --test-fail-allocation=N   in each request, the N-th allocation fails
//   --test-fail-allocations=N  ... and every later one too
//   --test-hang                never answers a request
//   --test-exit                ends when a request comes
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/syscall.h>
#include <unistd.h>
#include <vector>

#include "posix_io.h"
#include "symbolizer/allocation_guard.h"
#include "symbolizer/dwarf_names.h"
#include "symbolizer/protocol.h"

namespace sym = orneh::symbolizer;

namespace {

// A request that takes longer ends the program even when the library
// cannot (its own bound is a few seconds).
const unsigned kSelfBoundSeconds = 30;

struct Options {
    unsigned long failAllocation = 0;
    bool sticky = false;
    bool hang = false;
    bool exitOnRequest = false;
};

Options ReadOptions(int argc, char** argv) {
    Options options;
    const char kFail[] = "--test-fail-allocation";
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], kFail, sizeof kFail - 1) == 0) {
            const char* rest = argv[i] + sizeof kFail - 1;
            options.sticky = *rest == 's';
            options.failAllocation = std::strtoul(rest + options.sticky + 1, nullptr, 10);
        } else if (std::strcmp(argv[i], "--test-hang") == 0) {
            options.hang = true;
        } else if (std::strcmp(argv[i], "--test-exit") == 0) {
            options.exitOnRequest = true;
        }
    }
    return options;
}

// Signals as a program of its own has them; nothing of the application's
// descriptors but its output, which goes nowhere.
void SetUpProcess() {
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    signal(SIGPIPE, SIG_IGN);
    signal(SIGALRM, SIG_DFL);
    int null = open("/dev/null", O_RDWR | O_CLOEXEC);
    if (null >= 0) {
        dup2(null, 1);
        dup2(null, 2);
    }
#ifdef SYS_close_range
    if (syscall(SYS_close_range, 3u, ~0u, 0u) == 0) return;
#endif
    for (int fd = 3; fd < 65536; ++fd) close(fd);
}

bool ReadAll(void* data, std::size_t length) {
    return ornlang::posix::ReadFull(0, data, length) == static_cast<ssize_t>(length);
}

bool WriteAll(const void* data, std::size_t length) { return ornlang::posix::WriteFull(0, data, length); }

struct Module {
    std::string path;
    std::string buildId;
};

bool ReadRequest(std::vector<Module>& modules, std::vector<sym::Item>& items) {
    sym::RequestHead head;
    if (!ReadAll(&head, sizeof head) || head.magic != sym::kRequest || head.moduleCount > sym::kMaxModules ||
        head.itemCount > sym::kMaxItems) {
        return false;
    }
    modules.assign(head.moduleCount, Module());
    for (Module& module : modules) {
        sym::ModuleHead moduleHead;
        if (!ReadAll(&moduleHead, sizeof moduleHead) || moduleHead.pathLength > sym::kMaxPath ||
            moduleHead.buildIdLength > sym::kMaxBuildId) {
            return false;
        }
        module.path.resize(moduleHead.pathLength);
        module.buildId.resize(moduleHead.buildIdLength);
        if (!ReadAll(&module.path[0], module.path.size()) || !ReadAll(&module.buildId[0], module.buildId.size())) {
            return false;
        }
    }
    items.assign(head.itemCount, sym::Item());
    return ReadAll(items.data(), items.size() * sizeof(sym::Item));
}

// One item's answer, its length first.
char g_answer[sizeof(std::uint32_t) + sym::kMaxItemAnswer];

bool Answer(const std::vector<sym::SourceFrame>& frames) {
    sym::Writer out(g_answer, sizeof g_answer);
    out.Value(std::uint32_t{0});
    const std::uint16_t count =
        static_cast<std::uint16_t>(frames.size() < sym::kMaxFramesPerItem ? frames.size() : sym::kMaxFramesPerItem);
    out.Value(count);
    for (std::uint16_t i = 0; i < count; ++i) {
        const sym::SourceFrame& frame = frames[i];
        sym::FrameHead head{};
        head.line = static_cast<std::uint32_t>(frame.line);
        head.offset = frame.offset;
        head.functionLength = static_cast<std::uint16_t>(std::min(frame.function.size(), sym::kMaxFunction));
        head.fileLength = static_cast<std::uint16_t>(std::min(frame.file.size(), sym::kMaxFile));
        out.Value(head);
        out.Bytes(frame.function.data(), head.functionLength);
        out.Bytes(frame.file.data(), head.fileLength);
    }
    const std::uint32_t length = static_cast<std::uint32_t>(out.used() - sizeof(std::uint32_t));
    std::memcpy(g_answer, &length, sizeof length);
    return out.ok() && WriteAll(g_answer, out.used());
}

}  // namespace

int main(int argc, char** argv) {
    const Options options = ReadOptions(argc, argv);
    SetUpProcess();
    if (!WriteAll(&sym::kHello, sizeof sym::kHello)) return 0;
    sym::DwarfNames names;
    std::vector<Module> modules;
    std::vector<sym::Item> items;
    while (ReadRequest(modules, items)) {
        alarm(kSelfBoundSeconds);
        if (options.exitOnRequest) return 3;
        while (options.hang) pause();
        if (options.failAllocation) sym::FailAllocation(options.failAllocation, options.sticky);
        for (const sym::Item& item : items) {
            std::vector<sym::SourceFrame> frames;
            try {
                if (item.module < modules.size()) {
                    const Module& module = modules[item.module];
                    frames = names.Frames(module.path, module.buildId, item.offset);
                }
            } catch (...) {
                frames.clear();
            }
            if (!Answer(frames)) return 0;
        }
        alarm(0);
        // libdw's state after a failed allocation is not to be trusted: the
        // next request gets a fresh program.
        const bool leaving = sym::AllocationFailed();
        if (!WriteAll(leaving ? &sym::kLeaving : &sym::kStaying, sizeof sym::kLeaving) || leaving) return 0;
    }
    return 0;
}
