// The private state of an OrnEhLogFile and the steps its members share.
#ifndef ORNEH_LOGFILE_LOGFILE_STATE_H
#define ORNEH_LOGFILE_LOGFILE_STATE_H

#include <cstddef>
#include <cstdint>

#include "OrnEhLogFile.h"
#include "platform/file.h"

namespace orneh {
namespace logfile {

constexpr std::size_t kBufferSize = 1024;
constexpr std::size_t kMaxSeparatorLength = 1024;
constexpr std::size_t kMaxIndent = 99;
constexpr std::size_t kMemoryTextStart = 2048;
constexpr std::size_t kMaxProbePath = 260;  // bytes, terminating zero included
// Reading and moving while cutting: bytes per system call.
constexpr std::size_t kCutBufferSize = std::size_t(256) << 10;
// The attempt counter is 16 bits wide; more attempts could never be counted.
constexpr unsigned long kMaxAttempts = 65535;

constexpr const char kStandardFileName[] = "ZKFEHLER.LOG";
constexpr const char kFallbackFileName[] = "FEHLER.LOG";
constexpr const char kFallbackDirectory[] = "/tmp";
constexpr unsigned long kStandardRetryDelay = 100;
constexpr unsigned long kStandardMaxAttempts = 10;
constexpr unsigned long kStandardMaxSize = 1048576;
constexpr std::size_t kStandardSeparatorLength = 68;

}  // namespace logfile
}  // namespace orneh

// Library-internal: kept out of the dynamic symbol table like the other
// ORNEH_LOCAL members.
struct ORNEH_LOCAL OrnEhLogFile::State {
    orneh::platform::File file;
    unsigned short blanks = 0;
    int lineStart = 1;
    char buffer[orneh::logfile::kBufferSize] = {};
    std::uint32_t bufferUsed = 0;
    char* fileName = nullptr;
    OrnEhLogfileStyle style = OrnEhLogUnlimited;
    unsigned long maxSize = 0;
    char* separator = nullptr;
    int isStandard = 0;
    unsigned long retryDelay = 0;
    unsigned long maxAttempts = 0;
    int nameFromSearch = 0;
    int memoryMode = 0;
    char* memoryText = nullptr;
    unsigned long memoryCapacity = 0;
    unsigned long memoryLength = 0;  // strlen(memoryText), kept to append in O(1)

    State() = default;
    ~State();
    State(const State&) = delete;
    State& operator=(const State&) = delete;

    // Made and destroyed through the allocation seam; null when out of memory.
    static State* Create() noexcept;
    static void Destroy(State* state) noexcept;

    // logfile_open.cpp
    void OpenFile(const char* name, orneh::platform::PathTrust trust) noexcept;
    void OpenStandardFallbacks() noexcept;
    orneh::platform::PathTrust FileNameTrust() const noexcept;
    void ResetForWriting() noexcept;
    static char* FindStandardFile() noexcept;
    static char* ProbeFile(const char* directory, const char* name) noexcept;

    // logfile_cut.cpp
    void CutToSize(std::uint64_t limit) noexcept;

    // logfile_writers.cpp
    void WriteText(const char* text) noexcept;
    void FlushBuffer() noexcept;
    void AppendToMemory(const char* text, std::size_t length) noexcept;
};

#endif
