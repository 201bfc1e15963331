// What the log file tests expect of a file.
#ifndef ZKQ_TESTS_LOGFILE_LOGFILE_HELPERS_H
#define ZKQ_TESTS_LOGFILE_LOGFILE_HELPERS_H

#include <string>

#include "OrnEhLogFile.h"
#include "support/test_util.h"

namespace logtest {

// A record as the library leaves it: the text, then the separator line.
inline std::string Record(const std::string& text, const std::string& separator = "--") { return text + separator + "\r\n"; }

// What closes a record of the standard log file.
inline std::string StandardEnd() { return std::string(68, '*') + "\r\n\r\n\r\n"; }

}  // namespace logtest

#endif
