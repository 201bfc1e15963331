// Threads of one process appending to one file: every record arrives whole,
// and no thread meets the wait-and-retry path meant for other processes.
#include <atomic>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "OrnEhLogFile.h"
#include "platform/file_registry.h"
#include "support/test_util.h"

namespace {

const char kSep[] = "==== end of record ====";

// Several lines naming the thread and the record; some records are longer
// than the write buffer.
std::string RecordText(int thread, int index) {
    std::string text;
    for (int line = 0; line < 12 + (index % 3) * 10; ++line) {
        text += "T" + std::to_string(thread) + "R" + std::to_string(index) + " line " + std::to_string(line) + " " +
                std::string(40, static_cast<char>('a' + thread)) + "\r\n";
    }
    return text;
}

// Runs the writers; returns the records found in the file, or stops the test
// at the first record that is mixed or cut.
void RunWriters(const std::string& path, OrnEhLogfileStyle style, unsigned long limit, int threads, int records,
                std::set<std::string>* found) {
    std::atomic<int> failedOpens{0};
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t) {
        workers.emplace_back([&, t] {
            // One attempt with a long delay: meeting the retry path even once
            // would lose the record.
            OrnEhLogFile log(path.c_str(), style, limit, kSep, 2000, 1);
            for (int i = 0; i < records; ++i) {
                if (!log.Open()) {
                    ++failedOpens;
                    continue;
                }
                const std::string text = RecordText(t, i);
                for (std::size_t at = 0; at < text.size();) {  // line by line
                    std::size_t end = text.find('\n', at) + 1;
                    log << text.substr(at, end - at).c_str();
                    at = end;
                }
                log.Close();
            }
        });
    }
    for (auto& worker : workers) worker.join();
    EXPECT_EQ(failedOpens.load(), 0);
    EXPECT_EQ(orneh::platform::HeldFileCount(), 0u);

    const std::string content = zkqtest::ReadFile(path);
    const std::string end = std::string(kSep) + "\r\n";
    for (std::size_t start = 0; start < content.size();) {
        std::size_t stop = content.find(end, start);
        ASSERT_NE(stop, std::string::npos) << "bytes without a separator at the end";
        const std::string text = content.substr(start, stop - start);
        const std::size_t r = text.find('R');
        ASSERT_NE(r, std::string::npos);
        ASSERT_EQ(text, RecordText(std::stoi(text.substr(1, r - 1)), std::stoi(text.substr(r + 1))))
            << "a record is mixed or cut";
        EXPECT_TRUE(found->insert(text.substr(0, text.find(' '))).second) << "a record came twice";
        start = stop + end.size();
    }
}

}  // namespace

TEST(LogThreads, ConcurrentWritersLoseAndMixNothing) {
    zkqtest::TempDir dir;
    std::set<std::string> found;
    RunWriters(dir.file("shared.log"), OrnEhLogUnlimited, 0, 8, 30, &found);
    EXPECT_EQ(found.size(), 8u * 30u);
}

TEST(LogThreads, LimitedFileSharedByThreadsStaysWhole) {
    zkqtest::TempDir dir;
    std::set<std::string> found;
    RunWriters(dir.file("limited.log"), OrnEhLogLimited, 8000, 4, 25, &found);
    EXPECT_GT(found.size(), 0u);
    EXPECT_LT(found.size(), 4u * 25u) << "records were cut";
}
