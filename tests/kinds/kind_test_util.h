// Helpers of the exception-kind tests: a kind's record as text, the language
// module's strings and table entries read straight from the module, and a
// fixture with a scripted dialog and a standard log file of its own.
#ifndef ZKQ_TESTS_KINDS_KIND_TEST_UTIL_H
#define ZKQ_TESTS_KINDS_KIND_TEST_UTIL_H

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <unistd.h>

#include "OrnEhLogFile.h"
#include "OrnLangResource.h"
#include "core/scripted_dialog.h"
#include "module/language.h"
#include "support/test_exceptions.h"
#include "support/test_util.h"

namespace zkqtest {

// The record an exception writes, collected in memory mode (no indentation).
template <typename Kind>
std::string RecordOf(const Kind& e) {
    OrnEhLogFile log(nullptr, OrnEhLogUnlimited, 0, nullptr, 0, 0);
    if (!log.SetMemoryMode(1)) return "(no memory mode)";
    e.Log(log);
    const char* text = log.GetMemoryText();
    std::string record = text ? text : "";
    log.SetMemoryMode(0);
    return record;
}

// A record of a text or caption table of the language module, read with a
// walk of the test's own over the raw bytes.
struct LangTableRecord {
    bool found = false;
    std::string text;
    unsigned long captionNo = 0;
};

inline std::uint32_t ReadU32(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

inline LangTableRecord LangTable(unsigned int resId, unsigned long number, bool textTable) {
    LangTableRecord record;
    std::size_t size = 0;
    const auto* p = static_cast<const unsigned char*>(
        OrnResFind(orneh::module::LanguageModule(), ORN_RT_RCDATA, resId, &size));
    const unsigned char* end = p ? p + size : nullptr;
    while (p && p + 4 <= end) {
        std::uint32_t n = ReadU32(p);
        if (n == 0) break;
        const char* text = reinterpret_cast<const char*>(p + 4);
        std::size_t length = strnlen(text, static_cast<std::size_t>(end - (p + 4)));
        const unsigned char* after = p + 4 + length + 1;
        if (n == number) {
            record.found = true;
            record.text.assign(text, length);
            if (textTable && after + 4 <= end) record.captionNo = ReadU32(after);
            return record;
        }
        p = after + (textTable ? 12 : 0);
    }
    return record;
}

// A clean chain, a scripted dialog and a fresh standard log file per test.
class KindReportTest : public ::testing::Test {
protected:
    void SetUp() override {
        ClearChain();
        ::unlink(m_log.path().c_str());
    }
    void TearDown() override { ClearChain(); }

    std::string LogText() const { return ReadFile(m_log.path()); }

    TempDir m_dir;
    ScopedStandardLog m_log{m_dir.path(), "kinds.log"};
    ScriptedDialog m_dialog;
};

// True when every line of text from the one starting with first up to the
// end of the entry (an empty line) begins with six blanks, first excepted.
inline bool IndentedBySix(const std::string& text, const std::string& first) {
    std::string::size_type pos = text.find(first);
    if (pos == std::string::npos) return false;
    pos = text.find("\r\n", pos);
    int lines = 0;
    while (pos != std::string::npos) {
        pos += 2;
        std::string::size_type next = text.find("\r\n", pos);
        if (next == std::string::npos) break;
        std::string line = text.substr(pos, next - pos);
        if (line.find_first_not_of(' ') == std::string::npos) break;  // end of the record
        if (line.compare(0, 6, "      ") != 0 || line[6] == ' ') return false;
        ++lines;
        pos = next;
    }
    return lines > 0;
}

}  // namespace zkqtest

#endif
