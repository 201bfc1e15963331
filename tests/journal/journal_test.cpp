// The error log's records in a real systemd-journald (journald.h): the
// fields of every kind, a chain grouped by its report, the last resorts'
// records with their stacks, the catalog, and a journal that is stopped,
// gone or switched off.
#include <csignal>
#include <cstring>
#include <stdexcept>
#include <sys/stat.h>
#include <thread>
#include <string>
#include <sys/mount.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "OrnEh.h"
#include "OrnEhCLib.h"
#include "OrnEhMFC.h"
#include "OrnEhMemory.h"
#include "OrnEhSEH.h"
#include "OrnEhSTL.h"
#include "OrnEhWin32.h"
#include "compat/codepage.h"
#include "journal/journal.h"
#include "journal/journald.h"
#include "runtime/admin.h"
#include "support/child_process.h"
#include "support/faulting.h"
#include "support/test_exceptions.h"
#include "support/test_util.h"

namespace {

using zkqtest::Field;
using zkqtest::Journald;
using zkqtest::JournalEntry;

// The log's text as the journal carries it: UTF-8, LF.
std::string AsJournalText(const std::string& log) {
    std::string text = orneh::compat::Cp1252ToUtf8(log.c_str()), out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')) out += text[i];
    }
    return out;
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
        const std::string why = Journald::Start();
        if (!why.empty()) GTEST_SKIP() << "no journald of the test's own: " << why;
        EmptyChainTest::SetUp();
        OrnEhInitialize("JournalTest", OrnEhLogUnlimited, "journal.log", nullptr, dir.path().c_str(), 0);
        OrnEhSetJournal(OrnEhJournalOn);
    }
    void TearDown() override {
        OrnEhSetJournal(OrnEhJournalOff);
        EmptyChainTest::TearDown();
    }
    std::string LogText() const { return zkqtest::ReadFile(dir.file("journal.log")); }

    zkqtest::TempDir dir;
};

// --- Every kind's fields --------------------------------------------------------

struct KindRow {
    const char* kind;
    const char* messageId;
    OrnEhBasis* (*make)();
    const char* priority;
    bool errnoField;
    bool frames;
    const char* source;  // CODE_FILE, where the kind has one
    const char* recordHead;
};
void PrintTo(const KindRow& row, std::ostream* out) { *out << row.kind; }

OrnEhBasis* MakeFault() {
    OrnEhInitThreadExHandling();
    try {
        zkq_read(nullptr);
    } catch (OrnEhBasis* e) {
        return e;
    }
    return nullptr;
}

const KindRow kKinds[] = {
    {"TestException", "28d18cfa2658417c9fb1c82fb72d5d5b",
     [] { return static_cast<OrnEhBasis*>(new zkqtest::TestException("own kind", 7, 0, 1)); }, "3", false, false,
     "test.cpp", "Fehlerursache: own kind"},
    {"OrnEhWin32", "c9e0d0c0a3904b48918ac04df6207f94",
     [] { return static_cast<OrnEhBasis*>(new OrnEhWin32("j.cpp", "open", "reading", ENOENT, 0, 1)); }, "3", true, false,
     "j.cpp", "Fehlerart: OrnEhWin32"},
    {"OrnEhCLib", "a706353d5d0a49d9858853802cd6f1cc",
     [] { return static_cast<OrnEhBasis*>(new OrnEhCLib("j.cpp", "fopen", "writing", EACCES, 0, 1)); }, "3", true, false,
     "j.cpp", "Fehlerart: OrnEhCLib"},
    {"OrnEhSTL", "fdd3269c39ca49c1876205b570e525ca",
     [] { return static_cast<OrnEhBasis*>(new OrnEhSTL(std::out_of_range("index 10"), 1)); }, "3", false, false,
     nullptr, "Fehlerart: OrnEhSTL"},
    {"OrnEhMemory", "c2cd950e9964453cb5ab312eb4633737", [] { return static_cast<OrnEhBasis*>(new OrnEhMemory()); },
     "3", false, false, nullptr, "Fehlerart: OrnEhMemory"},
    {"OrnEhMFC", "bc9dcf7d80f446ffaa6a1a8d40a41405",
     [] { return static_cast<OrnEhBasis*>(new OrnEhMFC(new zkqtest::ForeignException, 1, 1)); }, "3", false, false,
     nullptr, "Fehlerart: OrnEhMFC"},
    {"OrnEhSEH", "1e2142a6f0dd46daba10af41d9471036", &MakeFault, "2", false, true, nullptr, "Fehlerart: OrnEhSEH"},
};

class JournalKinds : public JournalTest, public ::testing::WithParamInterface<KindRow> {};

// One entry per record with every field; ORNEH_RECORD is the file's record.
TEST_P(JournalKinds, Fields) {
    const KindRow& row = GetParam();
    OrnEhBasis* e = row.make();
    ASSERT_NE(e, nullptr);
    LogOne("the report's text", e);
    const auto entries = Journald::Read(std::string("ORNEH_KIND=") + row.kind);
    ASSERT_EQ(entries.size(), 1u);
    const JournalEntry& entry = entries[0];
    EXPECT_EQ(Field(entry, "MESSAGE"), std::string(row.kind) + ": the report's text");
    EXPECT_EQ(Field(entry, "PRIORITY"), row.priority);
    EXPECT_EQ(Field(entry, "MESSAGE_ID"), row.messageId);
    EXPECT_EQ(Field(entry, "SYSLOG_IDENTIFIER"), "JournalTest");
    EXPECT_EQ(entry.count("ERRNO"), row.errnoField ? 1u : 0u);
    if (row.errnoField) {
        EXPECT_EQ(Field(entry, "ERRNO"), Field(entry, "ORNEH_ERROR_NO"));
    }
    EXPECT_EQ(Field(entry, "ORNEH_REPORT_ID").size(), 32u);
    EXPECT_EQ(Field(entry, "ORNEH_RECORD_NO"), "1");
    EXPECT_EQ(Field(entry, "ORNEH_THREAD_REPORTED"), std::to_string(GetExThreadId()));
    EXPECT_EQ(Field(entry, "ORNEH_THREAD_RAISED"), std::to_string(GetExThreadId()));
    for (const char* name : {"CODE_FUNC", "ORNEH_ERROR_NO", "ORNEH_TEXT_NO", "ORNEH_CAPTION_NO"}) {
        EXPECT_EQ(entry.count(name), 1u) << name;
    }
    if (row.source) {
        EXPECT_EQ(Field(entry, "CODE_FILE"), row.source);
    }
    const std::string record = Field(entry, "ORNEH_RECORD");
    EXPECT_NE(record.find(row.recordHead), std::string::npos) << record;
    EXPECT_NE(AsJournalText(LogText()).find(record), std::string::npos) << record;
    EXPECT_EQ(entry.count("ORNEH_FRAME"), row.frames ? 1u : 0u);
    if (row.frames) {
        EXPECT_NE(entry.at("ORNEH_FRAME").front().find("#0 0x"), std::string::npos);
    }
}

INSTANTIATE_TEST_SUITE_P(Kinds, JournalKinds, ::testing::ValuesIn(kKinds),
                         [](const ::testing::TestParamInfo<KindRow>& info) { return std::string(info.param.kind); });

// --- A chain, binary-safe values, the file unchanged -------------------------------

// Three records of one report share its id and come in the entry's order;
// each parameter is a value of its own, kept byte for byte (line breaks,
// control characters, 1252 converted) or cut at 64 KiB with ORNEH_CUT; and
// the log file is the same with the journal as without it.
TEST_F(JournalTest, ChainGroupedByReport) {
    const std::string large(100 * 1024, 'x');
    const std::string binary = std::string("two\r\nlines\tand \x01\x1b[0m ") + "\xDC" + "bung";
    auto writeChain = [&](const char* file) {
        zkqtest::ScopedStandardLog log(dir.path(), file);
        OrnEhParam params(3);  // the last slot stays empty
        params.SetParam(binary.c_str());
        params.SetParam(large.c_str());
        new zkqtest::TestException("oldest", 1, 0, 1);
        new zkqtest::TestException("middle", 2, 0, 1);
        new zkqtest::TestException("newest", params, 0, 1);
        OrnEhBasis::Report(static_cast<HWND>(nullptr), nullptr, 0, nullptr);
    };
    OrnEhSetJournal(OrnEhJournalOff);
    writeChain("off.log");
    OrnEhSetJournal(OrnEhJournalOn);
    writeChain("on.log");

    const auto entries = Journald::Read("ORNEH_KIND=TestException", 3);
    ASSERT_EQ(entries.size(), 3u);
    const std::string id = Field(entries[0], "ORNEH_REPORT_ID");
    const char* causes[] = {"newest", "middle", "oldest"};
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(Field(entries[i], "ORNEH_REPORT_ID"), id);
        EXPECT_EQ(Field(entries[i], "ORNEH_RECORD_NO"), std::to_string(i + 1));
        EXPECT_EQ(Field(entries[i], "ORNEH_CAUSE"), causes[i]);
    }
    const std::vector<std::string>& values = entries[0].at("ORNEH_PARAM");
    ASSERT_EQ(values.size(), 3u);
    EXPECT_EQ(values[0], "two\nlines\tand \x01\x1b[0m \xC3\x9C" "bung");
    EXPECT_EQ(values[1], large.substr(0, 64 * 1024));
    EXPECT_EQ(values[2], "");
    EXPECT_EQ(Field(entries[0], "ORNEH_CUT"), "ORNEH_PARAM");
    EXPECT_EQ(entries[1].count("ORNEH_CUT"), 0u);

    // Byte for byte but the time of the entry.
    auto withoutTime = [](std::string text) {
        const std::size_t end = text.find("   Fehlermeldung");
        return end == std::string::npos ? text : text.substr(end);
    };
    const std::string off = zkqtest::ReadFile(dir.file("off.log")), on = zkqtest::ReadFile(dir.file("on.log"));
    EXPECT_GT(on.size(), large.size());
    EXPECT_EQ(withoutTime(on), withoutTime(off));
}

// --- The last resorts ------------------------------------------------------------

struct LastResortRow {
    const char* name;
    void (*escape)();
    int signal;
    const char* kind;  // of the plain record
};
void PrintTo(const LastResortRow& row, std::ostream* out) { *out << row.name; }

const LastResortRow kLastResorts[] = {
    {"FaultInUnregisteredThread", [] { std::thread([] { zkq_read(nullptr); }).join(); }, SIGSEGV, "OrnEhSEH"},
    {"UncaughtThrow", [] { std::thread([] { throw new zkqtest::TestException("nobody catches this", 9, 0, 1); }).join(); },
     SIGABRT, "OrnEhUncaught"},
};

class JournalLastResort : public JournalTest, public ::testing::WithParamInterface<LastResortRow> {};

// The plain record (written without the heap) and the records with names
// that follow it: each an entry of priority 2 with the call stack's frames,
// the plain one's with module and offset.
TEST_P(JournalLastResort, RecordsWithStack) {
    const LastResortRow& row = GetParam();
    const zkqtest::ChildResult result = zkqtest::RunInChild(row.escape, 60);
    EXPECT_TRUE(result.KilledBy(row.signal)) << result;
    const auto all = Journald::Read("PRIORITY=2", 2);
    std::size_t withFrames = 0;
    bool plainSeen = false;
    for (const JournalEntry& entry : all) {
        if (!entry.count("ORNEH_FRAME")) continue;
        ++withFrames;
        const std::string frame = entry.at("ORNEH_FRAME").front();
        EXPECT_NE(frame.find("+0x"), std::string::npos) << frame;  // module and offset, always
        if (Field(entry, "ORNEH_KIND") == row.kind && !entry.count("ORNEH_RECORD_NO")) {
            plainSeen = true;
            EXPECT_NE(Field(entry, "MESSAGE").find("Programm mit exit (-1) abgebrochen"), std::string::npos);
            EXPECT_NE(Field(entry, "ORNEH_RECORD").find("Aufgetreten in Thread: "), std::string::npos);
        }
    }
    EXPECT_TRUE(plainSeen);
    EXPECT_GE(withFrames, 2u);  // the plain record and the one with names
    EXPECT_NE(LogText().find("Programm mit exit (-1) abgebrochen"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(LastResorts, JournalLastResort, ::testing::ValuesIn(kLastResorts),
                         [](const ::testing::TestParamInfo<LastResortRow>& info) { return std::string(info.param.name); });

// --- The catalog -------------------------------------------------------------------

// journalctl -x explains an entry by its MESSAGE_ID, in English and German,
// from the catalog as installed (here: in the namespace's own directories).
TEST_F(JournalTest, CatalogExplainsKinds) {
    for (const char* where : {"/usr/lib/systemd/catalog", "/var/lib/systemd/catalog"}) {
        ::mkdir(where, 0755);
        ASSERT_EQ(::mount("tmpfs", where, "tmpfs", 0, nullptr), 0) << where;
    }
    zkqtest::WriteFile("/usr/lib/systemd/catalog/ZKQTRNEH113.catalog",
                       zkqtest::ReadFile(ZKQ_TEST_SOURCE_DIR "/../src/journal/ZKQTRNEH113.catalog"));
    bool ok = false;
    zkqtest::RunCommand("journalctl --update-catalog 2>&1", &ok);
    ASSERT_TRUE(ok);
    LogOne("reading", new OrnEhWin32("j.cpp", "open", "reading", ENOENT, 0, 1));
    ASSERT_EQ(Journald::Read("ORNEH_KIND=OrnEhWin32").size(), 1u);
    const std::string en = zkqtest::RunCommand("LANG=C.UTF-8 journalctl -x --no-pager ORNEH_KIND=OrnEhWin32");
    EXPECT_TRUE(zkqtest::Contains(en, {"A system call of JournalTest failed", "errno 2."})) << en;
    const std::string de = zkqtest::RunCommand("LANG=de_DE.UTF-8 journalctl -x --no-pager ORNEH_KIND=OrnEhWin32");
    EXPECT_TRUE(zkqtest::Contains(de, {"Ein Systemaufruf von JournalTest ist gescheitert"})) << de;
}

// --- When the journal does not take records ---------------------------------------------

// 1,000 records while journald is stopped: each returns at once (the send
// does not wait), the file has all of them, and stderr one line.
TEST_F(JournalTest, StoppedJournaldWhile1000Records) {
    zkqtest::TempDir fast;
    ASSERT_EQ(::mount("tmpfs", fast.path().c_str(), "tmpfs", 0, nullptr), 0);  // no disk sync in the way
    zkqtest::ScopedStandardLog log(fast.path(), "stalled.log");
    ASSERT_EQ(::kill(Journald::Pid(), SIGSTOP), 0);
    long slowest = 0;
    {
        zkqtest::CapturedStderr err(dir.file("stderr"));
        for (int i = 0; i < 1000; ++i) {
            zkqtest::Stopwatch watch;
            LogOne("stalled", new zkqtest::TestException("stalled", static_cast<unsigned long>(i), 0, 1));
            slowest = std::max(slowest, watch.Ms());
        }
    }
    ::kill(Journald::Pid(), SIGCONT);
    const std::string text = zkqtest::ReadFile(log.path());
    EXPECT_EQ(Count(text, "Fehlerursache: stalled\r\n"), 1000u);
    EXPECT_NE(text.find("Fehlernummer: 999\r\n"), std::string::npos);
    EXPECT_LT(slowest, 1000) << "a record waited for the stopped journal";
    const auto arrived = Journald::Read("ORNEH_CAUSE=stalled");
    EXPECT_LE(arrived.size(), 1000u);
    const std::string err = zkqtest::ReadFile(dir.file("stderr"));
    EXPECT_EQ(Count(err, "journal: "), arrived.size() < 1000 ? 1u : 0u) << err;
    ::umount(fast.path().c_str());
}

// No journald: its socket refuses (the daemon ended) or is not there at all.
// Records go on into the file; stderr says so once.
TEST_F(JournalTest, NoJournald) {
    Journald::Stop();
    for (const char* reason : {"refuses", "no journal socket"}) {
        if (std::strcmp(reason, "no journal socket") == 0) ::unlink("/run/systemd/journal/socket");
        orneh::journal::NoteSendResult(0);  // as a record that went through would
        {
            zkqtest::CapturedStderr err(dir.file("stderr"));
            for (int i = 0; i < 20; ++i) LogOne("gone", new zkqtest::TestException(reason, 1, 0, 1));
        }
        const std::string err = zkqtest::ReadFile(dir.file("stderr"));
        EXPECT_EQ(Count(err, "journal: "), 1u) << err;
        EXPECT_NE(err.find(reason), std::string::npos) << err;
        EXPECT_EQ(Count(LogText(), std::string("Fehlerursache: ") + reason + "\r\n"), 20u);
    }
    ASSERT_EQ(Journald::Start(), "");
}

// The switch: off sends nothing; auto follows JOURNAL_STREAM.
TEST_F(JournalTest, Switch) {
    struct {
        OrnEhJournalMode mode;
        const char* stream;
        bool sent;
    } const rows[] = {{OrnEhJournalOff, "8:1", false}, {OrnEhJournalAuto, nullptr, false},
                      {OrnEhJournalAuto, "8:1", true}, {OrnEhJournalOn, nullptr, true}};
    int number = 0;
    for (const auto& row : rows) {
        zkqtest::ScopedEnv stream("JOURNAL_STREAM", row.stream);
        OrnEhSetJournal(row.mode);
        LogOne("switch", new zkqtest::TestException("switch", static_cast<unsigned long>(++number), 0, 1));
    }
    OrnEhSetJournal(OrnEhJournalOn);
    LogOne("switch", new zkqtest::TestException("last", 99, 0, 1));
    ASSERT_EQ(Journald::Read("ORNEH_ERROR_NO=99").size(), 1u);  // everything before it has arrived
    std::string numbers;
    for (const JournalEntry& entry : Journald::Read("ORNEH_CAUSE=switch", 0)) numbers += Field(entry, "ORNEH_ERROR_NO") + " ";
    EXPECT_EQ(numbers, "3 4 ");
}

}  // namespace
