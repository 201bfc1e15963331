#include "logfile/loss_notice.h"

#include <atomic>
#include <unistd.h>

#include "platform/error_text.h"
#include "platform/fixed_text.h"
#include "platform/system.h"

namespace orneh {
namespace logfile {
namespace {

std::atomic<bool> g_told{false};

}  // namespace

void NoticeLogFailure(const char* name, int error, const char* consequence) noexcept {
    if (g_told.exchange(true)) return;
    char line[1024];
    platform::FixedText text{line, sizeof line, 0};
    text.Text(platform::ProgramName());
    text.Text(": error log ");
    text.Text(name ? name : "");
    text.Text(": ");
    const char* reason = platform::ErrnoText(error, false);
    text.Text(reason ? reason : "unknown error");
    text.Text("; ");
    text.Text(consequence);
    text.Text("\n");
    (void)!::write(2, line, text.length);
}

void NoticeLogWorks() noexcept {
    if (g_told.load(std::memory_order_relaxed)) g_told.store(false);
}

}  // namespace logfile
}  // namespace orneh
