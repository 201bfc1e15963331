// Opening and closing a log file, the name precedence of the reports' open,
// the setters and the file name queries.
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

TEST(LogOpen, CloseAppendsTheSeparatorLine) {
    TempDir dir;
    std::string path = dir.file("a.log");
    WriteFile(path, "old\r\n");
    OrnEhLogFile log(path.c_str(), OrnEhLogUnlimited, 0, "=====", 10, 1);
    ASSERT_EQ(log.Open(), 1);
    EXPECT_EQ(ReadFile(path), "old\r\n") << "opening writes nothing";
    log << "text\r\n";
    log.Close();
    EXPECT_EQ(ReadFile(path), "old\r\ntext\r\n=====\r\n");
}

TEST(LogOpen, OpeningTwiceWritesOneSeparatorBetween) {
    TempDir dir;
    std::string path = dir.file("a.log");
    OrnEhLogFile log(path.c_str(), OrnEhLogUnlimited, 0, "#", 10, 1);
    ASSERT_EQ(log.Open(), 1);
    log << "one\r\n";
    ASSERT_EQ(log.Open(), 1);
    log << "two\r\n";
    log.Close();
    EXPECT_EQ(ReadFile(path), "one\r\n#\r\ntwo\r\n#\r\n");
}

TEST(LogOpen, OpenResetsIndentation) {
    TempDir dir;
    std::string path = dir.file("a.log");
    OrnEhLogFile log(path.c_str(), OrnEhLogUnlimited, 0, "#", 10, 1);
    log.SetBlanks(4);
    ASSERT_EQ(log.Open(), 1);
    log << "x\r\n";
    log.SetBlanks(4);
    log.Close();
    EXPECT_EQ(ReadFile(path), "x\r\n    #\r\n");
    ASSERT_EQ(log.Open(), 1);
    log << "y";
    log.Close();
    EXPECT_EQ(ReadFile(path), "x\r\n    #\r\ny#\r\n") << "Close resets the indentation";
}

TEST(LogOpen, OverlongSeparatorIsNotKept) {
    TempDir dir;
    std::string path = dir.file("a.log");
    std::string longest(1024, '-');
    std::string tooLong(1025, '-');
    OrnEhLogFile kept(path.c_str(), OrnEhLogUnlimited, 0, longest.c_str(), 10, 1);
    ASSERT_EQ(kept.Open(), 1);
    kept << "a";
    kept.Close();
    OrnEhLogFile dropped(path.c_str(), OrnEhLogLimited, 1, tooLong.c_str(), 10, 1);
    ASSERT_EQ(dropped.Open(), 1);
    dropped << "b";
    dropped.Close();
    EXPECT_EQ(ReadFile(path), "a" + longest + "\r\nb\r\n") << "no separator: no cut either";
}

TEST(LogOpen, NullSeparatorClosesWithALineBreakOnly) {
    TempDir dir;
    std::string path = dir.file("a.log");
    OrnEhLogFile log(path.c_str(), OrnEhLogUnlimited, 0, nullptr, 10, 1);
    ASSERT_EQ(log.Open(), 1);
    log << "a";
    log.Close();
    EXPECT_EQ(ReadFile(path), "a\r\n");
}

TEST(LogOpen, PublicObjectDoesNotFallBackToAnyOtherFile) {
    TempDir dir;
    zkqtest::ScopedCwd cwd(dir.path());
    OrnEhLogFile log(dir.file("missing/a.log").c_str(), OrnEhLogUnlimited, 0, "#", 10, 5);
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(log.Open(), 0);
    EXPECT_LT(logtest::MillisecondsSince(start), 50 * 1000) << "an error other than a held file ends at once";
    log << "dropped";
    log.Close();
    EXPECT_FALSE(FileExists(dir.file("FEHLER.LOG")));

    OrnEhLogFile unnamed(nullptr, OrnEhLogUnlimited, 0, "#", 10, 5);
    EXPECT_EQ(unnamed.Open(), 0);
    EXPECT_FALSE(FileExists(dir.file("FEHLER.LOG")));
}

TEST(LogOpen, ReportsOpenPrefersTheConfiguredName) {
    TempDir dir;
    std::string configured = dir.file("configured.log");
    std::string preferred = dir.file("preferred.log");
    OrnEhLogFile log(configured.c_str(), OrnEhLogUnlimited, 0, "#", 10, 1);
    ASSERT_EQ(log.Open(preferred.c_str(), OrnEhLogUnlimited, 0), 1);
    log << "r";
    log.Close();
    EXPECT_EQ(ReadFile(configured), "r#\r\n");
    EXPECT_FALSE(FileExists(preferred));
}

TEST(LogOpen, ReportsOpenUsesThePreferredNameWhenTheConfiguredOneFails) {
    TempDir dir;
    std::string preferred = dir.file("preferred.log");
    OrnEhLogFile log(dir.file("missing/x.log").c_str(), OrnEhLogUnlimited, 0, "#", 10, 1);
    ASSERT_EQ(log.Open(preferred.c_str(), OrnEhLogUnlimited, 0), 1);
    log << "r";
    log.Close();
    EXPECT_EQ(ReadFile(preferred), "r#\r\n");

    OrnEhLogFile unnamed(nullptr, OrnEhLogUnlimited, 0, "#", 10, 1);
    EXPECT_EQ(unnamed.Open("", OrnEhLogUnlimited, 0), 0);
    EXPECT_EQ(unnamed.Open(nullptr, OrnEhLogUnlimited, 0), 0);
    ASSERT_EQ(unnamed.Open(preferred.c_str(), OrnEhLogUnlimited, 0), 1);
    unnamed.Close();
    EXPECT_EQ(ReadFile(preferred), "r#\r\n#\r\n");
}

TEST(LogOpen, PreferredNameIsCutWithTheStyleAndLimitPassed) {
    TempDir dir;
    std::string preferred = dir.file("preferred.log");
    const std::string before = Record("first\r\n", "#") + Record("second\r\n", "#");

    // Stored style limited with limit 1, but the report asks for unlimited.
    WriteFile(preferred, before);
    OrnEhLogFile stored(nullptr, OrnEhLogLimited, 1, "#", 10, 1);
    ASSERT_EQ(stored.Open(preferred.c_str(), OrnEhLogUnlimited, 0), 1);
    stored.Close();
    EXPECT_EQ(ReadFile(preferred), before + "#\r\n");

    // Stored style unlimited, the report asks for limited.
    WriteFile(preferred, before);
    OrnEhLogFile asked(nullptr, OrnEhLogUnlimited, 0, "#", 10, 1);
    ASSERT_EQ(asked.Open(preferred.c_str(), OrnEhLogLimited, before.size() - 1), 1);
    asked.Close();
    EXPECT_EQ(ReadFile(preferred), Record("second\r\n", "#") + "#\r\n");
}

TEST(LogOpen, ConfiguredNameIsCutWithTheStoredStyle) {
    TempDir dir;
    std::string configured = dir.file("configured.log");
    const std::string before = Record("first\r\n", "#") + Record("second\r\n", "#");
    WriteFile(configured, before);
    OrnEhLogFile log(configured.c_str(), OrnEhLogUnlimited, 0, "#", 10, 1);
    log.SetStyle(OrnEhLogLimited);
    log.SetMaxSize(before.size() - 1);
    EXPECT_EQ(log.GetStyle(), OrnEhLogLimited);
    ASSERT_EQ(log.Open(dir.file("unused.log").c_str(), OrnEhLogUnlimited, 0), 1);
    log.Close();
    EXPECT_EQ(ReadFile(configured), Record("second\r\n", "#") + "#\r\n");
}

TEST(LogOpen, StylesOtherThanLimitedNeverCut) {
    TempDir dir;
    std::string path = dir.file("a.log");
    const std::string before = Record("first\r\n", "#") + Record("second\r\n", "#");
    for (int style : {0, 2, 7, -1}) {
        WriteFile(path, before);
        OrnEhLogFile log(path.c_str(), static_cast<OrnEhLogfileStyle>(style), 1, "#", 10, 1);
        EXPECT_EQ(log.GetStyle(), static_cast<OrnEhLogfileStyle>(style));
        ASSERT_EQ(log.Open(), 1);
        log.Close();
        EXPECT_EQ(ReadFile(path), before + "#\r\n") << "style " << style;
    }
}

TEST(LogOpen, SetFileNameReplacesTheNameAndNullRemovesIt) {
    TempDir dir;
    std::string first = dir.file("first.log");
    std::string second = dir.file("second.log");
    OrnEhLogFile log(first.c_str(), OrnEhLogUnlimited, 0, "#", 10, 1);
    log.SetFileName(second.c_str());
    ASSERT_EQ(log.Open(), 1);
    log.Close();
    EXPECT_FALSE(FileExists(first));
    EXPECT_EQ(ReadFile(second), "#\r\n");
    log.SetFileName(nullptr);
    EXPECT_EQ(log.Open(), 0);
}

TEST(LogNames, GetDirectoryGivesThePartBeforeTheLastSlash) {
    OrnEhLogFile log("/var/log/app/err.log", OrnEhLogUnlimited, 0, "#", 10, 1);
    char out[32];
    std::memset(out, 'x', sizeof out);
    log.GetDirectory(out, sizeof out);
    EXPECT_STREQ(out, "/var/log/app");
    EXPECT_EQ(out[sizeof out - 1], '\0') << "the whole buffer is zeroed";

    std::memset(out, 'x', sizeof out);
    log.GetDirectory(out, 13);  // exactly the directory and its zero
    EXPECT_STREQ(out, "/var/log/app");
    std::memset(out, 'x', sizeof out);
    log.GetDirectory(out, 12);
    EXPECT_EQ(std::string(out, 12), std::string(12, '\0'));
    EXPECT_EQ(out[12], 'x') << "nothing beyond size is touched";

    OrnEhLogFile bare("err.log", OrnEhLogUnlimited, 0, "#", 10, 1);
    std::memset(out, 'x', sizeof out);
    bare.GetDirectory(out, sizeof out);
    EXPECT_STREQ(out, "");

    OrnEhLogFile unnamed(nullptr, OrnEhLogUnlimited, 0, "#", 10, 1);
    std::strcpy(out, "keep");
    unnamed.GetDirectory(out, sizeof out);
    EXPECT_STREQ(out, "keep");
    log.GetDirectory(nullptr, 10);
}

TEST(LogNames, GetFullPathCopiesAnAbsoluteName) {
    OrnEhLogFile log("/var/log/err.log", OrnEhLogUnlimited, 0, "#", 10, 1);
    char out[32];
    log.GetFullPath(out, sizeof out);
    EXPECT_STREQ(out, "/var/log/err.log");
    std::memset(out, 'x', sizeof out);
    log.GetFullPath(out, 16);  // one byte short of the terminating zero
    EXPECT_EQ(std::string(out, 16), std::string(16, '\0')) << "a name that does not fit is not copied";

    OrnEhLogFile unnamed(nullptr, OrnEhLogUnlimited, 0, "#", 10, 1);
    std::strcpy(out, "keep");
    unnamed.GetFullPath(out, sizeof out);
    EXPECT_STREQ(out, "keep");
}

TEST(LogNames, GetFullPathPutsTheCurrentDirectoryBeforeADotName) {
    TempDir dir;
    zkqtest::ScopedCwd cwd(dir.path());
    char real[PATH_MAX];
    ASSERT_NE(::realpath(dir.path().c_str(), real), nullptr);
    const std::string directory = real;
    OrnEhLogFile log("./err.log", OrnEhLogUnlimited, 0, "#", 10, 1);

    std::string expected = directory + "/./err.log";
    std::string out(expected.size() + 1, 'x');
    log.GetFullPath(&out[0], static_cast<unsigned>(out.size()));
    EXPECT_STREQ(out.c_str(), expected.c_str());

    std::string shortOut(expected.size(), 'x');
    log.GetFullPath(&shortOut[0], static_cast<unsigned>(shortOut.size()));
    EXPECT_STREQ(shortOut.c_str(), directory.c_str()) << "too small for the name: the directory alone";

    std::string tiny(directory.size(), 'x');
    log.GetFullPath(&tiny[0], static_cast<unsigned>(tiny.size()));
    EXPECT_EQ(tiny, std::string(directory.size(), '\0')) << "no room for the directory: empty";
}
