#include <gtest/gtest.h>

#include <string>

#include "OrnEhLogFile.h"
#include "OrnEhParam.h"
#include "platform/alloc.h"
#include "support/test_util.h"

namespace {

// Writes list into a fresh log file and returns the file's bytes.
std::string LogBytes(const OrnEhParam& list) {
    zkqtest::TempDir dir;
    std::string path = dir.file("param.log");
    OrnEhLogFile log(path.c_str(), OrnEhLogUnlimited, 0, "----", 0, 1);
    EXPECT_EQ(1, log.Open());
    list.Log(log);
    log.Close();
    return zkqtest::ReadFile(path);
}

TEST(OrnEhParamLogTest, OneLinePerSlotEmptySlotsIncluded) {
    OrnEhParam list(3);
    list.SetParam("a.txt");
    list.SetParam(-7L);
    EXPECT_EQ(
        "Parameter: a.txt\r\n"
        "Parameter: -7\r\n"
        "Parameter: \r\n"
        "----\r\n",
        LogBytes(list));
}

TEST(OrnEhParamLogTest, TextsAreWrittenAsStored) {
    OrnEhParam list(2);
    list.SetParam("\xDC" "berschrift");
    list.SetParam("two\r\nlines");
    EXPECT_EQ(
        "Parameter: \xDC" "berschrift\r\n"
        "Parameter: two\r\nlines\r\n"
        "----\r\n",
        LogBytes(list));
}

TEST(OrnEhParamLogTest, CopyLogsTheSame) {
    OrnEhParam list(2);
    list.SetParam('x');
    OrnEhParam copy(list);
    EXPECT_EQ(LogBytes(list), LogBytes(copy));
}

TEST(OrnEhParamLogTest, NothingWithoutSlots) {
    EXPECT_EQ("----\r\n", LogBytes(OrnEhParam(0)));

    namespace at = orneh::platform::alloctest;
    zkqtest::AllocFailureReset reset;
    at::FailNth(1);
    OrnEhParam noList(2);
    at::FailNth(2);
    OrnEhParam noArray(2);
    at::Reset();
    EXPECT_EQ("----\r\n", LogBytes(noList));
    EXPECT_EQ("----\r\n", LogBytes(noArray));
}

}  // namespace
