#include "platform/journal_socket.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <poll.h>
#include <sys/mman.h>
#include <sys/random.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include "posix_io.h"

namespace orneh {
namespace platform {
namespace {

using ornlang::posix::NoInt;

// The process's socket, connected to the journal's, made on first use (a
// thread that loses the race to publish its own closes it) and kept: when
// journald starts again, the same socket connects again, so no thread ever
// sends on a descriptor another one closed.
std::atomic<int> g_socket{-1};

// Waits for room that ran out in a row. From kStalledAfter on, journald
// counts as stalled (stopped, or far behind) and records do not wait until a
// send goes through again: a journald that is slow for a moment (a burst of
// records) still gets them, and one that is stopped costs a few waits per
// episode, not one per record.
std::atomic<int> g_waitsRunOut{0};
constexpr int kStalledAfter = 3;

int Socket() noexcept {
    int fd = g_socket.load(std::memory_order_acquire);
    if (fd >= 0) return fd;
    fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) return -1;
    int expected = -1;
    if (!g_socket.compare_exchange_strong(expected, fd)) {
        ornlang::posix::CloseKeepingErrno(fd);
        return expected;
    }
    return fd;
}

int Connect(int fd) noexcept {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, kJournalSocket, sizeof kJournalSocket);
    const socklen_t length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + sizeof kJournalSocket);
    return NoInt([&] { return ::connect(fd, reinterpret_cast<const sockaddr*>(&address), length); }) == 0 ? 0 : errno;
}

long long NowMs() noexcept {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<long long>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

int SendTo(const void* data, std::size_t length, int passFd) noexcept {
    const int fd = Socket();
    if (fd < 0) return errno;
    iovec piece{const_cast<void*>(data), length};
    msghdr message{};
    message.msg_iov = &piece;
    message.msg_iovlen = passFd >= 0 ? 0 : 1;
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
    if (passFd >= 0) {
        message.msg_control = control;
        message.msg_controllen = sizeof control;
        cmsghdr* header = CMSG_FIRSTHDR(&message);
        header->cmsg_level = SOL_SOCKET;
        header->cmsg_type = SCM_RIGHTS;
        header->cmsg_len = CMSG_LEN(sizeof(int));
        std::memcpy(CMSG_DATA(header), &passFd, sizeof(int));
    }
    const long long end = NowMs() + static_cast<long long>(kJournalWaitMs);
    bool connected = false;
    for (;;) {
        if (NoInt([&] { return ::sendmsg(fd, &message, MSG_DONTWAIT | MSG_NOSIGNAL); }) >= 0) {
            if (g_waitsRunOut.load(std::memory_order_relaxed) != 0) g_waitsRunOut.store(0);
            return 0;
        }
        const int error = errno;
        if (!connected && (error == ENOTCONN || error == ECONNREFUSED || error == EDESTADDRREQ)) {
            // Not connected yet, or journald started again: connect once more.
            connected = true;
            if (const int failed = Connect(fd)) return failed;
            continue;
        }
        if (error != EAGAIN || g_waitsRunOut.load(std::memory_order_relaxed) >= kStalledAfter) return error;
        const long long left = end - NowMs();
        pollfd ready{fd, POLLOUT, 0};
        if (left <= 0 || NoInt([&] { return ::poll(&ready, 1, static_cast<int>(left)); }) <= 0) {
            g_waitsRunOut.fetch_add(1);
            return EAGAIN;
        }
    }
}

}  // namespace

JournalDatagram::~JournalDatagram() {
    if (m_memfd >= 0) ornlang::posix::CloseKeepingErrno(m_memfd);
}

bool JournalDatagram::Spill() noexcept {
    if (m_error) return false;
    if (m_memfd < 0) {
        m_memfd = ::memfd_create("orneh-journal", MFD_CLOEXEC | MFD_ALLOW_SEALING);
        if (m_memfd < 0) {
            m_error = errno;
            return false;
        }
    }
    if (!ornlang::posix::WriteFull(m_memfd, m_buffer, m_used)) {
        m_error = errno ? errno : EIO;
        return false;
    }
    m_flushed += m_used;
    m_used = 0;
    return true;
}

void JournalDatagram::Append(const void* data, std::size_t length) noexcept {
    const char* bytes = static_cast<const char*>(data);
    while (length > 0 && !m_error) {
        if (m_used == m_size && !Spill()) return;
        const std::size_t room = m_size - m_used;
        const std::size_t piece = length < room ? length : room;
        std::memcpy(m_buffer + m_used, bytes, piece);
        m_used += piece;
        bytes += piece;
        length -= piece;
    }
}

std::uint64_t JournalDatagram::Reserve8() noexcept {
    const std::uint64_t offset = Size();
    const char zeros[8] = {};
    Append(zeros, sizeof zeros);
    return offset;
}

void JournalDatagram::Patch8(std::uint64_t offset, std::uint64_t value) noexcept {
    unsigned char bytes[8];
    for (int i = 0; i < 8; ++i) bytes[i] = static_cast<unsigned char>(value >> (8 * i));
    // The eight bytes may lie in the memory file, the buffer, or across both.
    for (int i = 0; i < 8 && !m_error; ++i) {
        const std::uint64_t at = offset + static_cast<std::uint64_t>(i);
        if (at >= m_flushed) {
            m_buffer[at - m_flushed] = static_cast<char>(bytes[i]);
        } else if (!ornlang::posix::WriteFull(m_memfd, &bytes[i], 1, static_cast<off_t>(at))) {
            m_error = errno ? errno : EIO;
        }
    }
}

int JournalDatagram::Send() noexcept {
    if (m_error) return m_error;
    if (m_memfd < 0) {
        const int error = SendTo(m_buffer, m_used, -1);
        // Too large for one datagram: the memory file takes it.
        if (error != EMSGSIZE && error != ENOBUFS) return error;
    }
    if (!Spill()) return m_error;
    const int seals = F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_WRITE | F_SEAL_SEAL;
    if (::fcntl(m_memfd, F_ADD_SEALS, seals) != 0) return errno;
    return SendTo(nullptr, 0, m_memfd);
}

void NewEntryId(unsigned char id[16]) noexcept {
    if (::getrandom(id, 16, GRND_NONBLOCK) == 16) return;
    static std::atomic<unsigned long> count{0};
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    const unsigned long long parts[2] = {
        static_cast<unsigned long long>(now.tv_sec) * 1000000000ULL + static_cast<unsigned long long>(now.tv_nsec),
        (static_cast<unsigned long long>(::getpid()) << 32) ^ count.fetch_add(1)};
    std::memcpy(id, parts, 16);
}

}  // namespace platform
}  // namespace orneh
