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
using logtest::Written;
using zkqtest::ReadFile;
using zkqtest::TempDir;

TEST(LogWriters, TextIndentationAndNumbers) {
    TempDir dir;
    const std::string path = dir.file("w.log");
    auto case_ = [&](const std::function<void(OrnEhLogFile&)>& write) {
        ::unlink(path.c_str());
        return Written(path, write);
    };
    EXPECT_EQ(case_([](OrnEhLogFile& l) { l.SetBlanks(3); l << "a" << "\r\n" << "b"; }),
              "   a\r\n   b--\r\n");
    EXPECT_EQ(case_([](OrnEhLogFile& l) { l.SetBlanks(3); l << "a\nb"; }), "   a\nb--\r\n")
        << "a line feed inside a text does not indent its rest";
    EXPECT_EQ(case_([](OrnEhLogFile& l) { l << "x"; l.SetBlanks(2); l << "y\r\n" << "z"; }),
              "xy\r\n  z--\r\n")
        << "SetBlanks takes effect at the next line";
    EXPECT_EQ(case_([](OrnEhLogFile& l) { l.SetBlanks(3); l << "x"; l.NewLine(0); l << "y"; l.NewLine(2); }),
              "   x   y\r\n   \r\n   --\r\n");
    EXPECT_EQ(case_([](OrnEhLogFile& l) { l.SetBlanks(60000); l << "a\r\n"; }),
              std::string(99, ' ') + "a\r\n" + std::string(99, ' ') + "--\r\n")
        << "indentation stops at the run of 99 blanks";
    EXPECT_EQ(case_([](OrnEhLogFile& l) {
                  l.SetBlanks(2);
                  l << "" << static_cast<const char*>(nullptr) << "a" << "" << static_cast<const char*>(nullptr);
              }),
              "  a--\r\n")
        << "empty and null texts change nothing";
    EXPECT_EQ(case_([](OrnEhLogFile& l) {
                  l << static_cast<short>(-5) << " " << static_cast<unsigned short>(65535) << " "
                    << 4294967295UL << " " << -1234567890123L << " " << static_cast<short>(-32768) << " ";
                  l.WriteHex(255);
                  l << " ";
                  l.WriteHex(0);
              }),
              "-5 65535 4294967295 -1234567890123 -32768 ff 0--\r\n");
}

TEST(LogWriters, BufferIsWrittenOutBeforeItWouldReach1024Bytes) {
    TempDir dir;
    const std::string path = dir.file("w.log");
    OrnEhLogFile log(path.c_str(), OrnEhLogUnlimited, 0, "--", 10, 1);
    ASSERT_EQ(log.Open(), 1);
    const std::string a1023(1023, 'a');
    log << a1023.c_str();
    EXPECT_EQ(ReadFile(path), "") << "1023 bytes stay in the buffer";
    log << "\n";
    EXPECT_EQ(ReadFile(path), a1023);

    // 1 + 1003 bytes would fit, but not with the 20 blanks of the new line.
    log.SetBlanks(20);
    const std::string b1003(1003, 'b');
    log << b1003.c_str();
    EXPECT_EQ(ReadFile(path), a1023 + "\n");

    // A text of 1500 bytes goes straight to the file behind what was held.
    const std::string c1500(1500, 'c');
    log << c1500.c_str();
    EXPECT_EQ(ReadFile(path), a1023 + "\n" + std::string(20, ' ') + b1003 + c1500);
    log.Close();
    EXPECT_EQ(ReadFile(path), a1023 + "\n" + std::string(20, ' ') + b1003 + c1500 + "--\r\n");

    log << "dropped while closed";
    log.NewLine(1);
    EXPECT_EQ(ReadFile(path), a1023 + "\n" + std::string(20, ' ') + b1003 + c1500 + "--\r\n");
}

TEST(LogWriters, DateAndTimeWithoutLeadingZeros) {
    TempDir dir;
    std::time_t before = std::time(nullptr);
    std::string text = Written(dir.file("w.log"), [](OrnEhLogFile& l) { l.WriteDateTime(); });
    std::time_t after = std::time(nullptr);
    std::smatch m;
    ASSERT_TRUE(std::regex_match(text, m,
                                 std::regex("([1-9][0-9]?)\\.([1-9][0-9]?)\\.([0-9]{4}) "
                                            "(0|[1-9][0-9]?):(0|[1-9][0-9]?):(0|[1-9][0-9]?)\r\n--\r\n")))
        << text;
    bool matchesClock = false;
    for (std::time_t t = before; t <= after; ++t) {
        struct tm p;
        localtime_r(&t, &p);
        matchesClock = matchesClock || (std::stoi(m[1]) == p.tm_mday && std::stoi(m[2]) == p.tm_mon + 1 &&
                                        std::stoi(m[3]) == p.tm_year + 1900 && std::stoi(m[4]) == p.tm_hour &&
                                        std::stoi(m[5]) == p.tm_min && std::stoi(m[6]) == p.tm_sec);
    }
    EXPECT_TRUE(matchesClock) << text;
}

TEST(LogMemoryMode, CollectsWithoutIndentationAndLeavesTheFileAlone) {
    TempDir dir;
    const std::string path = dir.file("w.log");
    std::string memory;
    std::string file = Written(path, [&](OrnEhLogFile& l) {
        l.SetBlanks(2);
        l << "a";
        EXPECT_EQ(l.SetMemoryMode(1), 1);
        l << "m" << "\r\n" << "n";
        l << static_cast<short>(-5);
        memory = l.GetMemoryText();
        EXPECT_EQ(l.SetMemoryMode(0), 1);
        EXPECT_EQ(l.GetMemoryText(), nullptr);
        l << "b";  // no indentation: memory mode did not touch the line state
    });
    EXPECT_EQ(memory, "m\r\nn-5");
    EXPECT_EQ(file, "  ab--\r\n");

    OrnEhLogFile unnamed(nullptr, OrnEhLogUnlimited, 0, "--", 10, 1);
    ASSERT_EQ(unnamed.SetMemoryMode(1), 1);
    unnamed << "old";
    ASSERT_EQ(unnamed.SetMemoryMode(1), 1);
    unnamed << "new";
    unnamed.Close();
    EXPECT_STREQ(unnamed.GetMemoryText(), "new--\r\n") << "a new memory text starts empty; Close writes into it";
    unnamed.SetMemoryMode(0);
}

TEST(LogMemoryMode, GrowsExactlyAndDropsWhatCannotBeStored) {
    zkqtest::AllocFailureReset reset;
    OrnEhLogFile log(nullptr, OrnEhLogUnlimited, 0, "--", 10, 1);
    ASSERT_EQ(log.SetMemoryMode(1), 1);
    const std::string fill(2047, 'a');
    at::FailAll();
    log << fill.c_str();  // with its zero exactly the first 2048 bytes
    EXPECT_FALSE(at::Fired());
    at::Reset();
    log << "bc";  // grows to exactly 2050
    at::FailAll();
    log << "d";  // would need 2051
    EXPECT_TRUE(at::Fired());
    at::Reset();
    log << "e";
    EXPECT_EQ(std::string(log.GetMemoryText()), fill + "bce");

    // A failed switch-on reports 0; text then goes to the file.
    TempDir dir;
    const std::string path = dir.file("w.log");
    OrnEhLogFile file(path.c_str(), OrnEhLogUnlimited, 0, "--", 10, 1);
    ASSERT_EQ(file.Open(), 1);
    at::FailAll();
    EXPECT_EQ(file.SetMemoryMode(1), 0);
    at::Reset();
    EXPECT_EQ(file.GetMemoryText(), nullptr);
    file << "to file";
    file.Close();
    EXPECT_EQ(ReadFile(path), "to file--\r\n");
}

TEST(LogInertObject, EveryOperationIsNeutralWithoutState) {
    zkqtest::AllocFailureReset reset;
    TempDir dir;
    const std::string path = dir.file("w.log");
    const long before = at::Outstanding();
    at::FailAll();
    {
        OrnEhLogFile log(path.c_str(), OrnEhLogLimited, 10, "--", 10, 1);
        at::Reset();
        EXPECT_EQ(log.Open(), 0);
        EXPECT_EQ(log.Open(path.c_str(), OrnEhLogLimited, 1), 0);
        log << "x" << 1UL << 2L << static_cast<short>(3) << static_cast<unsigned short>(4);
        log.WriteHex(5);
        log.NewLine(3);
        log.WriteDateTime();
        log.SetBlanks(2);
        EXPECT_EQ(log.SetMemoryMode(1), 1);
        EXPECT_EQ(log.GetMemoryText(), nullptr);
        log.SetFileName("y");
        log.SetStyle(OrnEhLogUnlimited);
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
