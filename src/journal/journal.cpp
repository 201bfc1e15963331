#include "journal/journal.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <unistd.h>

#include "base/settings.h"
#include "platform/fixed_text.h"
#include "platform/system.h"

namespace orneh {
namespace journal {
namespace {

constexpr int kAuto = 0, kOn = 1, kOff = 2;

// The mode as resolved (on or off); -1 until the first question.
std::atomic<int> g_enabled{-1};

int Resolve(int mode) noexcept {
    if (mode == kOn || mode == kOff) return mode;
    const char* stream = base::GetSetting(base::Setting::kJournalStream);
    return stream && *stream ? kOn : kOff;
}

int ModeFromSetting() noexcept {
    const char* value = base::GetSetting(base::Setting::kJournal);
    if (value && std::strcmp(value, "on") == 0) return kOn;
    if (value && std::strcmp(value, "off") == 0) return kOff;
    return kAuto;
}

platform::SharedFixedText<128> g_identifier;

thread_local bool t_lastResort = false;

std::atomic<bool> g_told{false};

const char* Reason(int error) noexcept {
    switch (error) {
        case ENOENT: return "no journal socket (journald is not running)";
        case ECONNREFUSED: return "journald refuses the records";
        case EAGAIN: return "journald does not take records (stopped or too slow)";
        case EMFILE: case ENFILE: case ENOMEM: return "no resources to send a record";
        default: return "a record could not be sent";
    }
}

}  // namespace

bool Enabled() noexcept {
    int on = g_enabled.load(std::memory_order_relaxed);
    if (on < 0) {
        on = Resolve(ModeFromSetting());
        int expected = -1;
        if (!g_enabled.compare_exchange_strong(expected, on)) on = expected;
    }
    return on == kOn;
}

void SetMode(int mode) noexcept { g_enabled.store(Resolve(mode)); }

void SetIdentifier(const char* name) noexcept { g_identifier.Set(name); }

void CopyIdentifier(char* out, std::size_t size) noexcept {
    if (!g_identifier.Copy(out, size)) {
        platform::FixedText text{out, size, 0};
        text.Text(platform::ProgramName());
    }
}

LastResortScope::LastResortScope() noexcept : m_was(t_lastResort) { t_lastResort = true; }
LastResortScope::~LastResortScope() { t_lastResort = m_was; }
bool LastResortScope::Active() noexcept { return t_lastResort; }

void NoteSendResult(int error) noexcept {
    if (error == 0) {
        if (g_told.load(std::memory_order_relaxed)) g_told.store(false);
        return;
    }
    if (g_told.exchange(true)) return;
    char line[512];
    platform::FixedText text{line, sizeof line, 0};
    text.Text(platform::ProgramName());
    text.Text(": journal: ");
    text.Text(Reason(error));
    text.Text(" (errno ");
    text.Decimal(static_cast<unsigned long>(error));
    text.Text("); the records are in the error log only\n");
    (void)!::write(2, line, text.length);
}

}  // namespace journal
}  // namespace orneh
