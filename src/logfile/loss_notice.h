// How a failure of the log file is made visible: one line on stderr (no
// report is ever written about the log into the log). One line per episode:
// the first failure after an entry that went through; a failure that keeps
// on (a full disk) is told once, not per record.
#ifndef ORNEH_LOGFILE_LOSS_NOTICE_H
#define ORNEH_LOGFILE_LOSS_NOTICE_H

namespace orneh {
namespace logfile {

// "<program>: error log <name>: <error text>; <consequence>".
void NoticeLogFailure(const char* name, int error, const char* consequence) noexcept;
// An entry went through: the next failure is told again.
void NoticeLogWorks() noexcept;

}  // namespace logfile
}  // namespace orneh

#endif
