// Opening and closing log files: separator lines, the cut of the oldest record
// above the limit, one writer at a time, the standard log file's search and
// the names a report's open tries, the name queries, allocation failure.
#include <algorithm>
#include <climits>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <memory>
#include <sched.h>
#include <thread>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include "logfile/logfile_helpers.h"
#include "logfile/logfile_state.h"
#include "platform/file.h"
#include "support/child_process.h"

using namespace logtest;
using namespace zkqtest;

namespace {

// Writes content, opens with the limit, writes "new", closes; the file.
std::string CutOnce(const std::string& path, const std::string& content, unsigned long limit, const char* separator = "--", int style = 1) {
    WriteFile(path, content);
    OrnEhLogFile log(path.c_str(), static_cast<OrnEhLogfileStyle>(style), limit, separator, 10, 1);
    log.Open(), log << "new", log.Close();
    return ReadFile(path);
}

TEST(LogOpenClose, SeparatorLines) {
    zkqtest::TempDir dir;
    const std::string path = dir.file("a.log");
    WriteFile(path, "old\r\n");
    OrnEhLogFile log(path.c_str(), OrnEhLogUnlimited, 0, "=====", 10, 1);
    log.SetBlanks(4);
    ASSERT_EQ(log.Open(), 1);  // writes nothing
    log << "one\r\n";
    ASSERT_EQ(log.Open(), 1);  // closes first: one separator between
    log << "two";
    log.Close();
    EXPECT_EQ(ReadFile(path), "old\r\none\r\n=====\r\ntwo=====\r\n") << "Open resets the indentation";
    // A separator of up to 1024 characters is kept; without one (too long, or
    // none given) Close writes CR LF only and a limited file is never cut.
    const std::string longest(1024, '-'), tooLong(1025, '-');
    for (const char* separator : {longest.c_str(), tooLong.c_str(), static_cast<const char*>(nullptr)}) {
        WriteFile(path, "");
        OrnEhLogFile limited(path.c_str(), OrnEhLogLimited, 1, separator, 10, 1);
        for (const char* text : {"a", ""}) limited.Open(), limited << text, limited.Close();
        EXPECT_EQ(ReadFile(path), separator == longest.c_str() ? longest + "\r\n" : "a\r\n\r\n");
    }
    // An application's own file has no fallback.
    zkqtest::ScopedCwd cwd(dir.path());
    OrnEhLogFile missing(dir.file("missing/a.log").c_str(), OrnEhLogUnlimited, 0, "#", 1000, 5);
    OrnEhLogFile unnamed(nullptr, OrnEhLogUnlimited, 0, "#", 10, 5);
    const Stopwatch watch;
    EXPECT_EQ(missing.Open(), 0);
    EXPECT_LT(watch.Ms(), 3000) << "an error other than a held file ends the attempts (five would take 4 s)";
    EXPECT_EQ(unnamed.Open() + unnamed.Open("", OrnEhLogLimited, 1) + unnamed.Open(nullptr, OrnEhLogLimited, 1), 0);
    EXPECT_FALSE(zkqtest::FileExists(dir.file("FEHLER.LOG")));
}

TEST(LogCut, OldestRecord) {
    zkqtest::TempDir dir;
    const std::string rest = Record("second\r\n") + Record("third\r\n"), all = Record("first line\r\nmore\r\n") + rest;
    // Lines that only look like a separator line, and the tail of a long line.
    const std::string lookalikes = "--\n--x\r\nxx--\r\n-\r\nxxxx--\r\n" + std::string(500, 'y') + "--\r\n";
    // Content, limit, separator, style, and the file after an open, "new" and a close.
    const std::tuple<std::string, unsigned long, const char*, int, std::string> cases[] = {
        {all, all.size() - 1, "--", 1, rest + Record("new")},  // one byte above: exactly the first record
        {all, all.size(), "--", 1, all + Record("new")},       // at the limit: nothing
        {all, 1, "--", 0, all + Record("new")},                // only the limited style cuts
        {all, 1, "--", 2, all + Record("new")},
        {"no separator\r\n-- x\r\nshort", 10, "--", 1, Record("new")},  // emptied
        {lookalikes + Record("") + rest, 1, "--", 1, rest + Record("new")},
        {Record("ab\r\n") + rest, 1, "--", 1, rest + Record("new")},  // read back to behind the short line
        {"abc\r\n\r\nkept\r\n", 1, "", 1, "kept\r\nnew\r\n"},          // empty separator: a line of CR LF
    };
    for (const auto& [content, limit, separator, style, expected] : cases) {
        SCOPED_TRACE(content.substr(0, 24) + " limit " + std::to_string(limit) + " style " + std::to_string(style));
        EXPECT_EQ(CutOnce(dir.file("cut.log"), content, limit, separator, style), expected);
    }
    // A large tail moves in chunks (LogCut.RacingTruncation); a failure while cutting loses no byte not moved yet.
    namespace ft = orneh::platform::filetest;
    const std::string path = dir.file("cut.log"), first = Record(std::string(100000, 'f') + "\r\n");
    std::string tail;
    for (int i = 0; tail.size() < 3 * orneh::logfile::kCutBufferSize; ++i) tail += Record("tail " + std::to_string(i) + std::string(i % 300, 't') + "\r\n");
    const std::string whole = first + tail;
    ft::FailNthRead(1);
    EXPECT_TRUE(CutOnce(path, whole, 1) == whole + Record("new")) << "read failed while searching";
    ft::FailNthWrite(2);  // the second chunk: the file keeps its length
    const std::string after = CutOnce(path, whole, 1);
    ft::Reset();
    const std::size_t firstMove = orneh::logfile::kCutBufferSize - first.size();  // read by the search already
    EXPECT_TRUE(after == tail.substr(0, firstMove) + whole.substr(firstMove) + Record("new")) << "write failed while moving";
}

TEST(LogLock, OneWriter) {
    zkqtest::TempDir dir;
    const std::string path = dir.file("shared.log");
    OrnEhLogFile waiting(path.c_str(), OrnEhLogUnlimited, 0, "#", 40, 3);
    {
        OrnEhLogFile holder(path.c_str(), OrnEhLogUnlimited, 0, "#", 10, 1);
        ASSERT_EQ(holder.Open(), 1);
        holder << "unfinished\r\n";
        // Another process: attempts, delay, and the least and most time Open may
        // take; every attempt is followed by its wait, and 0 or 1 attempts make one.
        const zkqtest::ChildResult waiter = zkqtest::RunInChild([&] {
            const long rows[][4] = {{4, 60, 240, 2000}, {0, 500, 500, 999}, {1, 500, 500, 999}, {70000, 0, 0, 60000}};
            for (int row = 0; row < 4; ++row) {
                const auto& [attempts, delay, least, most] = rows[row];
                OrnEhLogFile log(path.c_str(), OrnEhLogUnlimited, 0, "#", static_cast<unsigned long>(delay), static_cast<unsigned long>(attempts));
                const Stopwatch watch;
                if (log.Open() || watch.Ms() < least || watch.Ms() > most) ::_exit(1 + row);
            }
        });
        EXPECT_TRUE(waiter.ExitedWith(0)) << "row " << waiter.exitCode - 1;
        // A writer of this process waits as long as all attempts together.
        const Stopwatch watch;
        EXPECT_EQ(waiting.Open(), 0);
        EXPECT_GE(watch.Ms(), 3 * 40);
    }  // destroyed while open: the file is free again, without record or separator
    ASSERT_EQ(waiting.Open(), 1);
    waiting.Close();
    EXPECT_EQ(ReadFile(path), "#\r\n");
    // The wait for another process ends as soon as it lets go, not a whole delay later.
    auto holder = std::make_unique<ForeignHolder>(path);
    ASSERT_TRUE(holder->holds());
    std::thread release([&] { std::this_thread::sleep_for(std::chrono::milliseconds(100)), holder.reset(); });
    OrnEhLogFile patient(path.c_str(), OrnEhLogUnlimited, 0, "#", 5000, 2);
    const Stopwatch watch;
    EXPECT_EQ(patient.Open(), 1);
    EXPECT_LT(watch.Ms(), 4000);
    release.join();
    patient.Close();
}

// Points TMP, TEMP and TMPDIR at directories the test controls (null: unset).
struct ScopedTempVariables {
    ScopedTempVariables(const char* tmp, const char* temp, const char* tmpdir)
        : m_tmp("TMP", tmp), m_temp("TEMP", temp), m_tmpdir("TMPDIR", tmpdir) {}
    zkqtest::ScopedEnv m_tmp, m_temp, m_tmpdir;
};

class StandardFile : public ::testing::Test {
protected:
    void SetUp() override {
        if (zkqtest::FileExists("/tmp/ZKFEHLER.LOG")) GTEST_SKIP() << "/tmp/ZKFEHLER.LOG takes part in the search";
    }
    zkqtest::TempDir tmp, temp, tmpdir, cwdDir;
};

TEST_F(StandardFile, NameOrder) {
    ScopedTempVariables vars(tmp.path().c_str(), temp.path().c_str(), tmpdir.path().c_str());
    zkqtest::ScopedCwd cwd(cwdDir.path());
    const std::string zk = tmp.file("ZKFEHLER.LOG"), app = cwdDir.file("app.log"), configured = cwdDir.file("c.log");
    const std::string two = "a\r\n" + StandardEnd() + "b\r\n" + StandardEnd(), cut = "\r\n\r\nb\r\n" + StandardEnd() + StandardEnd();
    OrnEhLogFile log;
    const auto reportsOpen = [&](const std::string& preferred, OrnEhLogfileStyle style) {
        EXPECT_EQ(log.Open(preferred.c_str(), style, two.size() - 1), 1);
        log.Close();
    };
    ASSERT_EQ(log.Open(), 1);  // no ZKFEHLER.LOG anywhere: FEHLER.LOG, created
    log << "record\r\n", log.Close();
    EXPECT_EQ(ReadFile(cwdDir.file("FEHLER.LOG")), "record\r\n" + StandardEnd());
    EXPECT_FALSE(zkqtest::FileExists(zk)) << "the search never creates ZKFEHLER.LOG";
    WriteFile(zk, "");
    reportsOpen(app, OrnEhLogUnlimited);  // the report's name before the search
    reportsOpen("", OrnEhLogUnlimited);   // a ZKFEHLER.LOG that appeared is found
    EXPECT_EQ(ReadFile(app) + "|" + ReadFile(zk), StandardEnd() + "|" + StandardEnd());
    // A configured name before the report's, cut with the stored style and limit.
    WriteFile(configured, two);
    log.SetFileName(configured.c_str()), log.SetStyle(OrnEhLogLimited), log.SetMaxSize(two.size() - 1);
    reportsOpen(app, OrnEhLogUnlimited);
    EXPECT_EQ(ReadFile(configured), cut);
    // When it cannot be opened, the report's name, cut with the style and limit passed...
    log.SetFileName(cwdDir.file("missing/x.log").c_str());
    for (OrnEhLogfileStyle style : {OrnEhLogUnlimited, OrnEhLogLimited}) {
        WriteFile(app, two);
        reportsOpen(app, style);
        EXPECT_EQ(ReadFile(app), style == OrnEhLogLimited ? cut : two + StandardEnd()) << style;
    }
    reportsOpen(cwdDir.file("missing/y.log"), OrnEhLogUnlimited);  // ...and when neither opens, the search
    EXPECT_EQ(ReadFile(zk), StandardEnd() + StandardEnd());
}

TEST_F(StandardFile, DirectoryOrder) {
    // Candidates of 261 bytes (with the zero) are rejected, of 260 taken; one
    // held by another process beyond ten attempts of 100 ms counts as absent.
    const std::string tooLong = tmp.path() + "/" + std::string(247 - tmp.path().size() - 1, 'd');
    const std::string longest = temp.path() + "/" + std::string(246 - temp.path().size() - 1, 'd');
    const std::string held = tmpdir.file("held"), slashed = temp.path() + "/";
    for (const std::string& d : {tmp.path(), temp.path(), tmpdir.path(), tooLong, longest, held}) {
        ::mkdir(d.c_str(), 0777);
        WriteFile(d + "/ZKFEHLER.LOG", "");
    }
    ForeignHolder holder(held + "/ZKFEHLER.LOG");
    ASSERT_TRUE(holder.holds());
    const char* const rows[][4] = {{tmp.path().c_str(), temp.path().c_str(), tmpdir.path().c_str(), tmp.path().c_str()},
                                   {cwdDir.path().c_str(), slashed.c_str(), tmpdir.path().c_str(), temp.path().c_str()},
                                   {nullptr, nullptr, tmpdir.path().c_str(), tmpdir.path().c_str()},
                                   {tooLong.c_str(), longest.c_str(), nullptr, longest.c_str()},
                                   {held.c_str(), temp.path().c_str(), nullptr, temp.path().c_str()}};
    const Stopwatch watch;
    for (const auto& [tmpVariable, tempVariable, tmpdirVariable, found] : rows) {
        ScopedTempVariables vars(tmpVariable, tempVariable, tmpdirVariable);
        char name[512] = "";  // the name the search gives a new standard log file
        OrnEhLogFile().GetFullPath(name, sizeof name);
        EXPECT_EQ(std::string(name), std::string(found) + "/ZKFEHLER.LOG");
    }
    EXPECT_GE(watch.Ms(), 1000) << "the held candidate is tried ten times, 100 ms apart";
}

// /tmp, the last candidate, seen through a private /tmp of a child process
// so that the real one is neither read nor touched.
TEST(StandardFileFallback, Tmp) {
    const zkqtest::ChildResult child = zkqtest::RunInChild([] {
        if (::unshare(CLONE_NEWNS) != 0 || ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            ::mount("none", "/tmp", "tmpfs", 0, nullptr) != 0) {
            ::_exit(2);
        }
        WriteFile("/tmp/ZKFEHLER.LOG", "");
        ScopedTempVariables vars("/nonexistent-tmp", nullptr, nullptr);
        OrnEhLogFile log;
        log.Open(), log << "x\r\n", log.Close();
        ::_exit(ReadFile("/tmp/ZKFEHLER.LOG") == "x\r\n" + StandardEnd() ? 0 : 1);
    });
    if (child.ExitedWith(2)) GTEST_SKIP() << "no private mount namespace here";
    EXPECT_TRUE(child.ExitedWith(0)) << child;
}

TEST(LogNames, Queries) {
    zkqtest::TempDir dir;
    zkqtest::ScopedCwd cwd(dir.path());
    char real[PATH_MAX];
    ASSERT_NE(::realpath(dir.path().c_str(), real), nullptr);
    const std::string dotted = std::string(real) + "/./err.log", z(PATH_MAX, '\0');
    // The whole buffer of exactly size bytes (writing beyond shows under ASan), 'x' before the call.
    auto query = [](bool fullPath, const char* name, std::size_t size) {
        std::unique_ptr<char[]> out(new char[size]);
        std::fill_n(out.get(), size, 'x');
        OrnEhLogFile log(name, OrnEhLogUnlimited, 0, "#", 10, 1);
        fullPath ? log.GetFullPath(out.get(), size) : log.GetDirectory(out.get(), size);
        return std::string(out.get(), size);
    };
    // Each fits, or the buffer is only zeroed; without a name it is left alone.
    EXPECT_EQ(query(false, "/var/log/app/err.log", 13) + query(false, "/var/log/app/err.log", 12) + query(false, "err.log", 2),
              "/var/log/app" + z.substr(0, 15));
    EXPECT_EQ(query(true, "/var/log/err.log", 16) + query(true, nullptr, 4) + query(false, nullptr, 4), z.substr(0, 16) + "xxxxxxxx");
    // A name beginning with a dot gets the current directory in front, if it fits.
    EXPECT_EQ(query(true, "./err.log", dotted.size() + 1) + query(true, "./err.log", dotted.size()),
              dotted + z.substr(0, 1) + real + z.substr(0, dotted.size() - std::strlen(real)));
}

// Allocation failure at every step of an application's log file (open with
// cut, memory text, writing, close) and of the standard log file's search.
TEST(LogAlloc, AllocationFailure) {
    zkqtest::TempDir dir;
    const std::string path = dir.file("a.log"), original = Record(std::string(70000, 'f') + "\r\n") + Record("b\r\n");
    const std::string part = "<" + std::string(1500, 'm'), text = part + std::string(1500, 'n') + ">";
    // State (nothing happens), name (nothing opens), separator (no cut, Close
    // writes CR LF only), table entry and move chunk (no difference), memory
    // text (the text goes into the file), its growth (the second part is lost).
    EveryAllocationFails([&] {
        WriteFile(path, original);
        OrnEhLogFile log(path.c_str(), OrnEhLogLimited, 100, "--", 10, 1);
        log.Open(), log.SetMemoryMode(1), log << part.c_str() << text.substr(part.size()).c_str();
        const std::string memory = log.GetMemoryText() ? log.GetMemoryText() : "(none)";
        log.SetMemoryMode(0), log << "new", log.Close();
        return memory + "|" + ReadFile(path);
    }, {"(none)|" + original, text + "|" + original, text + "|" + original + "new\r\n",
       "(none)|" + Record("b\r\n") + text + Record("new"), part + "|" + Record("b\r\n") + Record("new")},
       text + "|" + Record("b\r\n") + Record("new"), 7);

    ScopedTempVariables vars(dir.path().c_str(), nullptr, nullptr);
    zkqtest::ScopedCwd cwd(dir.path());
    const std::string full = "r\r\n" + StandardEnd();
    // State, search result, separator, table entries of the probe and the open.
    EveryAllocationFails([&] {
        WriteFile(dir.file("ZKFEHLER.LOG"), "");
        ::unlink(dir.file("FEHLER.LOG").c_str());
        OrnEhLogFile log;
        log.Open(), log << "r\r\n", log.Close();
        return ReadFile(dir.file("ZKFEHLER.LOG")) + ReadFile(dir.file("FEHLER.LOG"));
    }, {"", "r\r\n\r\n\r\n\r\n"}, full, 5);
}

// What body, run in a child process, wrote to stderr.
std::string StderrOf(const std::function<void()>& body) {
    zkqtest::TempDir out;
    const std::string path = out.file("stderr");
    const zkqtest::ChildResult result = zkqtest::RunInChild([&] {
        ::dup2(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), 2);
        body();
    });
    EXPECT_TRUE(result.ExitedWith(0)) << result;
    return ReadFile(path);
}

void LimitFileSize(rlim_t size) {
    struct rlimit limit;
    ::getrlimit(RLIMIT_FSIZE, &limit);
    limit.rlim_cur = size == RLIM_INFINITY ? limit.rlim_max : size;
    ::setrlimit(RLIMIT_FSIZE, &limit);
}

// A write or sync that fails: no torn entry stays in front of the next one,
// the standard log file takes the entry on to its next candidate (else it
// is lost), and the failure is told once on stderr, not per record. The
// process's file size limit stands in for a full disk: a short write, then
// EFBIG.
TEST_F(StandardFile, FailedWritesAndSyncs) {
    ScopedTempVariables vars(tmp.file("none").c_str(), nullptr, nullptr);
    zkqtest::ScopedCwd cwd(cwdDir.path());
    const std::string configured = cwdDir.file("app.log"), fallback = cwdDir.file("FEHLER.LOG");
    std::string records[10];
    for (int i = 1; i <= 9; ++i) records[i] = "record " + std::to_string(i) + std::string(1000, '.') + "\r\n";
    const auto entries = [&](int first, int last) {
        std::string text;
        for (int i = first; i <= last; ++i) text += records[i] + StandardEnd();
        return text;
    };
    for (bool fallbackUsable : {true, false}) {
        ::unlink(configured.c_str()), ::unlink(fallback.c_str()), ::rmdir(fallback.c_str());
        if (!fallbackUsable) ::mkdir(fallback.c_str(), 0700);
        const std::string told = StderrOf([&] {
            ::signal(SIGXFSZ, SIG_IGN);
            OrnEhLogFile log;
            log.SetFileName(configured.c_str()), log.SetStyle(OrnEhLogUnlimited);
            for (int i = 1; i <= 9; ++i) {
                if (i == 4) LimitFileSize(entries(1, 3).size() + 500);
                if (i == 7) LimitFileSize(RLIM_INFINITY);
                log.Open(), log << records[i].c_str(), log.Close();
            }
        });
        EXPECT_EQ(ReadFile(configured), entries(1, 3) + entries(7, 9));
        EXPECT_EQ(ReadFile(fallback), fallbackUsable ? entries(4, 6) : "");  // a directory when not usable
        EXPECT_EQ(std::count(told.begin(), told.end(), '\n'), 1) << told;
        EXPECT_TRUE(Contains(told, {"error log " + configured + ": File too large; ",
                                    fallbackUsable ? "the record went to FEHLER.LOG" : "the record is lost"}));
    }
    // A sync that fails, and no place at all (the working directory is gone).
    const std::string sync = StderrOf([&] {
        orneh::platform::filetest::FailNthSync(1);
        OrnEhLogFile log(configured.c_str(), OrnEhLogUnlimited, 0, "--", 10, 1);
        log.Open(), log << "synced?", log.Close();
    });
    EXPECT_TRUE(Contains(sync, {configured + ": Input/output error; the record may not be on disk\n"})) << sync;
    const std::string nowhere = StderrOf([&] {
        ::mkdir(cwdDir.file("gone").c_str(), 0700), ::chdir(cwdDir.file("gone").c_str()), ::rmdir(cwdDir.file("gone").c_str());
        OrnEhLogFile log;
        log.SetFileName(cwdDir.file("missing/app.log").c_str());
        for (int i = 0; i < 3; ++i) EXPECT_EQ(log.Open(), 0), log << "r", log.Close();
    });
    EXPECT_EQ(std::count(nowhere.begin(), nowhere.end(), '\n'), 1) << nowhere;
    EXPECT_TRUE(Contains(nowhere, {"no error log could be opened; the record is lost"})) << nowhere;
}

}  // namespace
