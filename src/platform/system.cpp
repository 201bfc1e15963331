#include "platform/system.h"

#include <cerrno>
#include <ctime>
#include <fcntl.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace orneh {
namespace platform {

std::uint32_t CurrentThreadId() noexcept {
    return static_cast<std::uint32_t>(::syscall(SYS_gettid));
}

std::uint32_t CurrentProcessId() noexcept { return static_cast<std::uint32_t>(::getpid()); }

void SleepMilliseconds(unsigned long ms) noexcept {
    struct timespec left;
    left.tv_sec = static_cast<time_t>(ms / 1000);
    left.tv_nsec = static_cast<long>(ms % 1000) * 1000000L;
    while (::nanosleep(&left, &left) != 0 && errno == EINTR) {
    }
}

LocalTime GetLocalTime() noexcept {
    LocalTime result{};
    std::time_t now = std::time(nullptr);
    struct tm parts;
    if (now == static_cast<std::time_t>(-1) || !::localtime_r(&now, &parts)) return result;
    result.year = static_cast<unsigned short>(parts.tm_year + 1900);
    result.month = static_cast<unsigned short>(parts.tm_mon + 1);
    result.day = static_cast<unsigned short>(parts.tm_mday);
    result.hour = static_cast<unsigned short>(parts.tm_hour);
    result.minute = static_cast<unsigned short>(parts.tm_min);
    result.second = static_cast<unsigned short>(parts.tm_sec);
    return result;
}

void Beep() noexcept {
    int saved = errno;
    int fd = ::open("/dev/tty", O_WRONLY | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    if (fd >= 0) {
        ssize_t ignored = ::write(fd, "\a", 1);
        (void)ignored;
        ::close(fd);
    }
    errno = saved;
}

}  // namespace platform
}  // namespace orneh
