// The error log's records in a real systemd-journald, started by the test
// program in a private mount namespace of its own (empty tmpfs on the
// journal's directories, so journald and journalctl see only what the test
// sends) and read back with `journalctl -o export`, which keeps every byte
// of a value: the fields of every kind, a chain grouped by its report, the
// last resorts' records with their stacks, the catalog, and a journal that
// is stopped, gone or switched off.
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <sched.h>
#include <sys/prctl.h>
#include <stdexcept>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include <gtest/gtest.h>

#include "OrnEhCLib.h"
#include "OrnEhMFC.h"
#include "OrnEhMemory.h"
#include "OrnEhSTL.h"
#include "OrnEhWin32.h"
#include "compat/codepage.h"
#include "journal/journal.h"
#include "runtime/admin.h"
#include "support/child_process.h"
#include "support/faulting.h"
#include "support/test_exceptions.h"
#include "support/test_util.h"

namespace {

using zkqtest::ReadFile;
using Entry = std::map<std::string, std::vector<std::string>>;  // a field's values

const char kSocket[] = "/run/systemd/journal/socket";
std::string g_namespace;  // "ok", or why there is none
pid_t g_journald = -1;

void StopJournald() {
    if (g_journald <= 0) return;
    ::kill(g_journald, SIGCONT);
    ::kill(g_journald, SIGTERM);
    ::waitpid(g_journald, nullptr, 0);
    g_journald = -1;
}

// A fresh journald in the namespace (made on the first call); "" or why not.
std::string StartJournald() {
    if (g_namespace.empty()) {
        g_namespace = "ok";
        if (::unshare(CLONE_NEWNS) != 0 || ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
            g_namespace = std::string("no private mount namespace: ") + std::strerror(errno);
        }
        struct stat info;
        for (const char* dir : {"/run/systemd/journal", "/run/log", "/var/log/journal"}) {
            if (g_namespace == "ok" && (std::strncmp(dir, "/run", 4) == 0 || ::stat(dir, &info) == 0) &&
                (::mkdir(dir, 0755), ::mount("tmpfs", dir, "tmpfs", 0, nullptr) != 0)) {
                g_namespace = std::string("no tmpfs on ") + dir;
            }
        }
    }
    if (g_namespace != "ok") return g_namespace;
    StopJournald();
    zkqtest::RunCommand("rm -rf /run/log/journal/* /var/log/journal/* " + std::string(kSocket));
    [[maybe_unused]] static const bool stopAtExit = std::atexit(&StopJournald) == 0;
    g_journald = ::fork();
    if (g_journald == 0) {  // it ends with the test program, however that ends
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        const int quiet = ::open("/dev/null", O_WRONLY);  // what it forwards and says is not ours
        ::dup2(quiet, 2);
        ::execl("/lib/systemd/systemd-journald", "systemd-journald", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    if (g_journald < 0) return std::string("no process for journald: ") + std::strerror(errno);
    zkqtest::WaitUntil([] { return ::access(kSocket, F_OK) == 0 || ::waitpid(g_journald, nullptr, WNOHANG) != 0; }, 20000);
    return ::access(kSocket, F_OK) == 0 ? "" : "journald opened no socket";
}

// The entries that match, once there are at least atLeast (or after 20 s).
// Export format: "NAME=value\n", or "NAME\n", 64-bit little-endian length,
// the value, "\n"; an empty line ends an entry.
std::vector<Entry> ReadJournal(const std::string& matches, std::size_t atLeast = 1) {
    std::vector<Entry> entries;
    zkqtest::WaitUntil(
        [&] {
            const std::string text = zkqtest::RunCommand("journalctl -q -o export " + matches + " 2>/dev/null");
            entries.assign(1, Entry());
            for (std::size_t at = 0, end; (end = text.find('\n', at)) != std::string::npos;) {
                const std::string line = text.substr(at, end - at);
                at = end + 1;
                const std::size_t equals = line.find('=');
                if (line.empty()) {
                    entries.emplace_back();
                } else if (equals != std::string::npos) {
                    entries.back()[line.substr(0, equals)].push_back(line.substr(equals + 1));
                } else {
                    std::uint64_t length = 0;
                    for (int i = 7; i >= 0; --i) length = (length << 8) | static_cast<unsigned char>(text[at + i]);
                    entries.back()[line].push_back(text.substr(at + 8, length));
                    at += 8 + length + 1;
                }
            }
            if (entries.back().empty()) entries.pop_back();
            return entries.size() >= atLeast;
        },
        20000, 100);
    return entries;
}

std::string Field(const Entry& entry, const char* name) {
    const auto found = entry.find(name);
    return found == entry.end() ? "" : found->second.front();
}

std::size_t Count(const std::string& text, const std::string& piece) {
    std::size_t count = 0;
    for (std::size_t at = text.find(piece); at != std::string::npos; at = text.find(piece, at + 1)) ++count;
    return count;
}

// Log with e as the chain's newest, then the chain goes: one record a call.
void LogOne(const char* message, OrnEhBasis* e) {
    OrnEhBasis::Log(message, e, 1);
    OrnEhBasis::Release();
}

class JournalTest : public zkqtest::EmptyChainTest {
protected:
    void SetUp() override {
        const std::string why = StartJournald();
        if (!why.empty()) GTEST_SKIP() << "no journald of the test's own: " << why;
        EmptyChainTest::SetUp();
        orneh::journal::NoteSendResult(0);  // a failure of an earlier test is told again
        OrnEhInitialize("JournalTest", OrnEhLogUnlimited, "journal.log", nullptr, dir.path().c_str(), 0);
        OrnEhSetJournal(OrnEhJournalOn);
    }
    void TearDown() override {
        OrnEhSetJournal(OrnEhJournalOff);
        EmptyChainTest::TearDown();
    }

    zkqtest::TempDir dir;
};

// --- Every kind: one entry per record with every field ---------------------------

// source: CODE_FILE; ERRNO where it is "j.cpp".
struct KindRow { const char* kind; const char* messageId; OrnEhBasis* (*make)(); const char* source; };
void PrintTo(const KindRow& row, std::ostream* out) { *out << row.kind; }

OrnEhBasis* Fault() {
    OrnEhInitThreadExHandling();
    try {
        zkq_read(nullptr);
    } catch (OrnEhBasis* e) {
        return e;
    }
    return nullptr;
}

const KindRow kKinds[] = {
    {"TestException", "28d18cfa2658417c9fb1c82fb72d5d5b", [] { return (OrnEhBasis*)new zkqtest::TestException("own", 7, 0, 1); }, "test.cpp"},
    {"OrnEhWin32", "c9e0d0c0a3904b48918ac04df6207f94", [] { return (OrnEhBasis*)new OrnEhWin32("j.cpp", "open", "r", ENOENT, 0, 1); }, "j.cpp"},
    {"OrnEhCLib", "a706353d5d0a49d9858853802cd6f1cc", [] { return (OrnEhBasis*)new OrnEhCLib("j.cpp", "fopen", "w", EACCES, 0, 1); }, "j.cpp"},
    {"OrnEhSTL", "fdd3269c39ca49c1876205b570e525ca", [] { return (OrnEhBasis*)new OrnEhSTL(std::out_of_range("10"), 1); }, ""},
    {"OrnEhMemory", "c2cd950e9964453cb5ab312eb4633737", [] { return (OrnEhBasis*)new OrnEhMemory(); }, ""},
    {"OrnEhMFC", "bc9dcf7d80f446ffaa6a1a8d40a41405", [] { return (OrnEhBasis*)new OrnEhMFC(new zkqtest::ForeignException, 1, 1); }, ""},
    {"OrnEhSEH", "1e2142a6f0dd46daba10af41d9471036", &Fault, ""},
};

class JournalKinds : public JournalTest, public ::testing::WithParamInterface<KindRow> {};

TEST_P(JournalKinds, Fields) {
    const KindRow& row = GetParam();
    const bool fault = std::strcmp(row.kind, "OrnEhSEH") == 0;
    LogOne("the report's text", row.make());
    const auto entries = ReadJournal(std::string("ORNEH_KIND=") + row.kind);
    ASSERT_EQ(entries.size(), 1u);
    const Entry& entry = entries[0];
    const std::string thread = std::to_string(GetExThreadId());
    EXPECT_EQ(Field(entry, "MESSAGE"), std::string(row.kind) + ": the report's text");
    EXPECT_EQ(Field(entry, "PRIORITY"), fault ? "2" : "3");
    EXPECT_EQ(Field(entry, "MESSAGE_ID"), row.messageId);
    EXPECT_EQ(Field(entry, "SYSLOG_IDENTIFIER"), "JournalTest");
    EXPECT_EQ(Field(entry, "CODE_FILE"), row.source);
    EXPECT_EQ(Field(entry, "ERRNO"), std::strcmp(row.source, "j.cpp") == 0 ? Field(entry, "ORNEH_ERROR_NO") : "");
    EXPECT_EQ(Field(entry, "ORNEH_REPORT_ID").size(), 32u);
    EXPECT_EQ(Field(entry, "ORNEH_RECORD_NO") + Field(entry, "ORNEH_THREAD_RAISED") + Field(entry, "ORNEH_THREAD_REPORTED"),
              "1" + thread + thread);
    for (const char* name : {"CODE_FUNC", "ORNEH_ERROR_NO", "ORNEH_TEXT_NO", "ORNEH_CAPTION_NO"}) EXPECT_EQ(entry.count(name), 1u) << name;
    // The record as the file has it, in UTF-8 with LF ("Überschriftennummer").
    std::string file = orneh::compat::Cp1252ToUtf8(ReadFile(dir.file("journal.log")).c_str()), record = Field(entry, "ORNEH_RECORD");
    for (std::size_t cr; (cr = file.find("\r\n")) != std::string::npos;) file.erase(cr, 1);
    EXPECT_NE(file.find(record), std::string::npos) << record;
    EXPECT_NE(record.find("\xC3\x9C" "berschriftennummer: "), std::string::npos) << record;
    EXPECT_EQ(Field(entry, "ORNEH_FRAME").rfind("#0 0x", 0), fault ? 0u : std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Kinds, JournalKinds, ::testing::ValuesIn(kKinds), [](const auto& info) { return std::string(info.param.kind); });

// --- A chain, binary-safe values, the file unchanged -------------------------------

// Three records of one report share its id and come in the entry's order;
// each parameter is a value of its own, byte for byte (line breaks, control
// characters, 1252 converted) or cut at 64 KiB with ORNEH_CUT; the log file
// is the same with the journal as without it.
TEST_F(JournalTest, ChainGroupedByReport) {
    const std::string large(100 * 1024, 'x'), binary = "two\r\nlines\tand \x01\x1b[0m \xDC" "bung";
    auto writeChain = [&](OrnEhJournalMode mode, const char* file) {
        OrnEhSetJournal(mode);
        zkqtest::ScopedStandardLog log(dir.path(), file);
        OrnEhParam params(3);  // the last slot stays empty
        params.SetParam(binary.c_str());
        params.SetParam(large.c_str());
        new zkqtest::TestException("oldest", 1, 0, 1);
        new zkqtest::TestException("middle", 2, 0, 1);
        new zkqtest::TestException("newest", params, 0, 1);
        OrnEhBasis::Report(static_cast<HWND>(nullptr), nullptr, 0, nullptr);
    };
    writeChain(OrnEhJournalOff, "off.log");
    writeChain(OrnEhJournalOn, "on.log");
    const auto entries = ReadJournal("ORNEH_KIND=TestException", 3);
    ASSERT_EQ(entries.size(), 3u);
    const char* causes[] = {"newest", "middle", "oldest"};
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(Field(entries[i], "ORNEH_REPORT_ID"), Field(entries[0], "ORNEH_REPORT_ID"));
        EXPECT_EQ(Field(entries[i], "ORNEH_RECORD_NO") + Field(entries[i], "ORNEH_CAUSE"), std::to_string(i + 1) + causes[i]);
    }
    const std::vector<std::string> expected = {"two\nlines\tand \x01\x1b[0m \xC3\x9C" "bung", large.substr(0, 64 * 1024), ""};
    EXPECT_EQ(entries[0].at("ORNEH_PARAM"), expected);
    EXPECT_EQ(Field(entries[0], "ORNEH_CUT") + "|" + Field(entries[1], "ORNEH_CUT"), "ORNEH_PARAM|");
    auto withoutTime = [&](const char* file) {  // byte for byte but the entry's time
        const std::string text = ReadFile(dir.file(file));
        return text.substr(std::min(text.size(), text.find("   Fehlermeldung")));
    };
    EXPECT_GT(withoutTime("on.log").size(), large.size());
    EXPECT_EQ(withoutTime("on.log"), withoutTime("off.log"));
}

// --- The last resorts ------------------------------------------------------------

// kind: of the plain record.
struct LastResortRow { const char* name; void (*escape)(); int signal; const char* kind; };
void PrintTo(const LastResortRow& row, std::ostream* out) { *out << row.name; }

const LastResortRow kLastResorts[] = {
    {"FaultInUnregisteredThread", [] { std::thread([] { zkq_read(nullptr); }).join(); }, SIGSEGV, "OrnEhSEH"},
    {"UncaughtThrow", [] { std::thread([] { throw new zkqtest::TestException("uncaught", 9, 0, 1); }).join(); }, SIGABRT,
     "OrnEhUncaught"},
};

class JournalLastResort : public JournalTest, public ::testing::WithParamInterface<LastResortRow> {};

// The plain record (written without the heap, its frames with module and
// offset only) and the record with names after it: priority 2, with frames.
TEST_P(JournalLastResort, RecordsWithStack) {
    const LastResortRow& row = GetParam();
    const zkqtest::ChildResult result = zkqtest::RunInChild(row.escape, 60);
    EXPECT_TRUE(result.KilledBy(row.signal)) << result;
    std::size_t withFrames = 0, plain = 0;
    for (const Entry& entry : ReadJournal("PRIORITY=2", 2)) {
        withFrames += entry.count("ORNEH_FRAME");
        EXPECT_NE(Field(entry, "ORNEH_FRAME").find("+0x"), std::string::npos) << Field(entry, "ORNEH_RECORD");
        if (Field(entry, "ORNEH_KIND") != row.kind || entry.count("ORNEH_RECORD_NO")) continue;
        ++plain;
        EXPECT_EQ(Field(entry, "MESSAGE").rfind(std::string(row.kind) + ": Programm mit exit (-1) abgebrochen", 0), 0u);
        EXPECT_NE(Field(entry, "ORNEH_RECORD").find("Aufgetreten in Thread: "), std::string::npos);
    }
    EXPECT_EQ(plain, 1u);
    EXPECT_GE(withFrames, 2u);
}

INSTANTIATE_TEST_SUITE_P(LastResorts, JournalLastResort, ::testing::ValuesIn(kLastResorts), [](const auto& info) { return std::string(info.param.name); });

// --- The catalog -------------------------------------------------------------------

// journalctl -x explains an entry by its MESSAGE_ID, in English and German,
// from the catalog as installed (here: the namespace's own directories).
TEST_F(JournalTest, CatalogExplainsKinds) {
    for (const char* where : {"/usr/lib/systemd/catalog", "/var/lib/systemd/catalog"}) {
        ::mkdir(where, 0755);
        ASSERT_EQ(::mount("tmpfs", where, "tmpfs", 0, nullptr), 0) << where;
    }
    zkqtest::WriteFile("/usr/lib/systemd/catalog/ZKQTRNEH113.catalog",
                       ReadFile(ZKQ_TEST_SOURCE_DIR "/../src/journal/ZKQTRNEH113.catalog"));
    bool ok = false;
    zkqtest::RunCommand("journalctl --update-catalog 2>&1", &ok);
    ASSERT_TRUE(ok);
    LogOne("reading", new OrnEhWin32("j.cpp", "open", "reading", ENOENT, 0, 1));
    ASSERT_EQ(ReadJournal("ORNEH_KIND=OrnEhWin32").size(), 1u);
    const std::string en = zkqtest::RunCommand("LANG=C.UTF-8 journalctl -x --no-pager ORNEH_KIND=OrnEhWin32");
    EXPECT_TRUE(zkqtest::Contains(en, {"A system call of JournalTest failed", "errno 2."})) << en;
    const std::string de = zkqtest::RunCommand("LANG=de_DE.UTF-8 journalctl -x --no-pager ORNEH_KIND=OrnEhWin32");
    EXPECT_TRUE(zkqtest::Contains(de, {"Ein Systemaufruf von JournalTest ist gescheitert"})) << de;
}

// --- When the journal does not take records ---------------------------------------------

// make: what happens to journald; said: on stderr, once.
struct GoneRow { const char* name; void (*make)(); int records; const char* said; };
void PrintTo(const GoneRow& row, std::ostream* out) { *out << row.name; }

const GoneRow kGone[] = {
    {"Stopped", [] { ::kill(g_journald, SIGSTOP); }, 1000, "does not take records"},
    {"Ended", &StopJournald, 50, "refuses"},  // its socket file stays
    {"NoSocket", [] { StopJournald(), ::unlink(kSocket); }, 50, "no journal socket"},
};

class JournalGone : public JournalTest, public ::testing::WithParamInterface<GoneRow> {};

// Every record returns at once (no wait past the bound), the file has all
// of them, stderr has one line.
TEST_P(JournalGone, FileCompleteOneLine) {
    const GoneRow& row = GetParam();
    zkqtest::TempDir fast;
    ASSERT_EQ(::mount("tmpfs", fast.path().c_str(), "tmpfs", 0, nullptr), 0);  // no disk sync in the way
    long slowest = 0;
    std::string err;
    {
        zkqtest::ScopedStandardLog log(fast.path(), "gone.log");
        row.make();
        ::testing::internal::CaptureStderr();
        for (int i = 0; i < row.records; ++i) {
            zkqtest::Stopwatch watch;
            LogOne("gone", new zkqtest::TestException("gone", static_cast<unsigned long>(i), 0, 1));
            slowest = std::max(slowest, watch.Ms());
        }
        err = ::testing::internal::GetCapturedStderr();
        EXPECT_EQ(Count(ReadFile(log.path()), "Fehlerursache: gone\r\n"), static_cast<std::size_t>(row.records));
    }
    ::umount(fast.path().c_str());
    EXPECT_LT(slowest, 1000) << "a record waited for the journal";
    EXPECT_EQ(Count(err, "journal: "), 1u) << err;
    EXPECT_NE(err.find(row.said), std::string::npos) << err;
    if (g_journald > 0) {
        ::kill(g_journald, SIGCONT);
        EXPECT_LT(ReadJournal("ORNEH_CAUSE=gone").size(), 1000u);  // some were dropped, journald goes on
    }
}

INSTANTIATE_TEST_SUITE_P(Journald, JournalGone, ::testing::ValuesIn(kGone), [](const auto& info) { return std::string(info.param.name); });

// The switch: off sends nothing; auto follows JOURNAL_STREAM.
TEST_F(JournalTest, Switch) {
    const struct { OrnEhJournalMode mode; const char* stream; } rows[] = {
        {OrnEhJournalOff, "8:1"}, {OrnEhJournalAuto, nullptr}, {OrnEhJournalAuto, "8:1"}, {OrnEhJournalOn, nullptr}};
    unsigned long number = 0;
    for (const auto& row : rows) {
        zkqtest::ScopedEnv stream("JOURNAL_STREAM", row.stream);
        OrnEhSetJournal(row.mode);
        LogOne("switch", new zkqtest::TestException("switch", ++number, 0, 1));
    }
    OrnEhSetJournal(OrnEhJournalOn);
    LogOne("switch", new zkqtest::TestException("last", 99, 0, 1));
    ASSERT_EQ(ReadJournal("ORNEH_ERROR_NO=99").size(), 1u);  // what was sent before it is there
    std::string numbers;
    for (const Entry& entry : ReadJournal("ORNEH_CAUSE=switch")) numbers += Field(entry, "ORNEH_ERROR_NO") + " ";
    EXPECT_EQ(numbers, "3 4 ");
}

}  // namespace
