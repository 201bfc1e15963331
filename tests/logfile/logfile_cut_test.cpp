// Cutting the oldest record off a limited file at open.
#include <string>

#include <gtest/gtest.h>

#include "OrnEhLogFile.h"
#include "logfile/logfile_helpers.h"
#include "platform/file.h"
#include "support/test_util.h"

namespace pf = orneh::platform;
using logtest::Record;
using zkqtest::ReadFile;
using zkqtest::TempDir;
using zkqtest::WriteFile;

namespace {

const char kSep[] = "----";

class CutTest : public ::testing::Test {
protected:
    CutTest() : path(dir.file("cut.log")) {}
    ~CutTest() override { pf::filetest::Reset(); }

    // Opens with the given limit, writes text, closes; returns the file.
    std::string OpenWriteClose(unsigned long limit, const std::string& text = "") {
        OrnEhLogFile log(path.c_str(), OrnEhLogLimited, limit, kSep, 10, 1);
        EXPECT_EQ(log.Open(), 1);
        log << text.c_str();
        log.Close();
        return ReadFile(path);
    }

    TempDir dir;
    std::string path;
};

}  // namespace

TEST_F(CutTest, OneByteAboveTheLimitLosesExactlyTheFirstRecord) {
    const std::string first = Record("first line\r\nmore\r\n", kSep);
    const std::string rest = Record("second\r\n", kSep) + Record("third\r\n", kSep);
    WriteFile(path, first + rest);
    EXPECT_EQ(OpenWriteClose((first + rest).size() - 1, "new\r\n"), rest + Record("new\r\n", kSep));
}

TEST_F(CutTest, FileExactlyAtTheLimitIsLeftAlone) {
    const std::string content = Record("first\r\n", kSep) + Record("second\r\n", kSep);
    WriteFile(path, content);
    EXPECT_EQ(OpenWriteClose(content.size()), content + Record("", kSep));
}

TEST_F(CutTest, OnlyOneRecordGoesPerOpen) {
    std::string content;
    for (int i = 0; i < 5; ++i) content += Record("record " + std::to_string(i) + "\r\n", kSep);
    WriteFile(path, content);
    std::string after = OpenWriteClose(1);
    EXPECT_EQ(after, content.substr(Record("record 0\r\n", kSep).size()) + Record("", kSep));
    after = OpenWriteClose(1);
    EXPECT_EQ(after.substr(0, 10), "record 2\r\n");
}

TEST_F(CutTest, FileWithoutASeparatorLineIsEmptied) {
    WriteFile(path, "no separator here\r\n---- but not alone\r\nshort");
    EXPECT_EQ(OpenWriteClose(10, "x"), Record("x", kSep));
}

TEST_F(CutTest, SeparatorLineMustMatchExactly) {
    const std::string lookalikes = "----\n" "----x\r\n" "-----\r\n" "xx----\r\n" "---\r\n";
    const std::string rest = Record("kept\r\n", kSep);
    WriteFile(path, lookalikes + Record("", kSep) + rest);
    EXPECT_EQ(OpenWriteClose(1), rest + Record("", kSep));
}

TEST_F(CutTest, LongLinesAreSkippedWithoutComparingTheirPieces) {
    // The tail of this line is a separator line's worth of bytes, separator
    // and CR LF included, but it is not a separator line.
    const std::string longLine = std::string(6, 'x') + "----\r\n";
    const std::string veryLong = std::string(500, 'y') + "----\r\n";
    const std::string rest = Record("kept\r\n", kSep);
    WriteFile(path, longLine + veryLong + Record("end of first\r\n", kSep) + rest);
    EXPECT_EQ(OpenWriteClose(1), rest + Record("", kSep));
}

TEST_F(CutTest, SeparatorRightAfterAShortLineIsFound) {
    // The piece read after "ab" holds the start of the separator line; the
    // read position goes back to just behind the line feed.
    const std::string rest = Record("r\r\n", kSep);
    WriteFile(path, Record("ab\r\n", kSep) + rest);
    EXPECT_EQ(OpenWriteClose(1), rest + Record("", kSep));
}

TEST_F(CutTest, LargeTailIsMovedInChunksByteForByte) {
    std::string tail;
    for (int i = 0; tail.size() < 200000; ++i) {
        tail += Record("entry " + std::to_string(i) + " " + std::string(i % 300, 'a' + i % 26) + "\r\n", kSep);
    }
    const std::string first = Record(std::string(40000, 'f') + "\r\n", kSep);
    WriteFile(path, first + tail);
    EXPECT_EQ(OpenWriteClose(1000), tail + Record("", kSep));
}

TEST_F(CutTest, EmptySeparatorCutsAtTheFirstShortLine) {
    WriteFile(path, "abc\r\n" "\r\n" "kept\r\n");
    OrnEhLogFile log(path.c_str(), OrnEhLogLimited, 1, "", 10, 1);
    ASSERT_EQ(log.Open(), 1);
    log.Close();
    EXPECT_EQ(ReadFile(path), "kept\r\n\r\n");
}

TEST_F(CutTest, FailedMoveKeepsEveryByteNotYetMoved) {
    const std::string first = Record(std::string(100000, 'f') + "\r\n", kSep);
    std::string tail;
    for (int i = 0; tail.size() < 70000; ++i) tail += Record("tail " + std::to_string(i) + "\r\n", kSep);
    WriteFile(path, first + tail);

    pf::filetest::FailNthWrite(2);  // the second chunk of the move
    std::string after = OpenWriteClose(1, "new");
    pf::filetest::Reset();
    ASSERT_EQ(after.size(), first.size() + tail.size() + Record("new", kSep).size())
        << "the file keeps its length";
    EXPECT_EQ(after.substr(0, 32767), tail.substr(0, 32767)) << "the chunk moved stays moved";
    EXPECT_EQ(after.substr(after.size() - tail.size() - Record("new", kSep).size()),
              tail + Record("new", kSep))
        << "nothing behind the cut point is lost";
}

TEST_F(CutTest, FailedFirstWriteLeavesTheFileAsItWas) {
    const std::string content = Record("first\r\n", kSep) + Record("second\r\n", kSep);
    WriteFile(path, content);
    pf::filetest::FailNthWrite(1);
    EXPECT_EQ(OpenWriteClose(1, "new"), content + Record("new", kSep));
}

TEST_F(CutTest, FailedReadWhileSearchingLeavesTheFileAsItWas) {
    const std::string content = Record("first\r\n", kSep) + Record("second\r\n", kSep);
    WriteFile(path, content);
    pf::filetest::FailNthRead(2);
    EXPECT_EQ(OpenWriteClose(1, "new"), content + Record("new", kSep));
}
