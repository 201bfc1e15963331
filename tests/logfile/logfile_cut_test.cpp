// The cut of a limited file: where the search for the first separator line
// ends (the same as reading pieces of separator length + 2 bytes, whatever
// the size of the reads), holes, and a truncation by another program racing
// the cut.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <random>
#include <thread>
#include <unistd.h>

#include "logfile/cut_scan.h"
#include "logfile/logfile_helpers.h"

namespace lf = orneh::logfile;
using logtest::Record;
using zkqtest::ReadFile;
using zkqtest::WriteFile;

namespace {

// The historic rule, piece by piece, as the reference.
std::size_t PieceByPieceCut(const std::string& file, const std::string& separator) {
    const std::size_t piece = separator.size() + 2;
    std::size_t position = 0;
    bool skipping = false;
    for (;;) {
        const std::size_t got = std::min(piece, file.size() - position);
        if (got == 0) return position;
        const std::size_t lineFeed = file.find('\n', position);
        std::size_t length = got;
        if (lineFeed != std::string::npos && lineFeed < position + got) {
            if (got < piece) return position + got;
            length = lineFeed - position + 1;
        }
        position += length;
        const bool endsLine = file[position - 1] == '\n';
        if (skipping) {
            skipping = !endsLine;
        } else if (length == piece) {
            if (!endsLine) skipping = true;
            else if (file.compare(position - piece, separator.size(), separator) == 0) return position;
        }
    }
}

// A file in memory; runs of NUL bytes count as holes.
class StringSource final : public lf::CutSource {
public:
    explicit StringSource(const std::string& bytes) : m_bytes(bytes) {}
    long ReadAt(std::uint64_t offset, char* out, std::size_t size) override {
        if (offset >= m_bytes.size()) return 0;
        return static_cast<long>(m_bytes.copy(out, size, static_cast<std::size_t>(offset)));
    }
    bool NextData(std::uint64_t offset, std::uint64_t* next) override {
        const std::size_t found = m_bytes.find_first_not_of('\0', static_cast<std::size_t>(offset));
        *next = found == std::string::npos ? m_bytes.size() : found;
        return true;
    }

private:
    const std::string& m_bytes;
};

// Lines around the separator's length: separator lines and look-alikes,
// short and long lines, runs of zeros, and an unfinished last line.
std::string RandomLog(std::mt19937& random, const std::string& separator) {
    const std::size_t piece = separator.size() + 2;
    auto pick = [&](std::size_t n) { return static_cast<std::size_t>(random() % n); };
    std::string file;
    const std::size_t lines = pick(12);
    for (std::size_t i = 0; i < lines; ++i) {
        switch (pick(7)) {
            case 0: file += separator + "\r\n"; break;
            case 1: file += separator + "x\r\n"; break;
            case 2: file += separator.substr(0, separator.size() / 2) + std::string(piece - separator.size() / 2 - 1, 'y') + "\n"; break;
            case 3: file += std::string(pick(4 * piece), 'a') + "\r\n"; break;
            case 4: file += std::string(pick(5 * piece), '\0'); break;
            case 5: file += separator + "\n"; break;
            default: file += std::string(piece - 1 + pick(3), 'b') + "\n"; break;
        }
    }
    if (pick(2)) file += std::string(pick(piece + 2), 'z');
    return file;
}

}  // namespace

TEST(CutScan, AgreesWithPieceByPieceReading) {
    std::mt19937 random(20261207);
    const std::string separators[] = {"--", "", std::string(68, '*'), "a\nb"};
    for (const std::string& separator : separators) {
        const std::size_t piece = separator.size() + 2;
        for (int trial = 0; trial < 400; ++trial) {
            const std::string file = RandomLog(random, separator);
            const std::size_t expected = PieceByPieceCut(file, separator);
            for (std::size_t capacity : {2 * piece, 2 * piece + 1, 3 * piece + 7, std::size_t(4096)}) {
                std::string window(capacity, '\0');
                lf::CutWindow w{&window[0], capacity, 0, 0, false};
                StringSource source(file);
                std::uint64_t cut = 0;
                ASSERT_TRUE(lf::FindCutPoint(source, separator.data(), separator.size(), w, &cut));
                ASSERT_EQ(cut, expected) << "separator of " << separator.size() << ", window " << capacity << ", trial " << trial;
                ASSERT_TRUE(cut >= w.start && cut <= w.start + w.used) << "the window holds the bytes behind the cut";
                ASSERT_EQ(std::string(w.data + (cut - w.start), w.start + w.used - cut), file.substr(cut, w.start + w.used - cut));
            }
        }
    }
}

// A sparse file far above its limit without a line feed: emptied; the hole
// is skipped rather than read.
TEST(LogCut, SparseFile) {
    zkqtest::TempDir dir;
    const std::string path = dir.file("sparse.log");
    WriteFile(path, "start");
    ASSERT_EQ(::truncate(path.c_str(), 16LL << 30), 0);
    OrnEhLogFile log(path.c_str(), OrnEhLogLimited, 1, "--", 10, 1);
    log.Open(), log << "new", log.Close();
    EXPECT_EQ(ReadFile(path), Record("new"));
}

// Another program truncates the file (": > file", copytruncate) without the
// writer lock while a cut moves it: the file never grows, never gets zeros,
// and the record lands behind what is left. Rounds go on until the
// truncation fell into the cut a few times.
TEST(LogCut, RacingTruncation) {
    using Clock = std::chrono::steady_clock;
    zkqtest::TempDir dir(::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp");
    const std::string path = dir.file("race.log"), first = Record(std::string(1000, 'f') + "\r\n");
    std::string tail;
    for (int i = 0; tail.size() < (4u << 20); ++i) tail += Record("record " + std::to_string(i) + std::string(i % 200, 'r') + "\r\n");
    const std::string whole = first + tail, added = Record("new");
    WriteFile(path, whole);
    const auto start = Clock::now();
    OrnEhLogFile(path.c_str(), OrnEhLogLimited, 1, "--", 10, 1).Open();  // destroyed while open: cut, no record
    const long cutMicros = std::max<long>(1, std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start).count());
    ASSERT_TRUE(ReadFile(path) == tail);

    // The delays are drawn below the latest that still fell into a cut: on
    // a busy machine the truncating thread may start late, and then every
    // truncation would otherwise come after the cut.
    std::mt19937 random(7);
    long latest = cutMicros * 3 / 2;
    int hits = 0;
    for (int round = 0; round < 300 && hits < 8; ++round) {
        WriteFile(path, whole);
        const std::chrono::microseconds delay(random() % static_cast<unsigned long>(latest + 1));
        const auto opened = Clock::now().time_since_epoch().count();
        std::atomic<Clock::rep> truncatedAt{0};
        std::thread truncator([&] {  // as another program would, without the writer lock
            std::this_thread::sleep_for(delay);
            ::truncate(path.c_str(), 0);
            truncatedAt = Clock::now().time_since_epoch().count();
        });
        OrnEhLogFile log(path.c_str(), OrnEhLogLimited, 1, "--", 10, 1);
        log.Open();
        const auto cutDone = Clock::now().time_since_epoch().count();
        log << "new", log.Close();
        truncator.join();

        const std::string content = ReadFile(path);
        ASSERT_EQ(content.find('\0'), std::string::npos) << "zeros in the file, round " << round;
        ASSERT_LE(content.size(), tail.size() + added.size()) << "the file grew, round " << round;
        if (truncatedAt < cutDone) {
            ASSERT_TRUE(content.size() >= added.size() && content.compare(content.size() - added.size(), added.size(), added) == 0)
                << "the record is missing, round " << round;
        }
        if (truncatedAt >= opened && truncatedAt < cutDone) ++hits;
        if (truncatedAt >= cutDone) latest = std::max<long>(0, delay.count() - 1);
    }
    EXPECT_GT(hits, 0) << "the truncation never fell into a cut";
}
