// Opening and closing a log file, the name precedence of the reports' open,
// and the file name queries.
#include <climits>
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "OrnEhLogFile.h"
#include "logfile/logfile_helpers.h"
#include "support/test_util.h"

using logtest::Record;
using zkqtest::FileExists;
using zkqtest::ReadFile;
using zkqtest::TempDir;
using zkqtest::WriteFile;

TEST(LogOpenClose, SeparatorLineAfterEachRecord) {
    TempDir dir;
    const std::string path = dir.file("a.log");
    WriteFile(path, "old\r\n");
    OrnEhLogFile log(path.c_str(), OrnEhLogUnlimited, 0, "=====", 10, 1);
    log.SetBlanks(4);
    ASSERT_EQ(log.Open(), 1);
    EXPECT_EQ(ReadFile(path), "old\r\n") << "opening writes nothing";
    log << "one\r\n";
    ASSERT_EQ(log.Open(), 1);  // closes first: one separator between
    log << "two";
    log.Close();
    EXPECT_EQ(ReadFile(path), "old\r\none\r\n=====\r\ntwo=====\r\n") << "Open resets the indentation";

    // Separators up to 1024 characters are kept; a longer one is not (and
    // a limited file without a separator is never cut).
    for (const std::string& separator : {std::string(1024, '-'), std::string(1025, '-')}) {
        WriteFile(path, "");
        OrnEhLogFile other(path.c_str(), OrnEhLogLimited, 1, separator.c_str(), 10, 1);
        ASSERT_EQ(other.Open(), 1);
        other << "a";
        other.Close();
        ASSERT_EQ(other.Open(), 1);
        other.Close();
        const std::string kept = separator.size() <= 1024 ? separator : "";
        EXPECT_EQ(ReadFile(path), separator.size() <= 1024 ? "" + kept + "\r\n" : "a\r\n\r\n")
            << separator.size();
    }
    OrnEhLogFile none(path.c_str(), OrnEhLogUnlimited, 0, nullptr, 10, 1);
    WriteFile(path, "");
    ASSERT_EQ(none.Open(), 1);
    none.Close();
    EXPECT_EQ(ReadFile(path), "\r\n");
}

TEST(LogOpenClose, PublicObjectDoesNotFallBackToAnyOtherFile) {
    TempDir dir;
    zkqtest::ScopedCwd cwd(dir.path());
    OrnEhLogFile log(dir.file("missing/a.log").c_str(), OrnEhLogUnlimited, 0, "#", 1000, 5);
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(log.Open(), 0);
    EXPECT_LT(logtest::MillisecondsSince(start), 1000) << "an error other than a held file ends the attempts";
    OrnEhLogFile unnamed(nullptr, OrnEhLogUnlimited, 0, "#", 10, 5);
    EXPECT_EQ(unnamed.Open(), 0);
    EXPECT_FALSE(FileExists(dir.file("FEHLER.LOG")));
}

TEST(LogOpenClose, ReportsOpenNamePrecedenceAndCut) {
    TempDir dir;
    const std::string configured = dir.file("configured.log");
    const std::string preferred = dir.file("preferred.log");
    const std::string two = Record("first\r\n", "#") + Record("second\r\n", "#");

    // A configured name comes first and is cut with the stored style.
    WriteFile(configured, two);
    OrnEhLogFile log(configured.c_str(), OrnEhLogLimited, two.size() - 1, "#", 10, 1);
    ASSERT_EQ(log.Open(preferred.c_str(), OrnEhLogUnlimited, 0), 1);
    log.Close();
    EXPECT_EQ(ReadFile(configured), Record("second\r\n", "#") + "#\r\n");
    EXPECT_FALSE(FileExists(preferred));

    // When it cannot be opened, the preferred name is used and cut with the
    // style and limit passed, not the stored ones.
    log.SetFileName(dir.file("missing/x.log").c_str());
    WriteFile(preferred, two);
    ASSERT_EQ(log.Open(preferred.c_str(), OrnEhLogUnlimited, 0), 1);
    log.Close();
    EXPECT_EQ(ReadFile(preferred), two + "#\r\n");
    WriteFile(preferred, two);
    OrnEhLogFile unnamed(nullptr, OrnEhLogUnlimited, 0, "#", 10, 1);
    EXPECT_EQ(unnamed.Open("", OrnEhLogLimited, 1), 0);
    EXPECT_EQ(unnamed.Open(nullptr, OrnEhLogLimited, 1), 0);
    ASSERT_EQ(unnamed.Open(preferred.c_str(), OrnEhLogLimited, two.size() - 1), 1);
    unnamed.Close();
    EXPECT_EQ(ReadFile(preferred), Record("second\r\n", "#") + "#\r\n");
}

TEST(LogOpenClose, OnlyTheLimitedStyleCuts) {
    TempDir dir;
    const std::string path = dir.file("a.log");
    const std::string two = Record("first\r\n", "#") + Record("second\r\n", "#");
    for (int style : {0, 2, 7, -1, 1}) {
        WriteFile(path, two);
        OrnEhLogFile log(path.c_str(), static_cast<OrnEhLogfileStyle>(style), 1, "#", 10, 1);
        EXPECT_EQ(log.GetStyle(), static_cast<OrnEhLogfileStyle>(style));
        ASSERT_EQ(log.Open(), 1);
        log.Close();
        EXPECT_EQ(ReadFile(path), (style == 1 ? Record("second\r\n", "#") : two) + "#\r\n") << style;
    }
}

TEST(LogNames, GetDirectory) {
    OrnEhLogFile log("/var/log/app/err.log", OrnEhLogUnlimited, 0, "#", 10, 1);
    char out[32];
    std::memset(out, 'x', sizeof out);
    log.GetDirectory(out, 13);  // exactly the directory and its zero
    EXPECT_STREQ(out, "/var/log/app");
    std::memset(out, 'x', sizeof out);
    log.GetDirectory(out, 12);
    EXPECT_EQ(std::string(out, 13), std::string(12, '\0') + "x") << "zeroed, nothing copied, nothing beyond";

    OrnEhLogFile bare("err.log", OrnEhLogUnlimited, 0, "#", 10, 1);
    std::strcpy(out, "x");
    bare.GetDirectory(out, sizeof out);
    EXPECT_STREQ(out, "");
    OrnEhLogFile unnamed(nullptr, OrnEhLogUnlimited, 0, "#", 10, 1);
    std::strcpy(out, "keep");
    unnamed.GetDirectory(out, sizeof out);
    EXPECT_STREQ(out, "keep");
}

TEST(LogNames, GetFullPath) {
    OrnEhLogFile absolute("/var/log/err.log", OrnEhLogUnlimited, 0, "#", 10, 1);
    char out[32];
    absolute.GetFullPath(out, sizeof out);
    EXPECT_STREQ(out, "/var/log/err.log");
    std::memset(out, 'x', sizeof out);
    absolute.GetFullPath(out, 16);  // no room for the zero: not copied, not cut short
    EXPECT_EQ(std::string(out, 16), std::string(16, '\0'));

    TempDir dir;
    zkqtest::ScopedCwd cwd(dir.path());
    char real[PATH_MAX];
    ASSERT_NE(::realpath(dir.path().c_str(), real), nullptr);
    const std::string directory = real;
    const std::string expected = directory + "/./err.log";
    OrnEhLogFile dotted("./err.log", OrnEhLogUnlimited, 0, "#", 10, 1);
    for (std::size_t size : {expected.size() + 1, expected.size(), directory.size()}) {
        std::string buffer(size, 'x');
        dotted.GetFullPath(&buffer[0], static_cast<unsigned>(size));
        const std::string want = size > expected.size() ? expected : size > directory.size() ? directory : "";
        EXPECT_EQ(buffer, want + std::string(size - want.size(), '\0')) << size;
    }
}
