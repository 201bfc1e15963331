// Contents of the German and English language modules: every string, the
// four tables in their byte layout, and the error dialog's template.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "OrnLangIds.h"
#include "OrnLangResource.h"

namespace {

std::string ModulePath(const char* language) {
    return std::string(ZKQ_LANG_SHARE_DIR) + "/ZKQTRNLANG101." + language + ".res";
}

std::uint32_t Read32(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

struct TextRecord {
    std::string text;
    std::uint32_t caption;
    std::uint32_t messageType;
    std::uint16_t show;
    std::uint16_t log;
};

// Walks a text table (withFields) or caption table inside its entry; the
// end mark must be the entry's last four bytes. Fails the test otherwise.
template <typename Record>
void WalkTable(const void* entry, std::size_t size, bool withFields, std::map<std::uint32_t, Record>& out) {
    ASSERT_NE(entry, nullptr);
    const auto* p = static_cast<const unsigned char*>(entry);
    std::size_t at = 0;
    for (;;) {
        ASSERT_LE(at + 4, size) << "no end mark";
        std::uint32_t number = Read32(p + at);
        at += 4;
        if (number == 0) break;
        const void* nul = std::memchr(p + at, 0, size - at);
        ASSERT_NE(nul, nullptr) << "record " << number << " has no terminated text";
        std::size_t length = static_cast<const unsigned char*>(nul) - (p + at);
        Record record{};
        record.text.assign(reinterpret_cast<const char*>(p + at), length);
        at += length + 1;
        if (withFields) {
            ASSERT_LE(at + 12, size) << "record " << number << " cut off";
            record.caption = Read32(p + at);
            record.messageType = Read32(p + at + 4);
            record.show = static_cast<std::uint16_t>(p[at + 8] | (p[at + 9] << 8));
            record.log = static_cast<std::uint16_t>(p[at + 10] | (p[at + 11] << 8));
            at += 12;
        }
        EXPECT_TRUE(out.emplace(number, record).second) << "number " << number << " twice";
    }
    EXPECT_EQ(at, size) << "bytes behind the end mark";
}

struct CaptionRecord {
    std::string text;
    std::uint32_t caption, messageType;
    std::uint16_t show, log;
};

class LanguageModule : public ::testing::TestWithParam<const char*> {
protected:
    void SetUp() override {
        m_module = OrnResLoadModule(ModulePath(GetParam()).c_str());
        ASSERT_NE(m_module, nullptr) << ModulePath(GetParam());
    }
    void TearDown() override { OrnResFreeModule(m_module); }

    std::string String(unsigned id) const {
        char buffer[512];
        long length = OrnResLoadString(m_module, id, buffer, sizeof buffer);
        return length < 0 ? std::string() : std::string(buffer);
    }
    HINSTANCE m_module = nullptr;
};

TEST_P(LanguageModule, EveryStringIsPresent) {
    for (unsigned id = IDS_EH_FIRST; id <= IDS_EH_LAST; ++id) {
        EXPECT_FALSE(String(id).empty()) << "string " << id;
    }
    // The two headings sit between message, comment and details in the
    // report text: they bring their own line breaks.
    for (unsigned id : {IDS_EH_COMMENT_HEADING, IDS_EH_DETAILS_HEADING}) {
        std::string heading = String(id);
        EXPECT_EQ(heading.substr(0, 2), "\r\n") << id;
        EXPECT_EQ(heading.substr(heading.size() - 2), "\r\n") << id;
    }
    EXPECT_EQ(String(IDS_EH_DEFAULT_EXTENSION), "txt");
    std::string fileName = String(IDS_EH_DEFAULT_FILE_NAME);
    EXPECT_EQ(fileName.substr(fileName.size() - 4), ".txt");
    EXPECT_NE(String(IDS_EH_DETAILS_HIDE), String(IDS_EH_DETAILS_SHOW));
    // Strings are shown through the insert formatter: no stray '%'.
    for (unsigned id = IDS_EH_FIRST; id <= IDS_EH_LAST; ++id) {
        EXPECT_EQ(String(id).find('%'), std::string::npos) << "string " << id;
    }
}

void CheckTablePair(HINSTANCE module, unsigned textsId, unsigned captionsId, std::set<std::uint32_t>& numbers) {
    std::size_t size = 0;
    std::map<std::uint32_t, CaptionRecord> texts, captions;
    const void* textTable = OrnResFind(module, ORN_RT_RCDATA, textsId, &size);
    WalkTable(textTable, size, true, texts);
    const void* captionTable = OrnResFind(module, ORN_RT_RCDATA, captionsId, &size);
    WalkTable(captionTable, size, false, captions);

    ASSERT_EQ(texts.count(1), 1u) << "table " << textsId << " lacks text 1";
    for (const auto& [number, record] : texts) {
        numbers.insert(number);
        EXPECT_FALSE(record.text.empty()) << number;
        EXPECT_EQ(record.text.find('%'), std::string::npos) << number;
        EXPECT_EQ(captions.count(record.caption), 1u) << "text " << number << " names caption " << record.caption;
        EXPECT_LE(record.messageType & 0x0F, 5u) << number;
        EXPECT_EQ(record.messageType & ~0xFFu, 0u) << number;
        EXPECT_NE(record.show, 0) << number;
        EXPECT_NE(record.log, 0) << number;
    }
    for (const auto& [number, record] : captions) EXPECT_FALSE(record.text.empty()) << number;
}

TEST_P(LanguageModule, TablesHaveTheirLayout) {
    std::set<std::uint32_t> clib, seh;
    CheckTablePair(m_module, IDR_EH_CLIB_TEXTS, IDR_EH_CLIB_CAPTIONS, clib);
    CheckTablePair(m_module, IDR_EH_SEH_TEXTS, IDR_EH_SEH_CAPTIONS, seh);
    EXPECT_GT(clib.size(), 1u);
    EXPECT_GT(seh.size(), 1u);
    EXPECT_EQ(clib.count(ORNLANG_CLIB_TEXT_ERRNO_BASE + 2), 1u);  // ENOENT
    EXPECT_EQ(seh.count(0xC0000005u), 1u);                        // access violation
}

struct Rect {
    int left, top, right, bottom;
};
Rect RectOf(const OrnResDialogItem& item) { return {item.x, item.y, item.x + item.cx, item.y + item.cy}; }
bool Overlap(const Rect& a, const Rect& b) {
    return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
}
bool Inside(const Rect& inner, const Rect& outer) {
    return inner.left >= outer.left && inner.right <= outer.right && inner.top >= outer.top &&
           inner.bottom <= outer.bottom;
}

TEST_P(LanguageModule, DialogTemplateHoldsTheElevenControls) {
    OrnResDialog dialog;
    ASSERT_TRUE(OrnResLoadDialog(m_module, IDD_EH_DIALOG, dialog));
    ASSERT_EQ(dialog.items.size(), 11u);
    std::map<std::uint32_t, OrnResDialogItem> byId;
    for (const auto& item : dialog.items) byId[item.id] = item;
    ASSERT_EQ(byId.size(), 11u);

    const std::uint32_t kMultiline = 0x4, kReadOnly = 0x800, kVScroll = 0x00200000;
    for (std::uint32_t id : {1u, 1000u, 1001u, 1702u, 1705u, 1707u, 1708u}) {
        ASSERT_EQ(byId.count(id), 1u) << id;
        EXPECT_EQ(byId[id].className, "BUTTON") << id;
        EXPECT_LE(byId[id].style & 0xF, 1u) << id;  // push button
    }
    EXPECT_EQ(byId[1].style & 0xF, 1u);  // the default button
    ASSERT_EQ(byId.count(IDC_EH_DETAILS_FRAME), 1u);
    EXPECT_EQ(byId[IDC_EH_DETAILS_FRAME].className, "BUTTON");
    EXPECT_EQ(byId[IDC_EH_DETAILS_FRAME].style & 0xF, 7u);  // group box
    for (std::uint32_t id : {IDC_EH_MESSAGE, IDC_EH_DETAILS, IDC_EH_COMMENT}) {
        ASSERT_EQ(byId.count(id), 1u) << id;
        EXPECT_EQ(byId[id].className, "EDIT") << id;
        EXPECT_EQ(byId[id].style & (kMultiline | kVScroll), kMultiline | kVScroll) << id;
    }
    EXPECT_NE(byId[IDC_EH_MESSAGE].style & kReadOnly, 0u);
    EXPECT_NE(byId[IDC_EH_DETAILS].style & kReadOnly, 0u);
    EXPECT_EQ(byId[IDC_EH_COMMENT].style & kReadOnly, 0u);
    EXPECT_FALSE(byId[1].text.empty());  // OK keeps the template's label
}

TEST_P(LanguageModule, DetailsAreaLiesBelowTheTopOfItsFrame) {
    OrnResDialog dialog;
    ASSERT_TRUE(OrnResLoadDialog(m_module, IDD_EH_DIALOG, dialog));
    std::map<std::uint32_t, OrnResDialogItem> byId;
    for (const auto& item : dialog.items) byId[item.id] = item;
    const int top = byId[IDC_EH_DETAILS_FRAME].y;
    const std::set<std::uint32_t> details = {1702, 1703, 1706, 1707, 1708, 1709};
    for (const auto& item : dialog.items) {
        Rect r = RectOf(item);
        EXPECT_GE(r.left, 0) << item.id;
        EXPECT_LE(r.right, dialog.cx) << item.id;
        EXPECT_LE(r.bottom, dialog.cy) << item.id;
        if (details.count(item.id)) {
            EXPECT_GE(r.top, top) << item.id << " belongs to the details area";
        } else {
            EXPECT_LE(r.bottom, top) << item.id << " must stay visible with the details hidden";
        }
    }
    // No control covers another, except what the frame encloses.
    const Rect frame = RectOf(byId[IDC_EH_DETAILS_FRAME]);
    for (std::size_t i = 0; i < dialog.items.size(); ++i) {
        for (std::size_t j = i + 1; j < dialog.items.size(); ++j) {
            const auto& a = dialog.items[i];
            const auto& b = dialog.items[j];
            if (a.id == IDC_EH_DETAILS_FRAME && Inside(RectOf(b), frame)) continue;
            if (b.id == IDC_EH_DETAILS_FRAME && Inside(RectOf(a), frame)) continue;
            EXPECT_FALSE(Overlap(RectOf(a), RectOf(b))) << a.id << " and " << b.id;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(GermanAndEnglish, LanguageModule, ::testing::Values("de", "en"));

TEST(LanguageModules, BothLanguagesAgreeOnLayoutAndNumbers) {
    HINSTANCE de = OrnResLoadModule(ModulePath("de").c_str());
    HINSTANCE en = OrnResLoadModule(ModulePath("en").c_str());
    ASSERT_NE(de, nullptr);
    ASSERT_NE(en, nullptr);
    OrnResDialog deDialog, enDialog;
    ASSERT_TRUE(OrnResLoadDialog(de, IDD_EH_DIALOG, deDialog));
    ASSERT_TRUE(OrnResLoadDialog(en, IDD_EH_DIALOG, enDialog));
    ASSERT_EQ(deDialog.items.size(), enDialog.items.size());
    EXPECT_EQ(deDialog.cy, enDialog.cy);
    for (std::size_t i = 0; i < deDialog.items.size(); ++i) {
        EXPECT_EQ(deDialog.items[i].id, enDialog.items[i].id);
        EXPECT_EQ(deDialog.items[i].y, enDialog.items[i].y);
        EXPECT_EQ(deDialog.items[i].cy, enDialog.items[i].cy);
    }
    for (unsigned table : {IDR_EH_CLIB_TEXTS, IDR_EH_SEH_TEXTS}) {
        std::size_t deSize = 0, enSize = 0;
        std::map<std::uint32_t, CaptionRecord> deTexts, enTexts;
        const void* deTable = OrnResFind(de, ORN_RT_RCDATA, table, &deSize);
        const void* enTable = OrnResFind(en, ORN_RT_RCDATA, table, &enSize);
        WalkTable(deTable, deSize, true, deTexts);
        WalkTable(enTable, enSize, true, enTexts);
        ASSERT_EQ(deTexts.size(), enTexts.size()) << table;
        for (const auto& [number, record] : deTexts) {
            ASSERT_EQ(enTexts.count(number), 1u) << number;
            EXPECT_EQ(enTexts[number].caption, record.caption) << number;
            EXPECT_EQ(enTexts[number].messageType, record.messageType) << number;
            EXPECT_NE(enTexts[number].text, record.text) << number;  // translated
        }
    }
    char german[64], english[64];
    OrnResLoadString(de, IDS_EH_YES, german, sizeof german);
    OrnResLoadString(en, IDS_EH_YES, english, sizeof english);
    EXPECT_STRNE(german, english);
    // German texts carry their umlauts as single 1252 bytes.
    char refused[128];
    ASSERT_GT(OrnResLoadString(de, IDS_EH_HANDOVER_REFUSED, refused, sizeof refused), 0);
    EXPECT_NE(std::strchr(refused, '\xFC'), nullptr);
    OrnResFreeModule(de);
    OrnResFreeModule(en);
}

}  // namespace
