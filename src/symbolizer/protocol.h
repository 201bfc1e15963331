// What the library and its symbolizer program say to each other over their
// socket: plain bytes of this machine's own byte order (both sides are built
// together), every length bounded, read and written without allocating.
//
// The program first says hello. A request names the modules of the frames
// (path and build id) and the frames (module and offset into it); the answer
// comes frame by frame, each as soon as it is resolved, so that a program
// that dies half-way still leaves the frames before.
//
//   hello:    u32 kHello
//   request:  RequestHead, moduleCount x (ModuleHead, path, build id),
//             itemCount x Item
//   answer:   per item: u32 length, then length bytes:
//             u16 frame count, count x (FrameHead, function, file);
//             then u32 kStaying, or kLeaving when the program ends now
#ifndef ORNEH_SYMBOLIZER_PROTOCOL_H
#define ORNEH_SYMBOLIZER_PROTOCOL_H

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace orneh {
namespace symbolizer {

const std::uint32_t kHello = 0x5a4b5348;    // "ZKSH"
const std::uint32_t kRequest = 0x5a4b5352;  // "ZKSR"
const std::uint32_t kStaying = 0x5a4b532b;  // "ZKS+"
const std::uint32_t kLeaving = 0x5a4b532d;  // "ZKS-"

const std::size_t kMaxModules = 64;
const std::size_t kMaxItems = 64;
const std::size_t kMaxPath = 4096;
const std::size_t kMaxBuildId = 64;
const std::size_t kMaxFramesPerItem = 16;  // a function and the calls inlined into it
const std::size_t kMaxFunction = 4096;     // a longer name is cut
const std::size_t kMaxFile = 1024;
const std::size_t kMaxItemAnswer = 2 + kMaxFramesPerItem * (16 + kMaxFunction + kMaxFile);

struct RequestHead {
    std::uint32_t magic;
    std::uint32_t moduleCount;
    std::uint32_t itemCount;
};
struct ModuleHead {
    std::uint16_t pathLength;
    std::uint16_t buildIdLength;
};
struct Item {
    std::uint32_t module;  // index into the request's modules
    std::uint64_t offset;  // the address relative to the module's load base
};
struct FrameHead {
    std::uint32_t line;    // 0 without a file
    std::uint64_t offset;  // from the function's symbol, without a file
    std::uint16_t functionLength;
    std::uint16_t fileLength;
};

// One frame of an answer, its texts pointing into the bytes read (not
// terminated).
struct FrameView {
    FrameHead head;
    const char* function;
    const char* file;
};

// Appends to a buffer of the caller's; once something does not fit, ok()
// stays false and nothing more is written.
class Writer {
public:
    Writer(char* buffer, std::size_t size) : m_buffer(buffer), m_size(size) {}
    void Bytes(const void* data, std::size_t length) {
        if (!m_ok || length > m_size - m_used) {
            m_ok = false;
            return;
        }
        if (length) std::memcpy(m_buffer + m_used, data, length);
        m_used += length;
    }
    template <typename T>
    void Value(const T& value) {
        Bytes(&value, sizeof value);
    }
    bool ok() const { return m_ok; }
    std::size_t used() const { return m_used; }
    char* at(std::size_t offset) { return m_buffer + offset; }

private:
    char* m_buffer;
    std::size_t m_size;
    std::size_t m_used = 0;
    bool m_ok = true;
};

// Reads from bytes of the caller's; once something is missing, ok() stays
// false.
class Reader {
public:
    Reader(const char* data, std::size_t size) : m_data(data), m_size(size) {}
    const char* Bytes(std::size_t length) {
        if (!m_ok || length > m_size - m_used) {
            m_ok = false;
            return nullptr;
        }
        const char* at = m_data + m_used;
        m_used += length;
        return at;
    }
    template <typename T>
    bool Value(T& value) {
        const char* at = Bytes(sizeof value);
        if (at) std::memcpy(&value, at, sizeof value);
        return at != nullptr;
    }
    bool ok() const { return m_ok; }
    bool AtEnd() const { return m_ok && m_used == m_size; }

private:
    const char* m_data;
    std::size_t m_size;
    std::size_t m_used = 0;
    bool m_ok = true;
};

// The frames of one item's answer (its bytes after the length): calls
// visit(const FrameView&) for each, once the whole answer has been found
// well-formed; false (and no call) when it is not.
template <typename Visit>
bool ReadItemAnswer(const char* data, std::size_t size, Visit visit) {
    for (int pass = 0; pass < 2; ++pass) {
        Reader in(data, size);
        std::uint16_t count = 0;
        if (!in.Value(count) || count > kMaxFramesPerItem) return false;
        for (std::uint16_t i = 0; i < count; ++i) {
            FrameView frame;
            if (!in.Value(frame.head) || frame.head.functionLength > kMaxFunction ||
                frame.head.fileLength > kMaxFile) {
                return false;
            }
            frame.function = in.Bytes(frame.head.functionLength);
            frame.file = in.Bytes(frame.head.fileLength);
            if (!in.ok()) return false;
            if (pass == 1) visit(frame);
        }
        if (!in.AtEnd()) return false;
    }
    return true;
}

}  // namespace symbolizer
}  // namespace orneh

#endif
