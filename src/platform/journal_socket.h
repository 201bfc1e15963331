// The systemd journal's native protocol, the way a process that may be
// about to end can use it: an entry is built in a buffer of the caller's
// (no allocation) and sent as one datagram to the journal's socket, waiting
// for room in journald's queue at most kJournalWaitMs; an entry too large
// for the buffer or for a datagram goes on in a sealed memory file whose
// descriptor is sent instead. No lock is taken: the socket is one
// descriptor of the process, opened on first use with plain system calls.
//
// An entry is a sequence of fields: "NAME=value\n", or for a value that
// holds a line break "NAME\n", its length as 64 bits little-endian, the
// value and "\n".
//
// Thread safety: any thread, also in a signal handler; each thread builds
// its own entries.
#ifndef ORNEH_PLATFORM_JOURNAL_SOCKET_H
#define ORNEH_PLATFORM_JOURNAL_SOCKET_H

#include <cstddef>
#include <cstdint>

namespace orneh {
namespace platform {

constexpr char kJournalSocket[] = "/run/systemd/journal/socket";
// The longest a record waits for room in journald's queue; after three
// such waits ran out in a row, records do not wait until one goes through
// again.
constexpr unsigned long kJournalWaitMs = 10;

class JournalDatagram {
public:
    JournalDatagram(char* buffer, std::size_t size) noexcept : m_buffer(buffer), m_size(size) {}
    ~JournalDatagram();
    JournalDatagram(const JournalDatagram&) = delete;
    JournalDatagram& operator=(const JournalDatagram&) = delete;

    void Append(const void* data, std::size_t length) noexcept;
    // Eight bytes to be filled in later (a value's length): their offset.
    std::uint64_t Reserve8() noexcept;
    void Patch8(std::uint64_t offset, std::uint64_t value) noexcept;
    std::uint64_t Size() const noexcept { return m_flushed + m_used; }

    // Sends the entry (bounded, see kJournalWaitMs). 0 when the journal took it, else the
    // reason as an errno value: ENOENT (no journal), ECONNREFUSED (nobody
    // reads the socket), EAGAIN (the journal does not keep up or is
    // stopped), or whatever the system said.
    int Send() noexcept;

private:
    bool Spill() noexcept;  // moves the buffer into the memory file

    char* m_buffer;
    std::size_t m_size;
    std::size_t m_used = 0;
    std::uint64_t m_flushed = 0;  // bytes already in the memory file
    int m_memfd = -1;
    int m_error = 0;  // the first failure while building
};

// 16 random bytes, for an id that groups entries; from the kernel, or from
// the time, process and a count when it has none to give at once.
void NewEntryId(unsigned char id[16]) noexcept;

}  // namespace platform
}  // namespace orneh

#endif
