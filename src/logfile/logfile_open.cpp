// OrnEhLogFile: opening (with the retries while another writer holds the
// file and the search for the standard file) and closing.
#include <cerrno>
#include <chrono>
#include <cstring>
#include <initializer_list>

#include "OrnEhLogFile.h"
#include "base/settings.h"
#include "logfile/logfile_state.h"
#include "logfile/loss_notice.h"
#include "platform/file.h"
#include "platform/system.h"
#include "base/contained.h"

namespace lf = orneh::logfile;
namespace pf = orneh::platform;

namespace {

// a * b, kept at the largest value instead of wrapping.
std::uint64_t SaturatingProduct(std::uint64_t a, std::uint64_t b) {
    if (a != 0 && b > UINT64_MAX / a) return UINT64_MAX;
    return a * b;
}

}  // namespace

// Tries the name until it opens, fails for good, or the attempts run out.
// A writer of another process costs a wait of retryDelay (and, for the
// standard file, a beep) per attempt, cut short when that writer lets go; a
// writer of this process is waited for in one go, for as long as all
// attempts could take together.
void OrnEhLogFile::State::OpenFile(const char* name, lf::Candidate which) noexcept {
    const unsigned long attemptsAllowed =
        maxAttempts > lf::kMaxAttempts ? lf::kMaxAttempts : maxAttempts;
    const std::uint64_t budgetMs =
        SaturatingProduct(attemptsAllowed > 1 ? attemptsAllowed : 1, retryDelay);
    const auto start = std::chrono::steady_clock::now();

    std::uint16_t attempts = 0;
    for (;;) {
        auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
                           std::chrono::steady_clock::now() - start)
                           .count();
        std::uint64_t spent = elapsed > 0 ? static_cast<std::uint64_t>(elapsed) : 0;
        std::uint64_t leftMs = spent < budgetMs ? budgetMs - spent : 0;

        pf::OpenStatus status = file.OpenForAppend(name, leftMs);
        // The wait after the attempt: taken as soon as the other writer lets go.
        if (status == pf::OpenStatus::kHeldElsewhere &&
            file.WaitForTurn(name, retryDelay) == pf::OpenStatus::kOpened) {
            status = pf::OpenStatus::kOpened;
        }
        if (status == pf::OpenStatus::kOpened) {
            candidate = which;
            std::strncpy(openName, name, sizeof openName - 1);
            return;
        }
        if (status != pf::OpenStatus::kHeldElsewhere) return;
        if (isStandard) pf::Beep();
        ++attempts;
        if (attempts >= attemptsAllowed) return;
    }
}

char* OrnEhLogFile::State::ProbeFile(const char* directory, const char* name) noexcept {
    std::size_t directoryLength = std::strlen(directory);
    bool needsSlash = directoryLength > 0 && directory[directoryLength - 1] != '/';
    std::size_t nameLength = std::strlen(name);
    if (directoryLength + (needsSlash ? 1 : 0) + nameLength + 1 > lf::kMaxProbePath) return nullptr;

    char path[lf::kMaxProbePath];
    std::memcpy(path, directory, directoryLength);
    std::size_t used = directoryLength;
    if (needsSlash) path[used++] = '/';
    std::memcpy(path + used, name, nameLength + 1);

    for (unsigned attempt = 0; attempt < lf::kStandardMaxAttempts; ++attempt) {
        pf::OpenStatus status = pf::File::ProbeExisting(path);
        if (status == pf::OpenStatus::kOpened) return OrnEhCopyString(path);
        if (status != pf::OpenStatus::kHeldElsewhere) return nullptr;
        pf::SleepMilliseconds(lf::kStandardRetryDelay);
    }
    return nullptr;
}

char* OrnEhLogFile::State::FindStandardFile() noexcept {
    using orneh::base::Setting;
    for (Setting setting : {Setting::kTmp, Setting::kTemp, Setting::kTmpDir}) {
        const char* directory = orneh::base::GetSetting(setting);
        if (!directory) continue;
        if (char* path = ProbeFile(directory, lf::kStandardLogName)) return path;
    }
    return ProbeFile(lf::kFallbackLogDirectory, lf::kStandardLogName);
}

void OrnEhLogFile::State::OpenStandardFallbacks(lf::Candidate from) noexcept {
    if (file.IsOpen() || !isStandard) return;
    if (from <= lf::Candidate::kSearched) {
        if (char* found = FindStandardFile()) {
            OpenFile(found, lf::Candidate::kSearched);
            OrnEhDeleteString(found);
        }
    }
    if (!file.IsOpen()) OpenFile(lf::kFallbackLogName, lf::Candidate::kFallback);
}

// The standard log file found no place at all: its records would vanish.
void OrnEhLogFile::State::NoticeNothingOpen() noexcept {
    if (!file.IsOpen() && isStandard) {
        lf::NoticeLogFailure(lf::kFallbackLogName, errno, "no error log could be opened; the record is lost");
    }
}

void OrnEhLogFile::State::FinishEntry() noexcept {
    if (!file.IsOpen()) return;
    const bool synced = file.Close();
    if (!synced) {
        lf::NoticeLogFailure(openName, errno, "the record may not be on disk");
    } else if (!entryFailed) {
        lf::NoticeLogWorks();
    }
}

void OrnEhLogFile::State::ResetForWriting() noexcept {
    NoticeNothingOpen();
    entryStart = 0;
    entryStartKnown = false;
    appendedAtStart = file.Appended();
    entryWritten = 0;
    entryFailed = false;
    entryLost = false;
    blanks = 0;
    lineStart = 1;
    std::memset(buffer, 0, sizeof buffer);
    bufferUsed = 0;
}

int OrnEhLogFile::Open() {
    return orneh::Contained(0, [&] {
        if (!m_state) return 0;
        State& s = *m_state;
        if (s.file.IsOpen()) Close();
        if (s.fileName) s.OpenFile(s.fileName, s.nameFromSearch ? lf::Candidate::kSearched : lf::Candidate::kNamed);
        s.OpenStandardFallbacks(lf::Candidate::kSearched);
        if (s.file.IsOpen() && s.style == OrnEhLogLimited) s.CutToSize(s.maxSize);
        s.ResetForWriting();
        return s.file.IsOpen() ? 1 : 0;
    });
}

int OrnEhLogFile::Open(const char* preferredName, OrnEhLogfileStyle style, unsigned long maxSize) {
    return orneh::Contained(0, [&] {
        if (!m_state) return 0;
        State& s = *m_state;
        if (s.file.IsOpen()) Close();
        bool sizeChecked = false;
        if (!s.nameFromSearch && s.fileName) s.OpenFile(s.fileName, lf::Candidate::kNamed);
        if (!s.file.IsOpen() && preferredName && *preferredName) {
            s.OpenFile(preferredName, lf::Candidate::kNamed);
            if (s.file.IsOpen()) {
                sizeChecked = true;
                if (style == OrnEhLogLimited) s.CutToSize(maxSize);
            }
        }
        // A configured name was tried above, once: a name held by another
        // writer costs its attempts only once.
        if (!s.file.IsOpen() && s.fileName && s.nameFromSearch) s.OpenFile(s.fileName, lf::Candidate::kSearched);
        s.OpenStandardFallbacks(lf::Candidate::kSearched);
        if (!sizeChecked && s.file.IsOpen() && s.style == OrnEhLogLimited) s.CutToSize(s.maxSize);
        s.ResetForWriting();
        return s.file.IsOpen() ? 1 : 0;
    });
}

void OrnEhLogFile::Close() {
    orneh::Contained([&] {
        if (!m_state) return;
        State& s = *m_state;
        s.WriteText(s.separator);
        s.WriteText("\r\n");
        if (s.isStandard) NewLine(2);
        if (s.file.IsOpen()) s.FlushBuffer();
        s.FinishEntry();
        s.blanks = 0;
        s.lineStart = 1;
    });
}
