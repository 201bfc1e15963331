// The German and English language modules: every string, the four tables in
// their byte layout, the error dialog's template; and OrnLanguageResManager
// switching the calling thread between the two.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <thread>

#include "OrnLangIds.h"
#include "OrnLangResource.h"
#include "OrnLanguageResManager.h"
#include "compat/OrnEhCString.h"

namespace {

struct Record {
    std::string text;
    std::uint32_t caption, type, show, log;
};

// The records of a text table (fields) or caption table; the end mark must
// be the entry's last four bytes.
std::map<std::uint32_t, Record> Table(HINSTANCE module, unsigned id, bool fields) {
    std::size_t size = 0;
    const void* data = OrnResFind(module, ORN_RT_RCDATA, id, &size);
    const std::string b = data ? std::string(static_cast<const char*>(data), size) : std::string();
    auto u = [&](std::size_t at, int bytes) {
        std::uint32_t value = 0;
        while (bytes-- > 0) value = value << 8 | static_cast<unsigned char>(b[at + bytes]);
        return value;
    };
    std::map<std::uint32_t, Record> out;
    std::size_t at = 0;
    for (std::size_t end; at + 4 <= b.size() && u(at, 4) != 0; at = end + (fields ? 13 : 1)) {
        end = b.find('\0', at + 4);
        if (end == std::string::npos || end + (fields ? 13 : 1) > b.size()) break;
        const Record r = {b.substr(at + 4, end - at - 4), fields ? u(end + 1, 4) : 0, fields ? u(end + 5, 4) : 0,
                          fields ? u(end + 9, 2) : 1, fields ? u(end + 11, 2) : 1};
        EXPECT_TRUE(out.emplace(u(at, 4), r).second) << "number " << u(at, 4) << " twice in table " << id;
    }
    EXPECT_TRUE(at + 4 == b.size() && u(at, 4) == 0) << "table " << id << " is not closed by its end mark";
    return out;
}

class LanguageModules : public ::testing::Test {
protected:
    static HINSTANCE Load(const char* language) {
        return OrnResLoadModule((std::string(ZKQ_LANG_SHARE_DIR) + "/ZKQTRNLANG101." + language + ".res").c_str());
    }
    void SetUp() override { ASSERT_TRUE(de && en); }
    void TearDown() override { OrnResFreeModule(de), OrnResFreeModule(en); }
    HINSTANCE de = Load("de"), en = Load("en");
};

TEST_F(LanguageModules, StringCompleteness) {
    for (HINSTANCE module : {de, en}) {
        for (unsigned id = IDS_EH_FIRST; id <= IDS_EH_LAST; ++id) {
            char text[512] = "";
            const bool loaded = OrnResLoadString(module, id, text, sizeof text) > 0;
            // Only the printed confirmation has an insert: the printer's name, once.
            const char* insert = std::strchr(text, '%');
            const bool inserts = id == IDS_EH_PRINTED ? insert && insert == std::strstr(text, "%1") && !std::strchr(insert + 1, '%')
                                                      : !insert;
            EXPECT_TRUE(loaded && inserts) << id << ": " << text;
            EXPECT_TRUE(module != de || id != IDS_EH_HANDOVER_REFUSED || std::strchr(text, '\xFC')) << "umlauts as 1252 bytes";
        }
    }
}

TEST_F(LanguageModules, TableLayout) {
    const unsigned tables[][3] = {{IDR_EH_CLIB_TEXTS, IDR_EH_CLIB_CAPTIONS, ORNLANG_CLIB_TEXT_ERRNO_BASE + 2},
                                  {IDR_EH_SEH_TEXTS, IDR_EH_SEH_CAPTIONS, 0xC0000005u}};
    for (const auto& [texts, captions, sample] : tables) {
        std::string shape[2];  // number, caption and message type of each text, per language
        std::map<std::uint32_t, std::string> german;
        for (HINSTANCE module : {de, en}) {
            const auto all = Table(module, texts, true), names = Table(module, captions, false);
            EXPECT_TRUE(all.count(1) && all.count(sample)) << texts;
            for (const auto& [number, r] : all) {
                EXPECT_TRUE(!r.text.empty() && r.text.find('%') == std::string::npos) << number;
                EXPECT_TRUE(names.count(r.caption) && !names.at(r.caption).text.empty()) << number;
                EXPECT_TRUE((r.type & 0x0F) <= 5 && (r.type & ~0xFFu) == 0 && r.show && r.log) << number;
                shape[module == en] += std::to_string(number) + ":" + std::to_string(r.caption) + ":" + std::to_string(r.type) + " ";
                if (module == de) german[number] = r.text;
                else EXPECT_NE(german[number], r.text) << number << " is not translated";
            }
        }
        EXPECT_EQ(shape[0], shape[1]) << texts;
    }
}

TEST_F(LanguageModules, DialogTemplate) {
    // Buttons by their BS_ type; edit controls multi-line with a scroll bar, read-only or not.
    const std::map<std::uint32_t, std::string> expected = {
        {IDOK, "BUTTON 1"}, {IDC_EH_BUTTON2, "BUTTON 0"}, {IDC_EH_BUTTON3, "BUTTON 0"}, {IDC_EH_SAVE, "BUTTON 0"},
        {IDC_EH_DETAILS_TOGGLE, "BUTTON 0"}, {IDC_EH_PRINT, "BUTTON 0"}, {IDC_EH_HANDOVER, "BUTTON 0"},
        {IDC_EH_DETAILS_FRAME, "BUTTON 7"}, {IDC_EH_MESSAGE, "EDIT ro"}, {IDC_EH_DETAILS, "EDIT ro"},
        {IDC_EH_COMMENT, "EDIT rw"}, {IDC_EH_ICON, "STATIC 3"}};  // and the icon beside the message
    const std::set<std::uint32_t> details = {IDC_EH_SAVE,  IDC_EH_DETAILS_FRAME, IDC_EH_DETAILS,
                                             IDC_EH_PRINT, IDC_EH_HANDOVER,      IDC_EH_COMMENT};
    for (HINSTANCE module : {de, en}) {
        OrnResDialog dialog;
        ASSERT_TRUE(OrnResLoadDialog(module, IDD_EH_DIALOG, dialog));
        std::map<std::uint32_t, std::string> controls;
        int top = -1;  // of the details area: the frame's top edge
        for (const auto& item : dialog.items) {
            const bool multiLine = (item.style & 0x00200004u) == 0x00200004u, readOnly = item.style & 0x800u;
            controls[item.id] += item.className == "EDIT" && multiLine ? (readOnly ? "EDIT ro" : "EDIT rw")
                                                                       : item.className + " " + std::to_string(item.style & 0xF);
            if (item.id == IDC_EH_DETAILS_FRAME) top = item.y;
        }
        EXPECT_EQ(expected, controls);
        // The details area reaches from the frame down; the rest stays visible without it.
        for (const auto& item : dialog.items) {
            EXPECT_TRUE(item.x >= 0 && item.x + item.cx <= dialog.cx && item.y + item.cy <= dialog.cy) << item.id;
            EXPECT_TRUE(details.count(item.id) ? item.y >= top : item.y + item.cy <= top) << item.id;
        }
    }
}

TEST_F(LanguageModules, ThreadModuleScope) {
    auto caption = [] {
        CString text("stale");
        text.LoadString(IDS_EH_DEFAULT_CAPTION);  // a missing string empties the text
        return std::string(text.GetString());
    };
    EXPECT_EQ(caption(), "");  // a thread starts without a module
    {
        OrnLanguageResManager outer(de);
        {
            OrnLanguageResManager inner(en);
            EXPECT_EQ(caption(), "Error");
            std::string other = "unset";
            std::thread([&] { other = caption(); }).join();
            EXPECT_EQ(other, "") << "another thread's module was changed";
        }
        EXPECT_EQ(caption(), "Fehler");
    }
    EXPECT_EQ(OrnResGetThreadModule(), nullptr);
}

}  // namespace
