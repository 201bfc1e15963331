// The writers: text, numbers, line breaks, indentation, the write buffer
// and the memory text. (The date is checked with a whole report entry.)
#include <functional>

#include "logfile/logfile_helpers.h"

using zkqtest::ReadFile;

namespace {

// Opens a new file at path with separator "--", writes, closes; the file.
std::string Written(const std::string& path, const std::function<void(OrnEhLogFile&)>& write) {
    ::unlink(path.c_str());
    OrnEhLogFile log(path.c_str(), OrnEhLogUnlimited, 0, "--", 10, 1);
    log.Open();
    write(log);
    log.Close();
    return ReadFile(path);
}

}  // namespace

TEST(LogWriters, Text) {
    const std::pair<std::function<void(OrnEhLogFile&)>, std::string> cases[] = {
        {[](OrnEhLogFile& l) { l.SetBlanks(3), l << "a" << "\r\n" << "b"; }, "   a\r\n   b--\r\n"},
        {[](OrnEhLogFile& l) { l.SetBlanks(3), l << "a\nb"; }, "   a\nb--\r\n"},  // the rest of a text is not indented
        {[](OrnEhLogFile& l) { l << "x", l.SetBlanks(2), l << "y\r\n" << "z"; }, "xy\r\n  z--\r\n"},  // from the next line
        {[](OrnEhLogFile& l) { l.SetBlanks(3), l << "x", l.NewLine(0), l << "y", l.NewLine(2); }, "   x   y\r\n   \r\n   --\r\n"},
        // At most the run of 99 blanks.
        {[](OrnEhLogFile& l) { l.SetBlanks(60000), l << "a\r\n"; }, std::string(99, ' ') + "a\r\n" + std::string(99, ' ') + "--\r\n"},
        // Empty and null texts write nothing and leave the line state alone.
        {[](OrnEhLogFile& l) { l.SetBlanks(2), l << "" << static_cast<const char*>(nullptr) << "a" << ""; }, "  a--\r\n"},
        {[](OrnEhLogFile& l) {
             l << static_cast<short>(-5) << " " << static_cast<unsigned short>(65535) << " " << 4294967295UL << " "
               << -1234567890123L << " ", l.WriteHex(255), l << " ", l.WriteHex(0);
         },
         "-5 65535 4294967295 -1234567890123 ff 0--\r\n"},
    };
    zkqtest::TempDir dir;
    for (const auto& [write, expected] : cases) {
        SCOPED_TRACE(expected);
        EXPECT_EQ(expected, Written(dir.file("w.log"), write));
    }
}

TEST(LogWriters, BufferFlush) {
    zkqtest::TempDir dir;
    const std::string path = dir.file("w.log"), a1023(1023, 'a'), b1003(1003, 'b'), c1500(1500, 'c');
    OrnEhLogFile log(path.c_str(), OrnEhLogUnlimited, 0, "--", 10, 1);
    ASSERT_EQ(log.Open(), 1);
    log << a1023.c_str();
    EXPECT_EQ(ReadFile(path), "") << "1023 bytes stay in the buffer";
    log << "\n";
    EXPECT_EQ(ReadFile(path), a1023);
    log.SetBlanks(20);
    log << b1003.c_str();  // 1 + 1003 bytes would fit, but not with the 20 blanks
    EXPECT_EQ(ReadFile(path), a1023 + "\n");
    log << c1500.c_str();  // straight to the file behind what was held
    const std::string written = a1023 + "\n" + std::string(20, ' ') + b1003 + c1500;
    EXPECT_EQ(ReadFile(path), written);
    log.Close();
    log << "dropped while closed";
    log.NewLine(1);
    EXPECT_EQ(ReadFile(path), written + "--\r\n");
}

TEST(LogMemoryMode, Collection) {
    zkqtest::TempDir dir;
    const std::string path = dir.file("w.log");
    OrnEhLogFile log(path.c_str(), OrnEhLogUnlimited, 0, "--", 10, 1);
    ASSERT_EQ(log.Open(), 1);
    log.SetBlanks(2), log << "a";
    EXPECT_EQ(log.SetMemoryMode(1), 1);
    log << "old";
    EXPECT_EQ(log.SetMemoryMode(1), 1);  // a new memory text starts empty
    log << "m" << "\r\n" << "n" << static_cast<short>(-5);
    EXPECT_STREQ(log.GetMemoryText(), "m\r\nn-5");
    EXPECT_EQ(log.SetMemoryMode(0), 1);
    EXPECT_EQ(log.GetMemoryText(), nullptr);
    log << "b", log.Close();  // not indented: memory mode left the line state alone
    EXPECT_EQ(ReadFile(path), "  ab--\r\n");
}
