// What the log file tests expect of a file.
#ifndef ZKQ_TESTS_LOGFILE_LOGFILE_HELPERS_H
#define ZKQ_TESTS_LOGFILE_LOGFILE_HELPERS_H

#include <string>

#include <gtest/gtest.h>

#include "OrnEhLogFile.h"
#include "support/test_util.h"

namespace logtest {

// A record as the library leaves it: the text, then the separator line.
inline std::string Record(const std::string& text, const std::string& separator = "--") { return text + separator + "\r\n"; }

// What closes a record of the standard log file.
inline std::string StandardEnd() { return std::string(68, '*') + "\r\n\r\n\r\n"; }

// Opens a log file at path with separator "--" (and, when limit is not 0,
// cut above limit), writes text, closes; the file.
inline std::string WriteOnce(const std::string& path, const char* text, unsigned long limit = 0) {
    OrnEhLogFile log(path.c_str(), limit ? OrnEhLogLimited : OrnEhLogUnlimited, limit, "--", 10, 1);
    log.Open(), log << text, log.Close();
    return zkqtest::ReadFile(path);
}

}  // namespace logtest

#endif
