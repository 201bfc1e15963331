// The writers: text, numbers, line breaks, indentation, the write buffer and
// the memory text.
#include <ctime>
#include <regex>
#include <string>

#include <gtest/gtest.h>

#include "OrnEhLogFile.h"
#include "logfile/logfile_helpers.h"
#include "platform/alloc.h"
#include "support/test_util.h"

namespace at = orneh::platform::alloctest;
using zkqtest::ReadFile;
using zkqtest::TempDir;

namespace {

// An open log file with the separator "--" whose contents the test compares.
class WriterTest : public ::testing::Test {
protected:
    WriterTest() : path(dir.file("w.log")), log(path.c_str(), OrnEhLogUnlimited, 0, "--", 10, 1) {}
    void SetUp() override { ASSERT_EQ(log.Open(), 1); }
    std::string Closed() {
        log.Close();
        return ReadFile(path);
    }

    TempDir dir;
    std::string path;
    OrnEhLogFile log;
};

}  // namespace

TEST_F(WriterTest, IndentationStartsEachNewLine) {
    log.SetBlanks(3);
    log << "a" << "\r\n" << "b";
    EXPECT_EQ(Closed(), "   a\r\n   b--\r\n");
}

TEST_F(WriterTest, LineFeedInsideATextDoesNotIndentItsRest) {
    log.SetBlanks(3);
    log << "a\nb";
    EXPECT_EQ(Closed(), "   a\nb--\r\n");
}

TEST_F(WriterTest, SetBlanksTakesEffectAtTheNextLine) {
    log << "x";
    log.SetBlanks(2);
    log << "y\r\n" << "z\r\n";
    log.SetBlanks(0);
    log << "w";
    EXPECT_EQ(Closed(), "xy\r\n  z\r\nw--\r\n");
}

TEST_F(WriterTest, NewLineZeroOnlyStartsANewLine) {
    log.SetBlanks(3);
    log << "x";
    log.NewLine(0);
    log << "y";
    log.NewLine(2);
    log << "z";
    EXPECT_EQ(Closed(), "   x   y\r\n   \r\n   z--\r\n");
}

TEST_F(WriterTest, IndentationNeverExceedsTheBlankRun) {
    log.SetBlanks(60000);
    log << "a\r\n";
    EXPECT_EQ(Closed(), std::string(99, ' ') + "a\r\n" + std::string(99, ' ') + "--\r\n");
}

TEST_F(WriterTest, EmptyAndNullTextsWriteNothingAndKeepTheLineState) {
    log.SetBlanks(2);
    log << "" << static_cast<const char*>(nullptr) << "a" << "" << static_cast<const char*>(nullptr)
        << "b\r\n";
    EXPECT_EQ(Closed(), "  ab\r\n  --\r\n");
}

TEST_F(WriterTest, NumbersAreFormattedLikePrintf) {
    log << static_cast<short>(-5) << " " << static_cast<unsigned short>(65535) << " "
        << 4294967295UL << " " << -1234567890123L << " " << static_cast<short>(-32768) << " ";
    log.WriteHex(255);
    log << " ";
    log.WriteHex(0);
    log << " ";
    log.WriteHex(0xDEADBEEFUL);
    EXPECT_EQ(Closed(), "-5 65535 4294967295 -1234567890123 -32768 ff 0 deadbeef--\r\n");
}

TEST_F(WriterTest, NumbersAreIndentedLikeText) {
    log.SetBlanks(1);
    log << 7UL;
    EXPECT_EQ(Closed(), " 7--\r\n");
}

TEST_F(WriterTest, DateAndTimeWithoutLeadingZeros) {
    std::time_t before = std::time(nullptr);
    log.WriteDateTime();
    std::time_t after = std::time(nullptr);
    std::string text = Closed();
    std::smatch m;
    ASSERT_TRUE(std::regex_match(text, m,
                                 std::regex("([1-9][0-9]?)\\.([1-9][0-9]?)\\.([0-9]{4}) "
                                            "(0|[1-9][0-9]?):(0|[1-9][0-9]?):(0|[1-9][0-9]?)\r\n--\r\n")))
        << text;
    bool matchesClock = false;
    for (std::time_t t = before; t <= after; ++t) {
        struct tm parts;
        localtime_r(&t, &parts);
        matchesClock = matchesClock ||
                       (std::stoi(m[1]) == parts.tm_mday && std::stoi(m[2]) == parts.tm_mon + 1 &&
                        std::stoi(m[3]) == parts.tm_year + 1900 && std::stoi(m[4]) == parts.tm_hour &&
                        std::stoi(m[5]) == parts.tm_min && std::stoi(m[6]) == parts.tm_sec);
    }
    EXPECT_TRUE(matchesClock) << text;
}

TEST_F(WriterTest, BufferHoldsUpTo1023BytesThenIsWrittenOut) {
    std::string first(1023, 'a');
    log << first.c_str();
    EXPECT_EQ(ReadFile(path), "") << "1023 bytes stay in the buffer";
    log << "b";
    EXPECT_EQ(ReadFile(path), first) << "reaching 1024 writes the buffer first";
    EXPECT_EQ(Closed(), first + "b--\r\n");
}

TEST_F(WriterTest, BlanksCountTowardsTheBufferLimit) {
    log.SetBlanks(10);
    log << "x\r\n";  // 13 bytes held
    // 13 + 1005 fits, but with the 10 blanks of the new line it would not:
    // the buffer is written out first.
    std::string text(1005, 'a');
    log << text.c_str();
    EXPECT_EQ(ReadFile(path), std::string(10, ' ') + "x\r\n");
    EXPECT_EQ(Closed(), std::string(10, ' ') + "x\r\n" + std::string(10, ' ') + text + "--\r\n");
}

TEST_F(WriterTest, LongTextGoesStraightToTheFileInOrder) {
    log.SetBlanks(2);
    log << "head ";
    std::string big(1500, 'x');
    log << big.c_str();
    EXPECT_EQ(ReadFile(path), "  head " + big) << "a long text is not kept back";
    log << " tail";
    EXPECT_EQ(Closed(), "  head " + big + " tail--\r\n");
}

TEST(WriterClosed, TextForAClosedObjectIsDropped) {
    TempDir dir;
    std::string path = dir.file("w.log");
    zkqtest::WriteFile(path, "before");
    OrnEhLogFile log(path.c_str(), OrnEhLogUnlimited, 0, "--", 10, 1);
    log << "lost";
    log.NewLine(1);
    log.WriteHex(1);
    EXPECT_EQ(ReadFile(path), "before");
    ASSERT_EQ(log.Open(), 1);
    log << "kept";
    log.Close();
    log << "lost again";
    EXPECT_EQ(ReadFile(path), "beforekept--\r\n");
}

TEST(MemoryMode, CollectsTextWithoutIndentationOrFile) {
    TempDir dir;
    std::string path = dir.file("w.log");
    OrnEhLogFile log(path.c_str(), OrnEhLogUnlimited, 0, "--", 10, 1);
    ASSERT_EQ(log.Open(), 1);
    log.SetBlanks(3);
    ASSERT_EQ(log.SetMemoryMode(1), 1);
    log << "a" << "\r\n" << "b";
    log.NewLine(1);
    log << static_cast<short>(-5);
    log.WriteHex(255);
    ASSERT_NE(log.GetMemoryText(), nullptr);
    EXPECT_STREQ(log.GetMemoryText(), "a\r\nb\r\n-5ff");
    ASSERT_EQ(log.SetMemoryMode(0), 1);
    EXPECT_EQ(log.GetMemoryText(), nullptr);
    log.Close();
    EXPECT_EQ(ReadFile(path), "   --\r\n") << "memory text never reaches the file";
}

TEST(MemoryMode, DoesNotChangeTheLineStateOfTheFile) {
    TempDir dir;
    std::string path = dir.file("w.log");
    OrnEhLogFile log(path.c_str(), OrnEhLogUnlimited, 0, "--", 10, 1);
    ASSERT_EQ(log.Open(), 1);
    log.SetBlanks(2);
    log << "a";
    log.SetMemoryMode(1);
    log << "b\r\n";
    log.SetMemoryMode(0);
    log << "c";
    log.Close();
    EXPECT_EQ(ReadFile(path), "  ac--\r\n");
}

TEST(MemoryMode, WorksWithoutAFileAndRestartsEmpty) {
    OrnEhLogFile log(nullptr, OrnEhLogUnlimited, 0, "--", 10, 1);
    EXPECT_EQ(log.GetMemoryText(), nullptr);
    ASSERT_EQ(log.SetMemoryMode(1), 1);
    EXPECT_STREQ(log.GetMemoryText(), "");
    log << "old";
    ASSERT_EQ(log.SetMemoryMode(1), 1);
    EXPECT_STREQ(log.GetMemoryText(), "") << "switching on again discards the text";
    log << "new";
    log.Close();
    EXPECT_STREQ(log.GetMemoryText(), "new--\r\n") << "Close writes through the text writer";
    log.SetMemoryMode(0);
}

TEST(MemoryMode, GrowsToExactlyTheSizeNeeded) {
    zkqtest::AllocFailureReset reset;
    OrnEhLogFile log(nullptr, OrnEhLogUnlimited, 0, "--", 10, 1);
    ASSERT_EQ(log.SetMemoryMode(1), 1);
    std::string fill(2047, 'a');
    at::FailAll();
    log << fill.c_str();  // 2047 + 1 = 2048 fits the first block
    EXPECT_FALSE(at::Fired());
    at::Reset();
    log << "bc";  // grows to 2050
    at::FailAll();
    log << "d";  // 2051 would need more: the text is dropped
    EXPECT_TRUE(at::Fired());
    at::Reset();
    EXPECT_EQ(std::string(log.GetMemoryText()), fill + "bc");
    log << "e";
    EXPECT_EQ(std::string(log.GetMemoryText()), fill + "bce");
    log.SetMemoryMode(0);
}

TEST(MemoryMode, FailedSwitchOnLeavesTheFileWriting) {
    zkqtest::AllocFailureReset reset;
    TempDir dir;
    std::string path = dir.file("w.log");
    OrnEhLogFile log(path.c_str(), OrnEhLogUnlimited, 0, "--", 10, 1);
    ASSERT_EQ(log.Open(), 1);
    long before = at::Outstanding();
    at::FailAll();
    EXPECT_EQ(log.SetMemoryMode(1), 0);
    at::Reset();
    EXPECT_EQ(log.GetMemoryText(), nullptr);
    EXPECT_EQ(at::Outstanding(), before);
    log << "to file";
    log.Close();
    EXPECT_EQ(ReadFile(path), "to file--\r\n");
}

TEST(InertObject, EveryOperationIsNeutralWithoutState) {
    zkqtest::AllocFailureReset reset;
    TempDir dir;
    std::string path = dir.file("w.log");
    long before = at::Outstanding();
    at::FailAll();
    {
        OrnEhLogFile log(path.c_str(), OrnEhLogLimited, 10, "--", 10, 1);
        at::Reset();
        EXPECT_EQ(log.Open(), 0);
        EXPECT_EQ(log.Open("other", OrnEhLogLimited, 1), 0);
        log.SetBlanks(2);
        log << "x" << 1UL << 2L << static_cast<short>(3) << static_cast<unsigned short>(4);
        log.WriteHex(5);
        log.NewLine(3);
        log.WriteDateTime();
        EXPECT_EQ(log.SetMemoryMode(1), 1);
        EXPECT_EQ(log.GetMemoryText(), nullptr);
        log.SetFileName("y");
        log.SetStyle(OrnEhLogUnlimited);
        log.SetMaxSize(3);
        EXPECT_EQ(log.GetStyle(), OrnEhLogLimited);
        char out[8] = "keep";
        log.GetDirectory(out, sizeof out);
        log.GetFullPath(out, sizeof out);
        EXPECT_STREQ(out, "keep");
        log.Close();
    }
    EXPECT_EQ(at::Outstanding(), before);
    EXPECT_FALSE(zkqtest::FileExists(path));
}
