#include "core/stack_block.h"

#include <cstring>

#include "OrnEhBasis.h"
#include "OrnEhLogFile.h"
#include "core/basis_info.h"
#include "platform/alloc.h"
#include "platform/symbolize.h"

namespace ap = orneh::platform;

namespace orneh {
namespace core {
namespace {

const char kHeading[] = "Aufrufstapel:";
const std::size_t kLineSize = 1200;

// The text between the address and the module of a frame line.
std::string SourcePart(const ap::SourceFrame& frame) {
    std::string text = frame.function.empty() ? "??" : frame.function;
    if (!frame.file.empty()) {
        text += ' ';
        text += frame.file;
        text += ':';
        text += std::to_string(frame.line);
    } else if (frame.offset) {
        char offset[24];
        char* end = offset + sizeof offset;
        char* p = end;
        std::uintptr_t value = frame.offset;
        do {
            *--p = "0123456789abcdef"[value & 0xF];
            value >>= 4;
        } while (value);
        text += "+0x";
        text.append(p, end);
    }
    return text;
}

// Calls emit with every line of the block (without indentation), inline
// frames numbered as frames of their own.
template <typename Emit>
void SymbolizedLines(const ap::CallStack& stack, Emit emit) {
    ap::Symbolizer symbolizer;
    char plain[kLineSize];
    int index = 0;
    for (int i = 0; i < stack.count && i < ap::kMaxStackFrames; ++i) {
        std::vector<ap::SourceFrame> frames = symbolizer.Frames(ap::LookupAddress(stack, i));
        if (frames.empty()) {
            ap::FormatPlainFrame(stack, i, index++, plain, sizeof plain);
            emit(std::string(plain));
            continue;
        }
        for (const ap::SourceFrame& frame : frames) {
            ap::FormatPlainFrame(stack, i, index++, plain, sizeof plain);
            // "#<n> 0x<16 digits>" comes first; the source part follows it.
            std::string line(plain);
            std::size_t head = line.find(' ') + 19;
            line.insert(head < line.size() ? head : line.size(), " " + SourcePart(frame));
            emit(line);
        }
    }
}

}  // namespace

void AttachStack(OrnEhBasis* e, const ap::CallStack& stack) noexcept {
    OrnEhBasisInfo* info = OrnEhBasisAccess::Info(e);
    if (!info || info->stack || stack.count == 0) return;
    auto* copy = static_cast<ap::CallStack*>(ap::Alloc(sizeof(ap::CallStack)));
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
    ap::ForgetFaultStack();
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
    SymbolizedLines(*stack, [&log](const std::string& line) { log << line.c_str() << "\r\n"; });
    log.SetBlanks(6);
}

void PlainStackText(const ap::CallStack& stack, char* out, std::size_t size) noexcept {
    if (!out || size == 0) return;
    std::size_t length = 0;
    auto append = [&](const char* text) {
        std::size_t n = std::strlen(text);
        if (length + n + 1 > size) return false;
        std::memcpy(out + length, text, n + 1);
        length += n;
        return true;
    };
    out[0] = '\0';
    append("      ");
    append(kHeading);
    for (int i = 0; i < stack.count && i < ap::kMaxStackFrames; ++i) {
        char line[kLineSize];
        ap::FormatPlainFrame(stack, i, i, line, sizeof line);
        if (length + std::strlen(line) + 12 > size) break;
        append("\r\n         ");
        append(line);
    }
}

std::string SymbolizedStackText(const ap::CallStack& stack) {
    std::string text = std::string("      ") + kHeading;
    SymbolizedLines(stack, [&text](const std::string& line) { text += "\r\n         " + line; });
    return text;
}

}  // namespace core
}  // namespace orneh
