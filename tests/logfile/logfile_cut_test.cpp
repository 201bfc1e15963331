// Cutting the oldest record off a limited file at open.
#include <string>

#include <gtest/gtest.h>

#include "OrnEhLogFile.h"
#include "logfile/logfile_helpers.h"
#include "platform/file.h"
#include "support/test_util.h"

namespace pf = orneh::platform;
using zkqtest::ReadFile;
using zkqtest::TempDir;
using zkqtest::WriteFile;

namespace {

const char kSep[] = "----";

std::string Rec(const std::string& text) { return logtest::Record(text, kSep); }

// Writes content, opens with the limit, writes "new", closes; the file.
std::string CutOnce(const std::string& path, const std::string& content, unsigned long limit,
                    const char* separator = kSep) {
    WriteFile(path, content);
    OrnEhLogFile log(path.c_str(), OrnEhLogLimited, limit, separator, 10, 1);
    if (!log.Open()) return "(not opened)";
    log << "new";
    log.Close();
    return ReadFile(path);
}

}  // namespace

TEST(LogCut, OldestRecordGoesWhenAboveTheLimit) {
    TempDir dir;
    const std::string path = dir.file("cut.log");
    const std::string first = Rec("first line\r\nmore\r\n");
    const std::string rest = Rec("second\r\n") + Rec("third\r\n");
    const std::string all = first + rest;
    EXPECT_EQ(CutOnce(path, all, all.size() - 1), rest + Rec("new")) << "one byte above: exactly one record";
    EXPECT_EQ(CutOnce(path, all, all.size()), all + Rec("new")) << "at the limit: nothing";
    EXPECT_EQ(CutOnce(path, "no separator\r\n---- x\r\nshort", 10), Rec("new")) << "no separator: emptied";

    // Lines that only look like a separator line do not end a record; nor
    // does the tail of a long line, which is skipped without comparing.
    const std::string lookalikes = "----\n" "----x\r\n" "xx----\r\n" "---\r\n" "xxxxxx----\r\n" +
                                   std::string(500, 'y') + "----\r\n";
    EXPECT_EQ(CutOnce(path, lookalikes + Rec("") + rest, 1), rest + Rec("new"));
    // A separator line right behind a short line (read back to the line feed).
    EXPECT_EQ(CutOnce(path, Rec("ab\r\n") + rest, 1), rest + Rec("new"));
    // An empty separator: the first line of at most two bytes ending in LF.
    EXPECT_EQ(CutOnce(path, "abc\r\n\r\nkept\r\n", 1, ""), "kept\r\nnew\r\n");
}

TEST(LogCut, OneRecordPerOpenAndLargeTailsMoveWhole) {
    TempDir dir;
    const std::string path = dir.file("cut.log");
    std::string tail;
    for (int i = 0; tail.size() < 200000; ++i) {
        tail += Rec("entry " + std::to_string(i) + " " + std::string(i % 300, static_cast<char>('a' + i % 26)) + "\r\n");
    }
    const std::string first = Rec(std::string(40000, 'f') + "\r\n");
    EXPECT_EQ(CutOnce(path, first + tail, 1000), tail + Rec("new"));
    const std::string afterSecond = CutOnce(path, ReadFile(path), 1000);
    EXPECT_EQ(afterSecond, tail.substr(Rec("entry 0 \r\n").size()) + Rec("new") + Rec("new"));
}

// A failure while cutting must not throw away bytes that were not moved yet.
TEST(LogCut, FailedCutLosesNothing) {
    TempDir dir;
    const std::string path = dir.file("cut.log");
    const std::string small = Rec("first\r\n") + Rec("second\r\n");
    pf::filetest::FailNthWrite(1);
    EXPECT_EQ(CutOnce(path, small, 1), small + Rec("new")) << "first move write failed";
    pf::filetest::FailNthRead(2);
    EXPECT_EQ(CutOnce(path, small, 1), small + Rec("new")) << "read failed while searching";

    const std::string first = Rec(std::string(100000, 'f') + "\r\n");
    std::string tail;
    for (int i = 0; tail.size() < 70000; ++i) tail += Rec("tail " + std::to_string(i) + "\r\n");
    pf::filetest::FailNthWrite(2);  // the second chunk
    const std::string after = CutOnce(path, first + tail, 1);
    pf::filetest::Reset();
    ASSERT_EQ(after.size(), first.size() + tail.size() + Rec("new").size()) << "the file keeps its length";
    EXPECT_EQ(after.substr(0, 32767), tail.substr(0, 32767));
    EXPECT_EQ(after.substr(after.size() - tail.size() - Rec("new").size()), tail + Rec("new"));
}
