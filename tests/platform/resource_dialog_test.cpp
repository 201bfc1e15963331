// Dialog templates of both kinds, parsed into OrnResDialog.
#include <gtest/gtest.h>

#include <string>

#include "resource_test_support.h"

namespace {

using restest::ModuleGuard;

class ResourceDialogs : public ::testing::TestWithParam<const char*> {
protected:
    void SetUp() override {
        m_module = OrnResLoadModule(restest::ModulePath(GetParam()).c_str());
        ASSERT_NE(m_module, nullptr);
    }
    void TearDown() override { OrnResFreeModule(m_module); }
    HINSTANCE m_module = nullptr;
};

TEST_P(ResourceDialogs, ParsesClassicTemplate) {
    OrnResDialog dialog;
    ASSERT_TRUE(OrnResLoadDialog(m_module, 100, dialog));
    EXPECT_FALSE(dialog.extended);
    EXPECT_EQ(dialog.style, 0x80C80040u);
    EXPECT_EQ(dialog.x, 10);
    EXPECT_EQ(dialog.y, 20);
    EXPECT_EQ(dialog.cx, 200);
    EXPECT_EQ(dialog.cy, 120);
    EXPECT_EQ(dialog.title, "Classic \xFC");
    EXPECT_EQ(dialog.fontName, "Tahoma");
    EXPECT_EQ(dialog.fontSize, 9);
    ASSERT_EQ(dialog.items.size(), 7u);

    const OrnResDialogItem& ok = dialog.items[0];
    EXPECT_EQ(ok.className, "BUTTON");
    EXPECT_EQ(ok.text, "OK");
    EXPECT_EQ(ok.id, 1u);
    EXPECT_EQ(ok.style & 0xF, 1u);  // BS_DEFPUSHBUTTON
    EXPECT_EQ(ok.x, 10);
    EXPECT_EQ(ok.y, 100);
    EXPECT_EQ(ok.cx, 50);
    EXPECT_EQ(ok.cy, 14);

    const OrnResDialogItem& edit = dialog.items[1];
    EXPECT_EQ(edit.className, "EDIT");
    EXPECT_EQ(edit.id, 1704u);
    EXPECT_EQ(edit.style & 0x00200804u, 0x00200804u);  // multi-line, read-only, vertical scroll bar
    EXPECT_EQ(edit.text, "");

    EXPECT_EQ(dialog.items[2].className, "STATIC");
    EXPECT_EQ(dialog.items[2].id, 0xFFFFu);  // -1 as a 16-bit id
    EXPECT_EQ(dialog.items[2].text, "Label");
    EXPECT_EQ(dialog.items[3].className, "LISTBOX");
    EXPECT_EQ(dialog.items[4].className, "SCROLLBAR");
    EXPECT_EQ(dialog.items[5].className, "COMBOBOX");
    EXPECT_EQ(dialog.items[6].className, "MYCLASS");  // windres writes class names in capitals
    EXPECT_EQ(dialog.items[6].text, "custom");
}

TEST_P(ResourceDialogs, ParsesExtendedTemplate) {
    OrnResDialog dialog;
    ASSERT_TRUE(OrnResLoadDialog(m_module, 101, dialog));
    EXPECT_TRUE(dialog.extended);
    EXPECT_EQ(dialog.style, 0x80C80048u);
    EXPECT_EQ(dialog.exStyle, 1u);
    EXPECT_EQ(dialog.cx, 150);
    EXPECT_EQ(dialog.cy, 80);
    EXPECT_EQ(dialog.title, "Extended");
    EXPECT_EQ(dialog.fontName, "MS Shell Dlg");
    EXPECT_EQ(dialog.fontSize, 8);
    ASSERT_EQ(dialog.items.size(), 4u);

    EXPECT_EQ(dialog.items[0].className, "BUTTON");
    EXPECT_EQ(dialog.items[0].text, "&Yes");
    EXPECT_EQ(dialog.items[0].id, 6u);
    EXPECT_EQ(dialog.items[0].exStyle, 0x200u);
    EXPECT_EQ(dialog.items[1].className, "BUTTON");
    EXPECT_EQ(dialog.items[1].id, 1703u);
    EXPECT_EQ(dialog.items[1].style & 0xF, 7u);  // BS_GROUPBOX
    EXPECT_EQ(dialog.items[2].className, "EDIT");
    EXPECT_EQ(dialog.items[2].id, 70000u);  // 32-bit ids in extended templates
    // Creation data behind item 3 is skipped; its fields are intact.
    EXPECT_EQ(dialog.items[3].text, "data");
    EXPECT_EQ(dialog.items[3].id, 1714u);
    EXPECT_EQ(dialog.items[3].x, 80);
}

TEST_P(ResourceDialogs, TemplateWithoutFontOrControls) {
    OrnResDialog dialog;
    dialog.title = "stale";
    ASSERT_TRUE(OrnResLoadDialog(m_module, 102, dialog));
    EXPECT_EQ(dialog.title, "");
    EXPECT_EQ(dialog.fontName, "");
    EXPECT_EQ(dialog.fontSize, 0);
    EXPECT_TRUE(dialog.items.empty());
    EXPECT_FALSE(OrnResLoadDialog(m_module, 103, dialog));
    EXPECT_FALSE(OrnResLoadDialog(m_module, 5, dialog));  // an RCDATA number, not a dialog
}

INSTANTIATE_TEST_SUITE_P(ResAndDll, ResourceDialogs, ::testing::Values("sample.res", "sample.dll"));

// Builds a classic template by hand: one item with an ordinal class.
std::string ClassicTemplate(std::uint16_t atom, std::uint16_t itemCount) {
    std::string t;
    restest::Put32(t, 0x80C80000);  // style, no DS_SETFONT
    restest::Put32(t, 0);
    restest::Put16(t, itemCount);
    for (int i = 0; i < 4; ++i) restest::Put16(t, 10);
    restest::Put16(t, 0);  // no menu
    restest::Put16(t, 0);  // standard class
    restest::Put16(t, 0);  // empty title
    restest::PadTo4(t);
    restest::Put32(t, 0x50000000);
    restest::Put32(t, 0);
    for (int i = 0; i < 4; ++i) restest::Put16(t, 5);
    restest::Put16(t, 42);
    restest::Put16(t, 0xFFFF);
    restest::Put16(t, atom);
    restest::Put16(t, 0xFFFF);  // title by ordinal (an icon id): no text
    restest::Put16(t, 7);
    restest::Put16(t, 0);       // no creation data
    return t;
}

TEST(ResourceDialogTemplates, OrdinalClassesAndTitles) {
    restest::ResBuilder res;
    res.Add(ORN_RT_DIALOG, 1, ClassicTemplate(0x82, 1)).Add(ORN_RT_DIALOG, 2, ClassicTemplate(0x99, 1));
    ModuleGuard module(restest::FromBytes(res.bytes()));
    ASSERT_NE(module.get(), nullptr);
    OrnResDialog dialog;
    ASSERT_TRUE(OrnResLoadDialog(module.get(), 1, dialog));
    ASSERT_EQ(dialog.items.size(), 1u);
    EXPECT_EQ(dialog.items[0].className, "STATIC");
    EXPECT_EQ(dialog.items[0].text, "");
    EXPECT_EQ(dialog.items[0].id, 42u);
    ASSERT_TRUE(OrnResLoadDialog(module.get(), 2, dialog));
    EXPECT_EQ(dialog.items[0].className, "#153");  // an atom we do not know by name
}

TEST(ResourceDialogTemplates, MalformedTemplatesAreRejected) {
    std::string good = ClassicTemplate(0x80, 1);
    restest::ResBuilder res;
    res.Add(ORN_RT_DIALOG, 1, ClassicTemplate(0x80, 2));  // claims an item it lacks
    for (std::size_t cut = 0; cut < good.size(); ++cut) {
        res.Add(ORN_RT_DIALOG, static_cast<std::uint16_t>(100 + cut), good.substr(0, cut));
    }
    std::string unterminated = good.substr(0, 18);
    unterminated += restest::Wide("no end");  // menu name without terminator
    res.Add(ORN_RT_DIALOG, 2, unterminated);
    ModuleGuard module(restest::FromBytes(res.bytes()));
    ASSERT_NE(module.get(), nullptr);

    OrnResDialog dialog;
    EXPECT_FALSE(OrnResLoadDialog(module.get(), 1, dialog));
    EXPECT_TRUE(dialog.items.empty());  // nothing half-filled is left behind
    EXPECT_FALSE(OrnResLoadDialog(module.get(), 2, dialog));
    for (std::size_t cut = 0; cut < good.size(); ++cut) {
        EXPECT_FALSE(OrnResLoadDialog(module.get(), static_cast<unsigned>(100 + cut), dialog)) << "cut at " << cut;
    }
}

}  // namespace
