// Error texts: the table walks over text and caption tables (also damaged
// ones, which must never be read beyond their resource), the base hooks that
// find a table in a resource module, filling the inserts, and
// GetErrorMessage over the calling thread's chain.
#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <memory>
#include <string>

#include "OrnLangResource.h"
#include "core/table_exception.h"
#include "core/text_tables.h"
#include "platform/alloc.h"
#include "support/test_exceptions.h"
#include "support/test_util.h"

namespace at = orneh::platform::alloctest;
using orneh::core::FindCaption;
using orneh::core::FindTextRecord;
using orneh::core::TextRecord;
using zkqtest::TableException;

namespace {

// The four outputs of GetErrorTextInfo, preset to values no table holds.
struct TextInfo {
    unsigned long messageType = 0xAAAA;
    unsigned long captionNo = 0xBBBB;
    short logFlag = 77;
    short showFlag = 88;

    bool Untouched() const {
        return messageType == 0xAAAA && captionNo == 0xBBBB && logFlag == 77 && showFlag == 88;
    }
};

char* Lookup(const TableException& e, void* entry, unsigned long textNo, TextInfo& info) {
    return e.GetErrorTextInfo(entry, textNo, info.messageType, info.captionNo, info.logFlag,
                              info.showFlag);
}

// An exact-size heap copy of bytes: AddressSanitizer reports any read past it.
std::unique_ptr<unsigned char[]> ExactCopy(const void* bytes, std::size_t size) {
    std::unique_ptr<unsigned char[]> copy(new unsigned char[size == 0 ? 1 : size]);
    if (size > 0) std::memcpy(copy.get(), bytes, size);
    return copy;
}

class ErrorTextsTest : public ::testing::Test {
protected:
    void SetUp() override {
        zkqtest::ClearChain();
        m_module = OrnResLoadModule(ZKQ_CORE_TABLES);
        ASSERT_NE(m_module, nullptr) << ZKQ_CORE_TABLES;
    }
    void TearDown() override {
        OrnResFreeModule(m_module);
        zkqtest::ClearChain();
    }

    void* Entry(unsigned long resId) { return m_probe.GetResourceEntry(resId, m_module); }

    std::size_t EntrySize(unsigned int resId) {
        std::size_t size = 0;
        EXPECT_NE(OrnResFind(m_module, ORN_RT_RCDATA, resId, &size), nullptr) << resId;
        return size;
    }

    HINSTANCE m_module = nullptr;
    TableException m_probe{"probe", 0, 0};
};

// --- Base hooks over the tables of a resource module --------------------------

TEST_F(ErrorTextsTest, ExampleTableRecordIsFoundWithItsValues) {
    void* entry = Entry(200);
    ASSERT_NE(entry, nullptr);
    // The test table is the documented byte layout, end mark included.
    const unsigned char expected[] = {0xB0, 0x04, 0x00, 0x00, 'D', 'a', 't', 'e', 'i', ' ', '%',
                                      '1',  ' ',  'f',  'e',  'h', 'l', 't', 0x00, 0x05, 0x00,
                                      0x00, 0x00, 0x30, 0x00, 0x00, 0x00, 0x01, 0x00, 0x01, 0x00,
                                      0x00, 0x00, 0x00, 0x00};
    ASSERT_EQ(EntrySize(200), sizeof expected);
    ASSERT_EQ(std::memcmp(entry, expected, sizeof expected), 0);

    TextInfo info;
    char* text = Lookup(m_probe, entry, 1200, info);
    ASSERT_NE(text, nullptr);
    EXPECT_STREQ(text, "Datei %1 fehlt");
    EXPECT_EQ(text, static_cast<char*>(entry) + 4);  // in place, not a copy
    EXPECT_EQ(info.captionNo, 5u);
    EXPECT_EQ(info.messageType, 0x30u);
    EXPECT_EQ(info.showFlag, 1);
    EXPECT_EQ(info.logFlag, 1);
}

TEST_F(ErrorTextsTest, NumbersNotInTheTableLeaveTheOutputsUntouched) {
    void* entry = Entry(200);
    for (unsigned long textNo : {1201ul, 0ul, 1ul, 0xFFFFFFFFul}) {
        TextInfo info;
        EXPECT_EQ(Lookup(m_probe, entry, textNo, info), nullptr) << textNo;
        EXPECT_TRUE(info.Untouched()) << textNo;
    }
    TextInfo info;
    EXPECT_EQ(Lookup(m_probe, nullptr, 1200, info), nullptr);
    EXPECT_TRUE(info.Untouched());
}

TEST_F(ErrorTextsTest, TableStartingWithItsEndMarkHoldsNothing) {
    void* entry = Entry(220);
    ASSERT_NE(entry, nullptr);
    for (unsigned long textNo : {1200ul, 0ul, 1ul}) {
        TextInfo info;
        EXPECT_EQ(Lookup(m_probe, entry, textNo, info), nullptr) << textNo;
        EXPECT_TRUE(info.Untouched());
        EXPECT_EQ(m_probe.GetCaptionText(entry, textNo), nullptr);
    }
}

TEST_F(ErrorTextsTest, CaptionsAreFoundByNumber) {
    void* entry = Entry(201);
    ASSERT_NE(entry, nullptr);
    EXPECT_STREQ(m_probe.GetCaptionText(entry, 5), "Hinweis");
    EXPECT_STREQ(m_probe.GetCaptionText(entry, 7), "Achtung");
    EXPECT_EQ(m_probe.GetCaptionText(entry, 6), nullptr);
    EXPECT_EQ(m_probe.GetCaptionText(entry, 0), nullptr);
    EXPECT_EQ(m_probe.GetCaptionText(nullptr, 5), nullptr);
}

TEST_F(ErrorTextsTest, ResourceEntryNeedsAModuleAndANumber) {
    HINSTANCE none = nullptr;
    EXPECT_EQ(m_probe.GetResourceEntry(200, none), nullptr);
    EXPECT_EQ(none, nullptr);
    EXPECT_EQ(m_probe.GetResourceEntry(0, m_module), nullptr);
    EXPECT_EQ(m_probe.GetResourceEntry(999, m_module), nullptr);
    EXPECT_EQ(m_probe.GetResourceEntry(200, m_module), OrnResFind(m_module, ORN_RT_RCDATA, 200, nullptr));
    EXPECT_EQ(m_probe.LoadResourceModule(nullptr), nullptr);
    EXPECT_EQ(m_probe.LoadResourceModule("/nonexistent/tables.res"), nullptr);
}

TEST_F(ErrorTextsTest, DamagedTablesEndTheWalkAtTheEndOfTheResource) {
    TextInfo info;
    // No end mark: the complete record is found, a search beyond it stops.
    void* noEnd = Entry(230);
    ASSERT_NE(noEnd, nullptr);
    EXPECT_STREQ(Lookup(m_probe, noEnd, 1, info), "eins");
    TextInfo untouched;
    EXPECT_EQ(Lookup(m_probe, noEnd, 2, untouched), nullptr);
    EXPECT_TRUE(untouched.Untouched());

    // A text without NUL and a record cut short are not records.
    for (unsigned long resId : {231ul, 232ul}) {
        void* entry = Entry(resId);
        ASSERT_NE(entry, nullptr) << resId;
        for (unsigned long textNo : {1ul, 2ul}) {
            TextInfo none;
            EXPECT_EQ(Lookup(m_probe, entry, textNo, none), nullptr) << resId << "/" << textNo;
            EXPECT_TRUE(none.Untouched());
        }
    }

    // Caption tables: without end mark, and with a caption without NUL.
    EXPECT_STREQ(m_probe.GetCaptionText(Entry(233), 5), "f\xFCnf");
    EXPECT_EQ(m_probe.GetCaptionText(Entry(233), 6), nullptr);
    EXPECT_EQ(m_probe.GetCaptionText(Entry(234), 5), nullptr);
    EXPECT_EQ(m_probe.GetCaptionText(Entry(234), 6), nullptr);
}

TEST_F(ErrorTextsTest, EmptyResourceIsNoTable) {
    // Behind the empty entry lies the header of the next one, whose first
    // word is that entry's data size: it must not be taken for a record.
    const unsigned long nextSize = EntrySize(241);
    void* entry = Entry(240);
    TextInfo info;
    EXPECT_EQ(Lookup(m_probe, entry, nextSize, info), nullptr);
    EXPECT_TRUE(info.Untouched());
    EXPECT_EQ(m_probe.GetCaptionText(entry, nextSize), nullptr);
}

// --- The walks on exact-size buffers (AddressSanitizer sees every overread) -

TEST(TextTableWalkTest, EveryTruncationOfATextTableStaysInside) {
    HINSTANCE module = OrnResLoadModule(ZKQ_CORE_TABLES);
    ASSERT_NE(module, nullptr);
    std::size_t size = 0;
    const void* table = OrnResFind(module, ORN_RT_RCDATA, 210, &size);
    ASSERT_NE(table, nullptr);
    // The last record (1900) is complete once the whole table but its end
    // mark is there.
    const std::size_t lastComplete = size - 4;
    for (std::size_t length = 0; length <= size; ++length) {
        auto copy = ExactCopy(table, length);
        TextRecord record{};
        bool found = FindTextRecord(copy.get(), length, 1900, record);
        EXPECT_EQ(found, length >= lastComplete) << length;
        if (found) {
            EXPECT_STREQ(record.text, "Falscher Einschub %1!d!");
            EXPECT_EQ(record.captionNo, 5u);
        }
        // A number that is not there walks to wherever the bytes end.
        EXPECT_FALSE(FindTextRecord(copy.get(), length, 4242, record)) << length;
    }
    OrnResFreeModule(module);
}

TEST(TextTableWalkTest, EveryTruncationOfACaptionTableStaysInside) {
    HINSTANCE module = OrnResLoadModule(ZKQ_CORE_TABLES);
    ASSERT_NE(module, nullptr);
    std::size_t size = 0;
    const void* table = OrnResFind(module, ORN_RT_RCDATA, 201, &size);
    ASSERT_NE(table, nullptr);
    // Caption 7 is the second record: 4 + 8 bytes of the first, 4 + 8 of it.
    for (std::size_t length = 0; length <= size; ++length) {
        auto copy = ExactCopy(table, length);
        const char* caption = FindCaption(copy.get(), length, 7);
        if (length >= 24) {
            EXPECT_STREQ(caption, "Achtung") << length;
        } else {
            EXPECT_EQ(caption, nullptr) << length;
        }
        EXPECT_EQ(FindCaption(copy.get(), length, 9), nullptr) << length;
    }
    OrnResFreeModule(module);
}

TEST(TextTableWalkTest, FlagsAreTwoBytesAndNumbersLittleEndian) {
    const unsigned char table[] = {0x01, 0x02, 0x03, 0x04, 'x', 0,    0x07, 0x00, 0x00,
                                   0x00, 0x34, 0x12, 0x00, 0x00, 0xFF, 0xFF, 0x02, 0x00};
    auto copy = ExactCopy(table, sizeof table);
    TextRecord record{};
    ASSERT_TRUE(FindTextRecord(copy.get(), sizeof table, 0x04030201ul, record));
    EXPECT_STREQ(record.text, "x");
    EXPECT_EQ(record.captionNo, 7u);
    EXPECT_EQ(record.messageType, 0x1234u);
    EXPECT_EQ(record.showFlag, -1);
    EXPECT_EQ(record.logFlag, 2);
    EXPECT_FALSE(FindTextRecord(nullptr, 100, 1, record));
    EXPECT_EQ(FindCaption(nullptr, 100, 1), nullptr);
}

TEST(TextTableWalkTest, TableBytesBoundsAPointerToItsEntry) {
    HINSTANCE module = OrnResLoadModule(ZKQ_CORE_TABLES);
    ASSERT_NE(module, nullptr);
    std::size_t size = 0;
    const char* table = static_cast<const char*>(OrnResFind(module, ORN_RT_RCDATA, 210, &size));
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(orneh::core::TableBytes(table), size);
    EXPECT_EQ(orneh::core::TableBytes(table + 4), size - 4);
    OrnResFreeModule(module);
    // A table that does not lie in a loaded module is read up to its end mark.
    const unsigned char own[] = {0, 0, 0, 0};
    EXPECT_EQ(orneh::core::TableBytes(own), std::numeric_limits<std::size_t>::max());
}

// --- Filling the inserts ----------------------------------------------------

TEST_F(ErrorTextsTest, FormatErrorTextFillsInsertsFromTheExceptionsList) {
    const char* text = "Datei %1 fehlt";
    OrnEhParam params(1);
    params.SetParam("a.txt");
    TableException withList("c", 1200, params, 0);
    const char* formatted = withList.FormatErrorText(text);
    ASSERT_NE(formatted, text);
    EXPECT_STREQ(formatted, "Datei a.txt fehlt");
    OrnEhDeleteString(formatted);

    // Without a list the text itself comes back.
    TableException withoutList("c", 1200, 0);
    EXPECT_EQ(withoutList.FormatErrorText(text), text);

    // The exception keeps its own copy of the list.
    params.SetParam("b.txt");
    formatted = withList.FormatErrorText("%1");
    EXPECT_STREQ(formatted, "a.txt");
    OrnEhDeleteString(formatted);
}

TEST_F(ErrorTextsTest, StaticFormatErrorTextUsesTheGivenList) {
    struct Formatter : OrnEhBasis {
        using OrnEhBasis::FormatErrorText;
    };
    OrnEhParam params(2);
    params.SetParam("a.txt");
    params.SetParam(42ul);
    const char* text = "%2: Datei %1 fehlt";
    const char* formatted = Formatter::FormatErrorText(text, params);
    ASSERT_NE(formatted, text);
    EXPECT_STREQ(formatted, "42: Datei a.txt fehlt");
    OrnEhDeleteString(formatted);

    // A text without inserts comes back as a new, equal text.
    const char* plain = "kein Einschub";
    formatted = Formatter::FormatErrorText(plain, params);
    ASSERT_NE(formatted, plain);
    EXPECT_STREQ(formatted, plain);
    OrnEhDeleteString(formatted);

    // Formatting failures give the input back: an insert beyond the list, a
    // conversion that would read a text as a number, a null text.
    const char* beyond = "%3 fehlt";
    EXPECT_EQ(Formatter::FormatErrorText(beyond, params), beyond);
    const char* numeric = "%1!d! fehlt";
    EXPECT_EQ(Formatter::FormatErrorText(numeric, params), numeric);
    EXPECT_EQ(Formatter::FormatErrorText(nullptr, params), nullptr);
}

// --- GetErrorMessage ----------------------------------------------------------

class ErrorMessageTest : public ::testing::Test {
protected:
    void SetUp() override { zkqtest::ClearChain(); }
    void TearDown() override { zkqtest::ClearChain(); }

    // A buffer of 'X' bytes, so that every byte written shows.
    static std::string Filled() { return std::string(40, 'X'); }
};

TEST_F(ErrorMessageTest, CutsTheTextToTheBufferAndTerminatesIt) {
    auto* e = new TableException("c", 1500, 1);  // a text of 30 characters
    std::string buffer = Filled();
    unsigned int help = 4711;
    CException* asMfc = e;
    EXPECT_EQ(asMfc->GetErrorMessage(&buffer[0], 10, &help), TRUE);
    EXPECT_EQ(buffer.substr(0, 10), std::string("abcdefghi") + '\0');
    EXPECT_EQ(buffer.substr(10), std::string(30, 'X'));
    EXPECT_EQ(help, 4711u);

    // maxLength 0 writes nothing at all.
    buffer = Filled();
    EXPECT_EQ(e->GetErrorMessage(&buffer[0], 0, nullptr), TRUE);
    EXPECT_EQ(buffer, Filled());

    // The whole text fits into 31 bytes.
    buffer = Filled();
    EXPECT_EQ(e->GetErrorMessage(&buffer[0], 31, nullptr), TRUE);
    EXPECT_STREQ(buffer.c_str(), "abcdefghijklmnopqrstuvwxyz0123");
}

TEST_F(ErrorMessageTest, GivesTheFormattedTextAndReleasesWhatItObtained) {
    OrnEhParam params(1);
    params.SetParam("a.txt");
    auto* e = new TableException("c", 1200, params, 1);
    char buffer[64];
    EXPECT_EQ(e->GetErrorMessage(buffer, sizeof buffer, nullptr), TRUE);
    EXPECT_STREQ(buffer, "Datei a.txt fehlt");
    // The text was handed back once, and the module is gone again.
    EXPECT_EQ(e->freedTexts, 1);
    ASSERT_NE(e->lastFreedText, nullptr);
    ASSERT_NE(e->lastTextTable, nullptr);
    EXPECT_FALSE(OrnResEntryExtent(e->lastTextTable, nullptr));
}

TEST_F(ErrorMessageTest, WorksOnTheNewestExceptionWithATextNumber) {
    TableException notInChain("c", 1200, 0);
    new TableException("oldest", 1500, 1);
    new TableException("with number", 1310, 1);
    new TableException("newest", 0, 1);
    char buffer[64] = "";
    EXPECT_EQ(notInChain.GetErrorMessage(buffer, sizeof buffer, nullptr), TRUE);
    EXPECT_STREQ(buffer, "Nur gezeigt");
}

TEST_F(ErrorMessageTest, FalseWithoutAUsableText) {
    char buffer[16];
    std::memset(buffer, 'X', sizeof buffer);
    TableException probe("c", 1200, 0);
    // Empty chain.
    EXPECT_EQ(probe.GetErrorMessage(buffer, sizeof buffer, nullptr), FALSE);
    // Only exceptions without a text number.
    new TableException("a", 0, 1);
    new TableException("b", 0, 1);
    EXPECT_EQ(probe.GetErrorMessage(buffer, sizeof buffer, nullptr), FALSE);
    EXPECT_EQ(std::string(buffer, sizeof buffer), std::string(sizeof buffer, 'X'));
    zkqtest::ClearChain();

    // A number that is not in the table, and an empty text: the release hook
    // still runs, with what the lookup gave.
    auto* missing = new TableException("c", 9999, 1);
    EXPECT_EQ(missing->GetErrorMessage(buffer, sizeof buffer, nullptr), FALSE);
    EXPECT_EQ(missing->freedTexts, 1);
    EXPECT_EQ(missing->lastFreedText, nullptr);
    zkqtest::ClearChain();
    auto* empty = new TableException("c", 1600, 1);
    EXPECT_EQ(empty->GetErrorMessage(buffer, sizeof buffer, nullptr), FALSE);
    EXPECT_EQ(empty->freedTexts, 1);
    EXPECT_EQ(std::string(buffer, sizeof buffer), std::string(sizeof buffer, 'X'));

    // A module that cannot be loaded gives no text either.
    zkqtest::ClearChain();
    auto* noModule = new TableException("c", 1200, 1);
    noModule->moduleName = "/nonexistent/tables.res";
    EXPECT_EQ(noModule->GetErrorMessage(buffer, sizeof buffer, nullptr), FALSE);
}

TEST_F(ErrorMessageTest, AllocationFailuresLeakNothing) {
    zkqtest::AllocFailureReset reset;
    OrnEhParam params(1);
    params.SetParam("a.txt");
    auto* e = new TableException("c", 1200, params, 1);
    char buffer[64];
    long before = at::Outstanding();
    int result = 0;
    int allocations = zkqtest::ForEachAllocationFailure(
        [&] {
            buffer[0] = '\0';
            result = e->GetErrorMessage(buffer, sizeof buffer, nullptr);
        },
        [&](int failedAt) {
            EXPECT_EQ(at::Outstanding(), before) << failedAt;
            // Without memory for the formatting the text comes unformatted.
            EXPECT_EQ(result, TRUE) << failedAt;
            EXPECT_TRUE(std::strcmp(buffer, "Datei a.txt fehlt") == 0 ||
                        std::strcmp(buffer, "Datei %1 fehlt") == 0)
                << failedAt << ": " << buffer;
        });
    EXPECT_GE(allocations, 1);
    EXPECT_EQ(at::Outstanding(), before);
}

}  // namespace
