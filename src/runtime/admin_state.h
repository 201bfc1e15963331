// The administration's state that its parts share (runtime/admin.h names
// the parts). Library-internal: only runtime/admin*.cpp and the files of
// the administration's concerns include it.
#ifndef ORNEH_RUNTIME_ADMIN_STATE_H
#define ORNEH_RUNTIME_ADMIN_STATE_H

#include <atomic>
#include <cstdint>

#include "OrnEh.h"
#include "base/hot_tls.h"
#include "base/thread_annotations.h"
#include "platform/system.h"
#include "runtime/admin.h"

// A fixed block of records; it never moves and lives as long as the
// administration. used has one bit per record held by a thread.
struct ExRecordChunk {
    static const std::uint32_t kRecords = 64;
    ExMultiThreadAdminInfo records[kRecords];
    std::uint64_t used;
};

namespace orneh {
namespace runtime {

const std::uint32_t kChunkRecords = ExRecordChunk::kRecords;
const std::uint32_t kMaxChunks = 2048;  // up to 131072 threads alive at once
const unsigned long kDefaultMaxSize = 1048576;  // the standard log file's own limit

// --- Lifetime (admin_lifetime.cpp) ---
inline std::atomic<ExMultiThreadAdmin*> g_admin{nullptr};
extern platform::Mutex g_createLock;
inline std::atomic<bool> g_closing{false};
// Counts the administrations made, so that a thread's cached record is
// recognised as one of the present administration.
inline std::atomic<unsigned> g_epoch{0};

// Per thread; all plain data (a thread_local with a destructor would make the
// C library register it with an allocation that aborts when memory is out).
inline thread_local bool t_tearingDown = false;
// Whether the thread was told (once) that it could not be registered.
inline thread_local bool t_toldUnregistered = false;

// --- Records (admin.cpp) and borrowed identities (thread_ids.cpp) ---
inline thread_local ExMultiThreadAdminInfo* t_record ORNEH_HOT_TLS = nullptr;  // the thread's own
inline thread_local unsigned t_recordEpoch ORNEH_HOT_TLS = 0;
inline thread_local ExMultiThreadAdminInfo* t_override ORNEH_HOT_TLS = nullptr;
inline thread_local std::uint32_t t_overrideId ORNEH_HOT_TLS = 0;
inline std::atomic<std::uint32_t> g_mainThreadId{0};

// --- Log configuration (log_config.cpp) ---
extern platform::Mutex g_configLock;
inline std::atomic<unsigned long> g_configGeneration{0};
// Back to the defaults, freeing every text (with the administration).
void FreeConfiguration();

// --- Reserve exceptions (admin_teardown.cpp) ---
// Gives info a new fault reserve when it has none (not inside the fault
// handler, which must not allocate what it can do without).
void MakeFaultReserve(ExMultiThreadAdminInfo* info);

// --- Emergency exits (admin_teardown.cpp) ---
// Emergency text through a standard log file of its own (configured as the
// containers' are), for the moments when the calling thread has no
// container.
void WriteEmergencyTextAlone(const char* text);
// Ends the process with code after text (when there is one).
[[noreturn]] void ExitWithText(const char* text, int code);

}  // namespace runtime
}  // namespace orneh

#endif
