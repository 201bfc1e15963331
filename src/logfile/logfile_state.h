// The private state of an OrnEhLogFile and the steps its members share.
#ifndef ORNEH_LOGFILE_LOGFILE_STATE_H
#define ORNEH_LOGFILE_LOGFILE_STATE_H

#include <cstddef>
#include <cstdint>

#include "OrnEhLogFile.h"
#include "platform/file.h"
#include "platform/last_record.h"

namespace orneh {
namespace logfile {

constexpr std::size_t kBufferSize = 1024;
constexpr std::size_t kMaxSeparatorLength = 1024;
constexpr std::size_t kMaxIndent = 99;
constexpr std::size_t kMemoryTextStart = 2048;
constexpr std::size_t kMaxProbePath = orneh::platform::kMaxStandardPath;
// The open file's name as the notice of a failure shows it (cut if longer).
constexpr std::size_t kNoticeNameSize = 512;
// Reading and moving while cutting: bytes per system call.
constexpr std::size_t kCutBufferSize = std::size_t(256) << 10;
// The attempt counter is 16 bits wide; more attempts could never be counted.
constexpr unsigned long kMaxAttempts = 65535;

using orneh::platform::kFallbackLogDirectory;
using orneh::platform::kFallbackLogName;
using orneh::platform::kStandardLogName;

// Which of the standard log file's candidates is open: the places a failed
// write moves the entry on to are the ones after it.
enum class Candidate { kNamed, kSearched, kFallback };
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
    // The entry being written: where it began in the file, how much of it is
    // written, and whether it is lost (every write that failed was moved on
    // or counted lost, and its file cut back to entryStart). Where it began
    // is asked for only when a write fails (EntryStart): the file's size
    // then, less what this entry appended (appendedAtStart: the file's count
    // when the entry began), saves a call per entry.
    std::uint64_t entryStart = 0;
    bool entryStartKnown = false;
    std::uint64_t appendedAtStart = 0;
    std::uint64_t entryWritten = 0;
    bool entryFailed = false;
    bool entryLost = false;
    orneh::logfile::Candidate candidate = orneh::logfile::Candidate::kNamed;
    char openName[orneh::logfile::kNoticeNameSize] = {};
    OrnEhLogFile::Tap tap = nullptr;  // SetTap
    void* tapContext = nullptr;

    State() = default;
    ~State();
    State(const State&) = delete;
    State& operator=(const State&) = delete;

    // Made and destroyed through the allocation seam; null when out of memory.
    static State* Create() noexcept;
    static void Destroy(State* state) noexcept;

    // logfile_open.cpp
    void OpenFile(const char* name, orneh::logfile::Candidate which) noexcept;
    // The standard log file's candidates from `from` on, while none is open.
    void OpenStandardFallbacks(orneh::logfile::Candidate from) noexcept;
    void NoticeNothingOpen() noexcept;
    void ResetForWriting() noexcept;
    // The end of an entry: the file is closed; a failed sync is told.
    void FinishEntry() noexcept;
    static char* FindStandardFile() noexcept;
    static char* ProbeFile(const char* directory, const char* name) noexcept;

    // logfile_cut.cpp
    void CutToSize(std::uint64_t limit) noexcept;

    // logfile_writers.cpp
    void WriteText(const char* text) noexcept;
    void FlushBuffer() noexcept;
    // Appends bytes of the entry; a failure moves the entry on (MoveEntry).
    void Put(const char* data, std::size_t length) noexcept;
    void MoveEntry(const char* failedData, std::size_t failedLength, int error) noexcept;
    // Where the entry began in the open file; false when that cannot be told.
    bool EntryStart(std::uint64_t* start) noexcept;
    bool CopyEntry(orneh::platform::File& from, std::uint64_t start, std::uint64_t length) noexcept;
    void AppendToMemory(const char* text, std::size_t length) noexcept;
};

#endif
