// The call stack in fault and terminate records, seen in the log of a probe
// application (built with debug information, and stripped), and the switch
// that turns it off.
#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <ostream>
#include <sstream>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

#include "OrnEhSEH.h"
#include "core/stack_block.h"
#include "platform/symbol_cache.h"
#include "platform/symbolize.h"
#include "support/child_process.h"
#include "support/faulting.h"
#include "support/test_exceptions.h"
#include "support/test_util.h"

namespace ap = orneh::platform;
using zkqtest::Contains;
using zkqtest::ReadAt;
using zkqtest::RecordOf;

namespace {

const char kHeading[] = "      Aufrufstapel:\r\n";

struct ProbeRun {
    zkqtest::ChildResult result;
    std::string log;
    int faultLine = 0;  // the line of the fault (or throw)
    int callLine = 0;   // the line of the call to the faulting function
};

// Runs the probe in mode and reads what it left in a directory of its own.
ProbeRun RunProbe(const char* binary, const char* mode) {
    zkqtest::TempDir dir;
    ProbeRun run;
    run.result = zkqtest::RunInChild([&] {
        execl(binary, binary, mode, dir.path().c_str(), static_cast<char*>(nullptr));
        _exit(127);
    });
    run.log = zkqtest::ReadFile(dir.file("probe.log"));
    std::istringstream lines(zkqtest::ReadFile(dir.file("lines")));
    lines >> run.faultLine >> run.callLine;
    return run;
}

// The frame lines of the first block at or after from.
std::vector<std::string> Frames(const std::string& log, std::size_t from = 0) {
    std::vector<std::string> frames;
    std::size_t at = log.find(kHeading, from);
    if (at == std::string::npos) return frames;
    at += sizeof kHeading - 1;
    while (log.compare(at, 10, "         #") == 0) {
        std::size_t end = log.find("\r\n", at);
        frames.push_back(log.substr(at, end - at));
        at = end + 2;
    }
    return frames;
}

std::string SourcePlace(int line) { return " stack_probe.cpp:" + std::to_string(line) + " ("; }

// "<module>+0x<offset>)" at the end of a frame line: the offset.
std::string OffsetOf(const std::string& frame) {
    std::size_t plus = frame.rfind("+0x");
    return plus == std::string::npos ? "" : frame.substr(plus + 1, frame.size() - plus - 2);
}

// What addr2line makes of an offset in the probe built with debug information.
std::string Addr2line(const std::string& offset) {
    return zkqtest::RunCommand(std::string("addr2line -f -C -e ") + ZKQ_STACK_PROBE + " " + offset);
}

// A fault of the probe, caught or ending the process: the record's block
// follows its register dump and names each frame's function and line.
struct FaultCase {
    const char* mode;
    bool processEnds;  // a last resort writes the record
    bool inlined;      // the faulting function is inlined into its caller
    const char* faulting;
    const char* caller;
    const char* third;  // what the third frame names
};
void PrintTo(const FaultCase& c, std::ostream* out) { *out << c.mode; }

class ProbeFault : public ::testing::TestWithParam<FaultCase> {};

TEST_P(ProbeFault, RecordFrames) {
    const FaultCase& c = GetParam();
    const ProbeRun run = RunProbe(ZKQ_STACK_PROBE, c.mode);
    ASSERT_TRUE(c.processEnds ? run.result.signaled : run.result.ExitedWith(0)) << run.result << "\n" << run.log;
    const std::size_t record = run.log.rfind("Fehlerart: OrnEhSEH");  // after the plain one, if any
    const std::size_t dumpEnd = run.log.find("\r\n", run.log.find("      Cr0NpxState: ", record)) + 2;
    ASSERT_EQ(run.log.compare(dumpEnd, sizeof kHeading - 1, kHeading), 0) << run.log;
    const std::vector<std::string> frames = Frames(run.log, dumpEnd);
    ASSERT_GE(frames.size(), 3u) << run.log;
    EXPECT_EQ(frames[0].rfind("         #0 0x", 0), 0u) << frames[0];
    EXPECT_TRUE(Contains(frames[0], {c.faulting + std::string("(int volatile*)") + SourcePlace(run.faultLine), "/stack_probe+0x"}));
    EXPECT_TRUE(Contains(frames[1], {c.caller + std::string("(int volatile*)") + SourcePlace(run.callLine)}));
    EXPECT_TRUE(Contains(frames[2], {c.third}));
    // An inlined call is a frame of its own at its caller's address.
    EXPECT_EQ(frames[0].substr(12, 18) == frames[1].substr(12, 18), c.inlined) << frames[0] << "\n" << frames[1];
    // Where the process ends, the frames without names come first, written
    // without allocating.
    const std::size_t plain = run.log.find(kHeading);
    EXPECT_EQ(plain < record, c.processEnds) << run.log;
    if (c.processEnds) {
        EXPECT_EQ(Frames(run.log, plain).front().find(c.faulting), std::string::npos);
    }
}

INSTANTIATE_TEST_SUITE_P(Modes, ProbeFault,
    ::testing::Values(FaultCase{"fault", false, false, "CrashNull", "CallsCrashNull", " main stack_probe.cpp:"},
                      FaultCase{"inline", false, true, "InlinedFault", "CallsInlined", " main stack_probe.cpp:"},
                      FaultCase{"noexcept", true, false, "CrashNull", "CallsCrashNull", "CrashWhereNothingMayThrow("},
                      FaultCase{"filter", true, false, "CrashNull", "CallsCrashNull", "CrashWhereNothingMayThrow("}),
    [](const ::testing::TestParamInfo<FaultCase>& info) { return std::string(info.param.mode); });

TEST(CallStackTest, StrippedBinaryModuleOffsets) {
    ProbeRun run = RunProbe(ZKQ_STRIPPED_STACK_PROBE, "fault");
    ASSERT_TRUE(run.result.ExitedWith(0)) << run.log;
    std::vector<std::string> frames = Frames(run.log);
    ASSERT_GE(frames.size(), 2u) << run.log;
    EXPECT_EQ(frames[0].find("CrashNull"), std::string::npos) << frames[0];
    EXPECT_TRUE(Contains(frames[0], {"/stack_probe_stripped+0x"}));
    std::string faulting = Addr2line(OffsetOf(frames[0]));
    EXPECT_EQ(faulting.rfind("CrashNull(int volatile*)\n", 0), 0u) << faulting;
    EXPECT_TRUE(Contains(faulting, {"stack_probe.cpp:" + std::to_string(run.faultLine)}));
    EXPECT_TRUE(Contains(Addr2line(OffsetOf(frames[1])), {"stack_probe.cpp:" + std::to_string(run.callLine)}));
}

TEST(CallStackTest, UncaughtThrowFrames) {
    ProbeRun run = RunProbe(ZKQ_STACK_PROBE, "throw");
    ASSERT_TRUE(run.result.KilledBy(SIGABRT)) << run.log;
    std::size_t texts = run.log.find("Aufgetreten in Hauptthread: ");
    ASSERT_NE(texts, std::string::npos) << run.log;
    std::vector<std::string> plain = Frames(run.log, texts);
    std::vector<std::string> named = Frames(run.log, run.log.find(kHeading, texts) + 1);
    ASSERT_FALSE(plain.empty()) << run.log;
    ASSERT_EQ(named.size(), plain.size()) << run.log;
    std::string thrower = "ThrowFromWorker()" + SourcePlace(run.faultLine);
    bool found = false;
    for (std::size_t i = 0; i < named.size(); ++i) {
        EXPECT_EQ(plain[i].find("ThrowFromWorker"), std::string::npos) << plain[i];
        found = found || named[i].find(thrower) != std::string::npos;
    }
    EXPECT_TRUE(found) << run.log;
}

TEST(CallStackTest, RuinedStackFaultingFrame) {
#if !defined(__x86_64__)
    GTEST_SKIP() << "the probe ruins the stack pointer on x86-64 only";
#endif
    ProbeRun run = RunProbe(ZKQ_STACK_PROBE, "damaged");
    ASSERT_TRUE(run.result.signaled) << run.log;
    std::vector<std::string> frames = Frames(run.log, run.log.rfind("Fehlerart: OrnEhSEH"));
    ASSERT_EQ(frames.size(), 1u) << run.log;
    EXPECT_TRUE(Contains(frames[0], {"FaultWithRuinedStack() stack_probe.cpp:"}));
}

__attribute__((noipa)) OrnEhBasis* MakeException() { return new zkqtest::TestException("made", 1, 1, 0); }

TEST(CallStackTest, StackOfEveryExceptionInModeAll) {
    OrnEhBasis* plain = MakeException();
    ap::SetStackTraceMode(ap::StackTraceMode::kAll);
    OrnEhBasis* withStack = MakeException();
    ap::SetStackTraceMode(ap::StackTraceMode::kFaults);
    EXPECT_EQ(RecordOf(*plain).find("Aufrufstapel:"), std::string::npos);
    // The derived class's constructor, then where the exception was made.
    std::string record = RecordOf(*withStack);
    std::size_t first = record.find("Aufrufstapel:\r\n#0 ");
    ASSERT_NE(first, std::string::npos) << record;
    std::size_t second = record.find("\r\n#1 ", first);
    std::size_t third = record.find("\r\n#2 ", first);
    EXPECT_LT(record.find("TestException::TestException(", first), second) << record;
    std::size_t made = record.find("MakeException() stack_test.cpp:", first);
    EXPECT_TRUE(second < made && made < third) << record;
    delete plain;
    delete withStack;
}

TEST(CallStackTest, RecordWithStackSwitchedOff) {
    std::thread worker([] {
        OrnEhInitThreadExHandling();
        std::string withBlock, switchedOff;
        try {
            ReadAt(nullptr);
        } catch (OrnEhSEH* e) {
            withBlock = RecordOf(*e);
            ap::SetStackTraceMode(ap::StackTraceMode::kOff);
            switchedOff = RecordOf(*e);
        }
        try {
            ReadAt(nullptr);  // a fault while switched off keeps no stack
        } catch (OrnEhSEH* e) {
            EXPECT_EQ(orneh::core::StackOf(e), nullptr);
        }
        ap::SetStackTraceMode(ap::StackTraceMode::kFaults);
        ASSERT_NE(switchedOff.find("Cr0NpxState: "), std::string::npos) << switchedOff;
        EXPECT_EQ(withBlock.substr(0, switchedOff.size()), switchedOff);
        EXPECT_EQ(withBlock.compare(switchedOff.size(), 18, "Aufrufstapel:\r\n#0 "), 0) << withBlock;
        zkqtest::ClearChain();
    });
    worker.join();
}

// The symbolizer program: what it answers, what is kept of it, and what
// becomes of a record when it fails.
namespace symtest = ap::symbolizetest;
volatile int g_sink;

__attribute__((noipa)) void StackOfThisFunction(ap::CallStack& stack) {
    ap::CaptureStack(stack, 0);
    g_sink = 0;  // no tail call
}

// The frame lines of a block text, each with its module and offset.
std::vector<std::string> BlockFrames(const std::string& text) {
    std::vector<std::string> frames = Frames(text + "\r\n");
    for (const std::string& frame : frames) EXPECT_TRUE(Contains(frame, {"+0x", ")"})) << frame;
    return frames;
}

class SymbolizerTest : public ::testing::Test {
protected:
    void SetUp() override {
        symtest::Reset();
        StackOfThisFunction(stack);
        g_sink = 0;
    }
    void TearDown() override {
        symtest::SetHelperArgument(nullptr);
        symtest::Reset();
    }
    ap::CallStack stack;
};

TEST_F(SymbolizerTest, RepeatedStackFromTheCacheAndNoLibdwInProcess) {
    const std::string first = orneh::core::SymbolizedStackText(stack);
    const std::vector<std::string> frames = BlockFrames(first);
    ASSERT_GE(frames.size(), static_cast<std::size_t>(stack.count));
    EXPECT_TRUE(Contains(frames[0], {"::StackOfThisFunction(orneh::platform::CallStack&) stack_test.cpp:"})) << first;
    // No program could answer now: every name comes from the cache.
    symtest::StopHelper();
    symtest::SetHelperArgument("--test-exit");
    EXPECT_EQ(orneh::core::SymbolizedStackText(stack), first);
    const std::string maps = zkqtest::ReadFile("/proc/self/maps");  // every file mapped, loaded libraries too
    EXPECT_TRUE(maps.find("libdw") == std::string::npos && maps.find("libelf") == std::string::npos) << maps;
}

TEST_F(SymbolizerTest, CacheKeepsItsBounds) {
    auto cache = std::make_unique<ap::SymbolCache>();
    const std::string answer(300, 'a');
    const std::uint64_t inserted = 4 * ap::SymbolCache::kSlots;
    for (std::uint64_t offset = 1; offset <= inserted; ++offset) {
        cache->Insert(7, offset, answer.data(), 100 + offset % 200);
        ASSERT_LE(cache->Count(), ap::SymbolCache::kSlots / 4 * 3);
        ASSERT_LE(cache->BytesUsed(), ap::SymbolCache::kArenaBytes);
    }
    const char* kept = nullptr;
    std::size_t size = 0;
    ASSERT_TRUE(cache->Find(7, inserted, &kept, &size));
    EXPECT_EQ(std::string(kept, size), answer.substr(0, 100 + inserted % 200));
    EXPECT_FALSE(cache->Find(7, 1, &kept, &size));
    EXPECT_FALSE(cache->Find(8, inserted, &kept, &size));
    const std::string huge(ap::SymbolCache::kMaxAnswerBytes + 1, 'h');
    cache->Insert(7, 0, huge.data(), huge.size());
    EXPECT_FALSE(cache->Find(7, 0, &kept, &size));
}

// A program that hangs or ends when asked costs the names, within the bound,
// and the next stack gets a new program.
class SymbolizerFailure : public SymbolizerTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(SymbolizerFailure, PlainFramesThenNamesAgain) {
    symtest::SetHelperArgument(GetParam());
    auto names = std::make_unique<ap::StackNames>();
    EXPECT_FALSE(ap::Symbolize(stack, 1000, *names));
    symtest::SetHelperArgument(nullptr);
    EXPECT_TRUE(ap::Symbolize(stack, 10000, *names));
    ASSERT_GT(names->Count(0), 0);
    EXPECT_TRUE(Contains(names->At(0, 0).function, {"::StackOfThisFunction(orneh::platform::CallStack&)"}));
}

INSTANTIATE_TEST_SUITE_P(Helper, SymbolizerFailure, ::testing::Values("--test-hang", "--test-exit"),
                         [](const auto& info) { return std::string(info.param[7] == 'h' ? "Hangs" : "Ends"); });

// An application that closes descriptors it does not own, and gets the
// number of the library's socket for a pipe of its own: the library leaves
// the pipe alone and starts a new program.
TEST_F(SymbolizerTest, SocketTakenOverByTheApplication) {
    ASSERT_FALSE(orneh::core::SymbolizedStackText(stack).empty());
    int socket = -1;
    for (int fd = 3; fd < 1024 && socket < 0; ++fd) {
        char link[64] = {};
        const std::string path = "/proc/self/fd/" + std::to_string(fd);
        if (readlink(path.c_str(), link, sizeof link - 1) > 0 && std::strncmp(link, "socket:", 7) == 0) socket = fd;
    }
    ASSERT_GE(socket, 0);
    int pipe[2];
    ASSERT_EQ(::pipe(pipe), 0);
    ASSERT_EQ(dup2(pipe[1], socket), socket);
    symtest::ClearCache();
    EXPECT_TRUE(Contains(orneh::core::SymbolizedStackText(stack), {"StackOfThisFunction("}));
    EXPECT_EQ(fcntl(pipe[0], F_SETFL, O_NONBLOCK), 0);
    char byte;
    EXPECT_EQ(read(pipe[0], &byte, 1), -1);  // nothing was written to it
    EXPECT_EQ(fcntl(socket, F_GETFD), 0);     // and it is still open
    close(socket), close(pipe[0]), close(pipe[1]);
}

// No memory for libdw at its n-th allocation, or from it on: the program
// answers without names, or ends (libdw calls exit, or dereferences the null
// it got); the record keeps every frame, plain where names failed.
TEST_F(SymbolizerTest, FailingAllocationsInTheProgram) {
    const unsigned long lostBefore = symtest::ProgramsLost();
    for (int point = 0; point < 48; ++point) {
        symtest::Reset();
        const std::string arg = (point % 2 ? "--test-fail-allocations=" : "--test-fail-allocation=") +
                                std::to_string(1 + point / 2);
        symtest::SetHelperArgument(arg.c_str());
        const std::string text = orneh::core::SymbolizedStackText(stack);
        ASSERT_GE(BlockFrames(text).size(), static_cast<std::size_t>(stack.count)) << arg << "\n" << text;
    }
    // The sweep meets libdw's own ends of its process.
    EXPECT_GT(symtest::ProgramsLost(), lostBefore);
}

}  // namespace
