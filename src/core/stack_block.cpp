// The call stack an exception carries and the block of its record.
#include "core/stack_block.h"

#include <chrono>
#include <cstdio>
#include <cstring>
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
// How long a record waits for names: the symbolizer program's start and its
// first reading of the modules included.
const int kNamesBoundMs = 3000;
// Stacks named before a log file is opened; the others are named as they
// are written.
const int kStacksNamedAhead = 8;

// The text between the address and the module of a frame line.
std::string SourcePart(const ap::SourceFrame& frame) {
    std::string text = frame.function[0] ? frame.function : "??";
    char number[32];
    if (frame.file[0]) {
        std::snprintf(number, sizeof number, ":%d", frame.line);
        text += std::string(" ") + frame.file + number;
    } else if (frame.offset) {
        std::snprintf(number, sizeof number, "+0x%lx", static_cast<unsigned long>(frame.offset));
        text += number;
    }
    return text;
}

// The lines of the block (without indentation), inline frames numbered as
// frames of their own; a frame without names has its plain line.
std::vector<std::string> BlockLines(const ap::CallStack& stack) {
    std::vector<std::string> lines;
    struct Names {
        ap::StackNames* names = base::New<ap::StackNames>();  // too large for a signal stack
        ~Names() { base::Delete(names); }
    } held;
    ap::StackNames* names = held.names;
    const bool named = names && ap::Symbolize(stack, kNamesBoundMs, *names);
    char plain[kLineSize];
    int index = 0;
    for (int i = 0; i < stack.count && i < ap::kMaxStackFrames; ++i) {
        const int count = named ? names->Count(i) : 0;
        if (count == 0) {
            ap::FormatPlainFrame(stack, i, index++, plain, sizeof plain);
            lines.emplace_back(plain);
            continue;
        }
        for (int k = 0; k < count; ++k) {
            ap::FormatPlainFrame(stack, i, index++, plain, sizeof plain);
            // "#<n> 0x<16 digits>" comes first; the source part follows it.
            std::string line(plain);
            std::size_t head = line.find(' ') + 19;
            line.insert(head < line.size() ? head : line.size(), " " + SourcePart(names->At(i, k)));
            lines.push_back(std::move(line));
        }
    }
    return lines;
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

void NameStacksAhead(const OrnEhBasis* newest) noexcept {
    if (ap::GetStackTraceMode() == ap::StackTraceMode::kOff) return;
    ap::StackNames* names = nullptr;
    int asked = 0;
    // One record's bound for them all: a symbolizer that hangs delays the
    // entry once, not once per stack.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kNamesBoundMs);
    for (const OrnEhBasis* e = newest; e && asked < kStacksNamedAhead;) {
        const OrnEhBasisInfo* info = OrnEhBasisAccess::Info(const_cast<OrnEhBasis*>(e));
        if (!info) break;
        if (info->stack && info->stack->count > 0) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) break;
            if (!names && !(names = base::New<ap::StackNames>())) return;
            ap::Symbolize(*info->stack, static_cast<int>(left.count()), *names);
            ++asked;
        }
        e = info->prev;
    }
    base::Delete(names);
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
