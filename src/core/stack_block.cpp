// The call stack an exception carries and the block of its record.
#include "core/stack_block.h"

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "OrnEhBasis.h"
#include "OrnEhLogFile.h"
#include "core/basis_info.h"
#include "base/alloc.h"
#include "platform/symbolize.h"

namespace ap = orneh::platform;

namespace orneh {
namespace core {
namespace {

const char kHeading[] = "Aufrufstapel:";
const std::size_t kLineSize = 1200;
const std::chrono::milliseconds kAsideTime(3000);

// The text between the address and the module of a frame line.
std::string SourcePart(const ap::SourceFrame& frame) {
    std::string text = frame.function.empty() ? "??" : frame.function;
    char number[32];
    if (!frame.file.empty()) {
        std::snprintf(number, sizeof number, ":%d", frame.line);
        text += ' ' + frame.file + number;
    } else if (frame.offset) {
        std::snprintf(number, sizeof number, "+0x%lx", static_cast<unsigned long>(frame.offset));
        text += number;
    }
    return text;
}

// The lines of the block (without indentation), inline frames numbered as
// frames of their own.
std::vector<std::string> SymbolizedLines(const ap::CallStack& stack) {
    std::vector<std::string> lines;
    ap::Symbolizer symbolizer;
    char plain[kLineSize];
    int index = 0;
    for (int i = 0; i < stack.count && i < ap::kMaxStackFrames; ++i) {
        std::vector<ap::SourceFrame> frames = symbolizer.Frames(ap::LookupAddress(stack, i));
        if (frames.empty()) {
            ap::FormatPlainFrame(stack, i, index++, plain, sizeof plain);
            lines.emplace_back(plain);
            continue;
        }
        for (const ap::SourceFrame& frame : frames) {
            ap::FormatPlainFrame(stack, i, index++, plain, sizeof plain);
            // "#<n> 0x<16 digits>" comes first; the source part follows it.
            std::string line(plain);
            std::size_t head = line.find(' ') + 19;
            line.insert(head < line.size() ? head : line.size(), " " + SourcePart(frame));
            lines.push_back(std::move(line));
        }
    }
    return lines;
}

std::vector<std::string> PlainLines(const ap::CallStack& stack) {
    std::vector<std::string> lines;
    char plain[kLineSize];
    for (int i = 0; i < stack.count && i < ap::kMaxStackFrames; ++i) {
        ap::FormatPlainFrame(stack, i, i, plain, sizeof plain);
        lines.emplace_back(plain);
    }
    return lines;
}

// The symbolizer needs far more stack than the alternate signal stack has
// (libdw's line-table reader keeps large arrays on the stack), so in a
// signal handler it runs on a thread of its own, for a bounded time; then
// the plain lines stand in.
std::vector<std::string> BlockLines(const ap::CallStack& stack) {
    if (!ap::OnAlternateSignalStack()) return SymbolizedLines(stack);
    struct Aside {
        std::mutex lock;
        std::condition_variable done;
        bool finished = false;
        ap::CallStack stack;
        std::vector<std::string> lines;
    };
    try {
        // Not make_shared, nor std::to_string above: their template statics
        // are unique symbols, which would keep the library from unloading.
        std::shared_ptr<Aside> aside(new Aside);
        aside->stack = stack;
        std::thread([aside] {
            std::vector<std::string> lines = SymbolizedLines(aside->stack);
            std::lock_guard<std::mutex> guard(aside->lock);
            aside->lines = std::move(lines);
            aside->finished = true;
            aside->done.notify_all();
        }).detach();
        std::unique_lock<std::mutex> guard(aside->lock);
        if (aside->done.wait_for(guard, kAsideTime, [&aside] { return aside->finished; })) {
            return std::move(aside->lines);
        }
    } catch (...) {
        if (!std::current_exception()) throw;  // the unwind that ends the thread
    }
    return PlainLines(stack);
}

}  // namespace

void AttachStack(OrnEhBasis* e, const ap::CallStack& stack) noexcept {
    OrnEhBasisInfo* info = OrnEhBasisAccess::Info(e);
    if (!info || info->stack || stack.count == 0) return;
    auto* copy = static_cast<ap::CallStack*>(orneh::base::Alloc(sizeof(ap::CallStack)));
    if (!copy) return;
    std::memcpy(copy, &stack, sizeof stack);
    info->stack = copy;
}

void AttachFaultStack(OrnEhBasis* e, const void* key) noexcept {
    const ap::CallStack* kept = ap::KeptFaultStack(key);
    OrnEhBasisInfo* info = OrnEhBasisAccess::Info(e);
    if (!kept || !info) return;
    // The fault's own stack is the one that matters, not the constructor's.
    if (info->stack) {
        std::memcpy(info->stack, kept, sizeof *kept);
    } else {
        AttachStack(e, *kept);
    }
}

const ap::CallStack* StackOf(const OrnEhBasis* e) noexcept {
    OrnEhBasisInfo* info = OrnEhBasisAccess::Info(e);
    return info ? info->stack : nullptr;
}

__attribute__((noinline)) void AttachConstructionStack(OrnEhBasis* e, int skip) noexcept {
    if (ap::GetStackTraceMode() != ap::StackTraceMode::kAll) return;
    ap::CallStack stack;
    ap::CaptureStack(stack, skip + 1);
    AttachStack(e, stack);
}

void WriteStackBlock(const OrnEhBasis* e, OrnEhLogFile& log) {
    const ap::CallStack* stack = StackOf(e);
    if (!stack || stack->count == 0 || ap::GetStackTraceMode() == ap::StackTraceMode::kOff) return;
    log.SetBlanks(6);
    log << kHeading << "\r\n";
    log.SetBlanks(9);
    for (const std::string& line : BlockLines(*stack)) log << line.c_str() << "\r\n";
    log.SetBlanks(6);
}

void WritePlainStack(const ap::CallStack& stack, ap::RecordSink& sink) noexcept {
    sink.Text("      ");
    sink.Text(kHeading);
    sink.Text("\r\n");
    for (int i = 0; i < stack.count && i < ap::kMaxStackFrames; ++i) {
        char line[kLineSize];
        ap::FormatPlainFrame(stack, i, i, line, sizeof line);
        sink.Text("         ");
        sink.Text(line);
        sink.Text("\r\n");
    }
}

std::string SymbolizedStackText(const ap::CallStack& stack) {
    std::string text = std::string("      ") + kHeading;
    for (const std::string& line : BlockLines(stack)) text += "\r\n         " + line;
    return text;
}

}  // namespace core
}  // namespace orneh
