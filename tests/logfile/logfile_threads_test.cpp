// Threads of one process appending to one file: every record arrives whole,
// and no thread meets the sleep-and-retry path meant for other processes.
#include <atomic>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "OrnEhLogFile.h"
#include "logfile/logfile_helpers.h"
#include "platform/file_registry.h"
#include "support/test_util.h"

using zkqtest::ReadFile;
using zkqtest::TempDir;

namespace {

const char kSep[] = "==== end of record ====";

// The text of one record: several lines naming the thread and the record,
// long enough that some of it goes straight past the write buffer.
std::string RecordText(int thread, int index) {
    std::string id = "T" + std::to_string(thread) + "R" + std::to_string(index);
    std::string text;
    for (int line = 0; line < 12 + (index % 3) * 10; ++line) {
        text += id + " line " + std::to_string(line) + " " + std::string(40, static_cast<char>('a' + thread)) + "\r\n";
    }
    return text;
}

void WriteRecord(OrnEhLogFile& log, int thread, int index) {
    std::string text = RecordText(thread, index);
    // In pieces, as the record code writes: one line per call.
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start) + 1;
        log << text.substr(start, end - start).c_str();
        start = end;
    }
}

}  // namespace

TEST(LogThreads, ConcurrentWritersLoseAndMixNothing) {
    TempDir dir;
    const std::string path = dir.file("shared.log");
    const int kThreads = 8;
    const int kRecords = 30;
    std::atomic<int> failedOpens{0};

    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            // One attempt with a long delay: a single meeting of the retry
            // path would cost two seconds and lose the record.
            OrnEhLogFile log(path.c_str(), OrnEhLogUnlimited, 0, kSep, 2000, 1);
            for (int i = 0; i < kRecords; ++i) {
                if (!log.Open()) {
                    ++failedOpens;
                    continue;
                }
                WriteRecord(log, t, i);
                log.Close();
            }
        });
    }
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(failedOpens.load(), 0);
    EXPECT_EQ(orneh::platform::HeldFileCount(), 0u);

    // Split the file into records and check each one is whole and unique.
    const std::string content = ReadFile(path);
    const std::string end = std::string(kSep) + "\r\n";
    std::map<std::string, int> seen;
    std::size_t start = 0;
    int records = 0;
    while (start < content.size()) {
        std::size_t stop = content.find(end, start);
        ASSERT_NE(stop, std::string::npos) << "trailing bytes without a separator";
        std::string text = content.substr(start, stop - start);
        std::size_t r = text.find('R');
        ASSERT_NE(r, std::string::npos);
        int thread = std::stoi(text.substr(1, r - 1));
        int index = std::stoi(text.substr(r + 1));
        ASSERT_EQ(text, RecordText(thread, index)) << "record " << records << " is mixed or cut";
        EXPECT_EQ(++seen[text.substr(0, text.find(' '))], 1);
        ++records;
        start = stop + end.size();
    }
    EXPECT_EQ(records, kThreads * kRecords);
}

TEST(LogThreads, LimitedFileSharedByThreadsStaysConsistent) {
    TempDir dir;
    const std::string path = dir.file("limited.log");
    const int kThreads = 4;
    const int kRecords = 25;
    const unsigned long kLimit = 8000;
    std::atomic<int> failedOpens{0};

    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            OrnEhLogFile log(path.c_str(), OrnEhLogLimited, kLimit, kSep, 2000, 1);
            for (int i = 0; i < kRecords; ++i) {
                if (!log.Open()) {
                    ++failedOpens;
                    continue;
                }
                WriteRecord(log, t, i);
                log.Close();
            }
        });
    }
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(failedOpens.load(), 0);

    const std::string content = ReadFile(path);
    const std::string end = std::string(kSep) + "\r\n";
    // Records were cut (far less is left than was written), and every
    // record left is whole.
    EXPECT_LT(content.size(), kThreads * kRecords * RecordText(0, 0).size() / 2);
    std::size_t start = 0;
    while (start < content.size()) {
        std::size_t stop = content.find(end, start);
        ASSERT_NE(stop, std::string::npos);
        std::string text = content.substr(start, stop - start);
        std::size_t r = text.find('R');
        ASSERT_NE(r, std::string::npos);
        ASSERT_EQ(text, RecordText(std::stoi(text.substr(1, r - 1)), std::stoi(text.substr(r + 1))));
        start = stop + end.size();
    }
}
