#include "platform/last_record.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstring>
#include <ctime>
#include <initializer_list>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "base/settings.h"
#include "platform/file_open.h"
#include "platform/fixed_text.h"
#include "platform/system.h"
#include "posix_io.h"

namespace orneh {
namespace platform {
namespace {

using ornlang::posix::NoInt;

// The configured name, copied by readers in signal handlers too.
SharedFixedText<PATH_MAX> g_path;

long long NowMs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<long long>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

// The writer lock, waited for briefly: the record must not wait for
// another writer (or another user) for long.
bool LockBriefly(int fd) {
    const long long end = NowMs() + static_cast<long long>(kLastRecordLockWaitMs);
    for (;;) {
        if (NoInt([fd] { return ::flock(fd, LOCK_EX | LOCK_NB); }) == 0) return true;
        if (errno != EWOULDBLOCK || NowMs() >= end) return false;
        SleepMilliseconds(1);
    }
}

// One place: true when the whole record is in the file.
bool TryPlace(const char* path, bool create, RecordWriter writer, const void* context) {
    FileKey key{};
    const int fd = OpenRegularFile(path, O_WRONLY | O_APPEND, create, &key);
    if (fd < 0) return false;
    bool written = false;
    struct stat before;
    if (LockBriefly(fd) && ::fstat(fd, &before) == 0) {
        RecordSink sink(fd);
        writer(sink, context);
        written = sink.Flush();
        if (written) {
            // Not durable is still written: the bytes are whole in the file.
            NoInt([fd] { return ::fdatasync(fd); });
        } else {
            NoInt([&] { return ::ftruncate(fd, before.st_size); });
        }
    }
    ornlang::posix::CloseKeepingErrno(fd);  // lets the lock go
    return written;
}

bool TryStandardFile(const char* directory, RecordWriter writer, const void* context) {
    char path[kMaxStandardPath];
    if (!directory || std::strlen(directory) + 1 + sizeof kStandardLogName > sizeof path) return false;
    FixedText text{path, sizeof path, 0};
    text.Text(directory);
    if (text.length > 0 && path[text.length - 1] != '/') text.Text("/");
    text.Text(kStandardLogName);
    return TryPlace(path, false, writer, context);
}

}  // namespace

void RecordSink::Text(const char* text) noexcept {
    while (*text) {
        if (m_used == sizeof m_buffer) Flush();
        m_buffer[m_used++] = *text++;
    }
}

void RecordSink::Hex(std::uintptr_t value) noexcept {
    char digits[24];
    FixedText text{digits, sizeof digits, 0};
    text.Hex(value);
    Text(digits);
}

void RecordSink::Decimal(unsigned long value) noexcept {
    char digits[24];
    FixedText text{digits, sizeof digits, 0};
    text.Decimal(value);
    Text(digits);
}

bool RecordSink::Flush() noexcept {
    if (m_output) {
        if (m_used > 0) m_output(m_context, m_buffer, m_used);
    } else if (m_used > 0 && !m_failed) {
        m_failed = !ornlang::posix::WriteFull(m_fd, m_buffer, m_used);
    }
    m_used = 0;
    return !m_failed;
}

void AppendLastRecord(RecordWriter writer, const void* context) noexcept {
    const int savedErrno = errno;
    char configured[PATH_MAX];
    bool done = g_path.Copy(configured, sizeof configured) && TryPlace(configured, true, writer, context);
    using base::Setting;
    for (Setting setting : {Setting::kTmp, Setting::kTemp, Setting::kTmpDir}) {
        if (!done) done = TryStandardFile(base::GetSetting(setting), writer, context);
    }
    if (!done) done = TryStandardFile(kFallbackLogDirectory, writer, context);
    if (!done) done = TryPlace(kFallbackLogName, true, writer, context);
    if (!done) {
        RecordSink sink(2);
        writer(sink, context);
        sink.Flush();
    }
    errno = savedErrno;
}

void SetLastRecordPath(const char* path) noexcept { g_path.Set(path); }

}  // namespace platform
}  // namespace orneh
