// Threads of one process appending to one file: every record arrives whole,
// and no thread meets the wait-and-retry path meant for other processes.
#include <atomic>
#include <thread>
#include <vector>

#include "logfile/logfile_helpers.h"
#include "platform/file_registry.h"

namespace {

// One line naming the thread and the record; some records outgrow the write buffer.
std::string Line(int thread, int index, int line) {
    return "T" + std::to_string(thread) + "R" + std::to_string(index) + " " + std::to_string(line) +
           std::string(40, static_cast<char>('a' + thread)) + "\r\n";
}
int LineCount(int index) { return 12 + (index % 3) * 10; }

// Runs the writers, each record written line by line; the records missing
// from the file, after checking that every record in it is whole and unique.
std::set<std::string> RunWriters(const std::string& path, OrnEhLogfileStyle style, unsigned long limit, int threads, int records) {
    std::set<std::string> missing;
    std::atomic<int> failedOpens{0};
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t) {
        for (int i = 0; i < records; ++i) {
            std::string text;
            for (int line = 0; line < LineCount(i); ++line) text += Line(t, i, line);
            missing.insert(text);
        }
        workers.emplace_back([&, t] {
            // One attempt with a long delay: meeting the retry path even once would lose the record.
            OrnEhLogFile log(path.c_str(), style, limit, "==== end of record ====", 2000, 1);
            for (int i = 0; i < records; ++i) {
                failedOpens += log.Open() ? 0 : 1;
                for (int line = 0; line < LineCount(i); ++line) log << Line(t, i, line).c_str();
                log.Close();
            }
        });
    }
    for (auto& worker : workers) worker.join();
    EXPECT_EQ(failedOpens.load(), 0);
    EXPECT_EQ(orneh::platform::HeldFileCount(), 0u);
    const std::string content = zkqtest::ReadFile(path), end = "==== end of record ====\r\n";
    for (std::size_t start = 0, stop = 0; stop != std::string::npos && start < content.size(); start = stop + end.size()) {
        stop = content.find(end, start);
        EXPECT_EQ(missing.erase(content.substr(start, stop - start)), 1u) << "a record mixed, cut or twice";
    }
    return missing;
}

}  // namespace

TEST(LogThreads, ConcurrentWriters) {
    zkqtest::TempDir dir;
    EXPECT_EQ(RunWriters(dir.file("shared.log"), OrnEhLogUnlimited, 0, 8, 30).size(), 0u);
    // A limited file cut while the others wait stays made of whole records.
    const std::size_t lost = RunWriters(dir.file("limited.log"), OrnEhLogLimited, 8000, 4, 25).size();
    EXPECT_TRUE(lost > 0 && lost < 4u * 25u) << lost;
}
