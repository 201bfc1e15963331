// Resource modules (.res files and PE DLLs, from files and from memory):
// entries by type, id and name, strings with their conversion to code page
// 1252, dialog templates of both kinds; and damaged modules: every prefix of
// a real module, every single corrupted byte, PE resource trees that loop or
// multiply. Each must be rejected or load into a module whose lookups stay
// inside the loaded bytes (run under AddressSanitizer to see that).
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "resource_test_support.h"
#include "support/child_process.h"

namespace {

using namespace std::string_literals;
using restest::FromBytes;
using restest::ModuleBytes;

// The same resources as a .res file and as a PE32+ DLL, loaded.
class SampleModule : public ::testing::TestWithParam<const char*> {
protected:
    void SetUp() override { ASSERT_NE(module, nullptr) << std::strerror(errno); }
    const restest::Module module = restest::Load(std::string(ZKQ_RESOURCE_TEST_DIR) + "/sample." + GetParam());
    HINSTANCE m = module.get();
};
INSTANTIATE_TEST_SUITE_P(Kinds, SampleModule, ::testing::Values("res", "dll"),
                         [](const ::testing::TestParamInfo<const char*>& info) { return std::string(info.param); });

// "size:bytes" of the entry found by type and id (or name), "-size" for none.
std::string Find(HINSTANCE module, unsigned type, unsigned id, const char* name = nullptr) {
    std::size_t size = 99;
    const void* data = name ? OrnResFindNamed(module, name, type, &size) : OrnResFind(module, type, id, &size);
    return data ? std::to_string(size) + ":" + std::string(static_cast<const char*>(data), size) : "-" + std::to_string(size);
}

TEST_P(SampleModule, EntryLookup) {
    auto find = [&](unsigned type, unsigned id) { return Find(m, type, id); };
    auto named = [&](const char* name) { return Find(m, ORN_RT_RCDATA, 0, name); };
    EXPECT_EQ(find(ORN_RT_RCDATA, 5), "14:\x01\0\0\0abc\0\x02\0\0\0\x01\0"s);  // 1L, "abc\0", 2, 0x10000L
    EXPECT_EQ(find(ORN_RT_RCDATA, 300), "7:german\0"s);
    // The right type is needed, absent ids stay absent, and ids are 16 bits (no wrapping onto an entry).
    EXPECT_EQ(find(ORN_RT_DIALOG, 5) + find(ORN_RT_RCDATA, 6) + find(ORN_RT_RCDATA, 0x10005) + find(ORN_RT_RCDATA, 0),
              "-0-0-0-0");
    // Names ignore ASCII case; "#n" is the integer id n.
    EXPECT_EQ(named("MyData") + named("mydata") + named("MYDATA"), "6:named\0006:named\0006:named\0"s);
    EXPECT_EQ(named("MyDat") + named("MyDataX") + Find(m, ORN_RT_DIALOG, 0, "MyData"), "-0-0-0");
    EXPECT_EQ(named("#5") + named("#300"), find(ORN_RT_RCDATA, 5) + find(ORN_RT_RCDATA, 300));
    EXPECT_EQ(named("#65541") + named("#") + named(""), "-0-0-0");
    EXPECT_EQ(OrnResFindNamed(m, nullptr, ORN_RT_RCDATA, nullptr), nullptr);
}

TEST(ResourceModule, Loading) {
    zkqtest::TempDir dir;
    const std::string res = ModuleBytes("sample.res");
    zkqtest::WriteFile(dir.file("module.dat"), res);  // recognised by content, whatever the name
    zkqtest::WriteFile(dir.file("cut.res"), res.substr(0, res.size() - 7));
    zkqtest::WriteFile(dir.file("text.res"), "This is a text file and no resource module at all.\n");
    const restest::Module fromFile = restest::Load(dir.file("module.dat"));
    EXPECT_STREQ(OrnResModulePath(fromFile.get()), dir.file("module.dat").c_str());
    std::string bytes = res;
    const restest::Module fromMemory = FromBytes(bytes, "in memory");
    bytes.assign(bytes.size(), '\0');  // the module keeps its own copy
    EXPECT_STREQ(OrnResModulePath(fromMemory.get()), "in memory");
    EXPECT_EQ(Find(fromMemory.get(), ORN_RT_RCDATA, 0, "MyData"), "6:named\0"s);
    const std::pair<std::string, int> rejected[] = {
        {dir.file("missing.res"), ENOENT}, {dir.path(), EISDIR}, {dir.file("text.res"), EINVAL}, {dir.file("cut.res"), EINVAL}};
    for (const auto& [path, error] : rejected) {
        errno = 0;
        EXPECT_TRUE(OrnResLoadModule(path.c_str()) == nullptr && errno == error) << path;
    }
    // A FIFO in a module's place: rejected at once, not waited on for a writer.
    const std::string fifo = dir.file("fifo.res");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0666), 0);
    const zkqtest::ChildResult child = zkqtest::RunInChild([&] {
        errno = 0;
        ::_exit(OrnResLoadModule(fifo.c_str()) == nullptr && errno == EINVAL ? 0 : 1);
    }, 30);
    EXPECT_TRUE(child.ExitedWith(0)) << "blocked on, or accepted, a FIFO: " << child;
    // Null handles, and pointers that are no module handle, find nothing.
    long notAModule[8] = {};
    char buffer[8] = "xxxxxxx";
    OrnResDialog dialog;
    EXPECT_EQ(Find(reinterpret_cast<HINSTANCE>(notAModule), ORN_RT_RCDATA, 5) + Find(nullptr, ORN_RT_RCDATA, 0, "#5"), "-0-0");
    EXPECT_TRUE(OrnResLoadString(nullptr, 1, buffer, sizeof buffer) == -1 && buffer[0] == '\0');
    EXPECT_FALSE(OrnResLoadDialog(nullptr, 100, dialog) || OrnResLoadModule(nullptr));
    EXPECT_STREQ(OrnResModulePath(nullptr), "");
    OrnResFreeModule(nullptr);
    // An empty entry exists; a named type is no integer type.
    restest::ResBuilder made;
    made.Add(ORN_RT_RCDATA, 8, "").Add(restest::Wide("CUSTOM") + std::string(2, '\0'), restest::Ordinal(9), "x");
    const restest::Module handMade = FromBytes(made.bytes());
    EXPECT_EQ(Find(handMade.get(), ORN_RT_RCDATA, 8) + Find(handMade.get(), ORN_RT_RCDATA, 9), "0:-0");
}

// The string of id as the buffer holds it after loading into size bytes,
// with the result; the buffer holds 'x' before.
std::string String(HINSTANCE module, unsigned id, std::size_t size = 64) {
    char buffer[64];
    std::memset(buffer, 'x', sizeof buffer);
    const long length = OrnResLoadString(module, id, size ? buffer : nullptr, size);
    return std::to_string(length) + ":" + std::string(buffer, size < 64 ? size + 1 : std::strlen(buffer));
}

TEST_P(SampleModule, StringLoading) {
    // Strings of bundles 1, 2 and 292; ü ß € Š Ÿ (the last three in 1252's 0x80-0x9F range); CJK, a
    // surrogate pair and a lone surrogate become one '?' each.
    EXPECT_EQ(String(m, 1) + String(m, 17) + String(m, 4660), "5:Hello9:seventeen8:far away");
    EXPECT_EQ(String(m, 2) + String(m, 3), "10:Gr\xFC\xDF" "e \x80 \x8A\x9F" "12:wide ?|?|?|\x80");
    // Missing: an empty slot, slot 0 of bundle 2, no bundle, an id that would wrap onto 1.
    EXPECT_EQ(String(m, 0, 2) + String(m, 16, 2) + String(m, 5, 2) + String(m, 40, 2) + String(m, 0x10001, 2),
              "-1:\0xx-1:\0xx-1:\0xx-1:\0xx-1:\0xx"s);
    // Cut to the buffer, the full length reported; size 0 or no buffer only asks for the length.
    EXPECT_EQ(String(m, 4, 10) + String(m, 4, 1) + String(m, 4, 0) + String(m, 1, 6),
              "50:A somewha\0x50:\0x50:x5:Hello\0x"s);
}

TEST(ResourceStrings, BundleCutShort) {
    // A bundle whose second string claims more units than the entry holds.
    std::string bundle;
    restest::Put(bundle, 2, 2), bundle += restest::Wide("ok"), restest::Put(bundle, 40, 2), bundle += restest::Wide("short");
    const restest::Module cut = FromBytes(restest::ResBuilder().Add(ORN_RT_STRING, 1, bundle).bytes());
    EXPECT_EQ(String(cut.get(), 0, 3) + String(cut.get(), 1, 3) + String(cut.get(), 2, 3), "2:ok\0x-1:\0xxx-1:\0xxx"s);
}

// A dialog in one line per control after one for the template.
std::string Describe(const OrnResDialog& d) {
    char line[256];
    std::snprintf(line, sizeof line, "%s %x/%x %d,%d %dx%d '%s' '%s' %u\n", d.extended ? "ex" : "classic", d.style, d.exStyle,
                  d.x, d.y, d.cx, d.cy, d.title.c_str(), d.fontName.c_str(), d.fontSize);
    std::string out = line;
    for (const OrnResDialogItem& i : d.items) {
        std::snprintf(line, sizeof line, "%s '%s' %u %x/%x %d,%d %dx%d\n", i.className.c_str(), i.text.c_str(), i.id, i.style,
                      i.exStyle, i.x, i.y, i.cx, i.cy);
        out += line;
    }
    return out;
}

TEST_P(SampleModule, BothTemplateKinds) {
    OrnResDialog classic, extended, empty;
    empty.title = "stale";
    ASSERT_TRUE(OrnResLoadDialog(m, 100, classic) && OrnResLoadDialog(m, 101, extended) &&
                OrnResLoadDialog(m, 102, empty));
    // windres writes custom class names in capitals; -1 is the 16-bit id 0xFFFF.
    EXPECT_EQ(Describe(classic),
              "classic 80c80040/0 10,20 200x120 'Classic \xFC' 'Tahoma' 9\n"
              "BUTTON 'OK' 1 50010001/0 10,100 50x14\n" "EDIT '' 1704 50a10804/0 10,10 180x40\n"
              "STATIC 'Label' 65535 50020000/0 10,60 100x8\n" "LISTBOX '' 1710 50800001/0 10,70 50x20\n"
              "SCROLLBAR '' 1711 50000000/0 70,70 50x10\n" "COMBOBOX '' 1712 50010001/0 130,70 50x40\n"
              "MYCLASS 'custom' 1713 50000000/0 0,0 10x10\n");
    // 32-bit ids; the creation data behind the last control is skipped.
    EXPECT_EQ(Describe(extended),
              "ex 80c80048/1 0,0 150x80 'Extended' 'MS Shell Dlg' 8\n"
              "BUTTON '&Yes' 6 50010000/200 5,60 40x14\n" "BUTTON 'Frame' 1703 50000007/0 5,5 140x50\n"
              "EDIT '' 70000 50010004/0 10,15 60x20\n" "BUTTON 'data' 1714 50010000/0 80,15 60x20\n");
    EXPECT_EQ(Describe(empty), "classic 80c80000/0 0,0 60x40 '' '' 0\n");
    EXPECT_FALSE(OrnResLoadDialog(m, 103, empty) || OrnResLoadDialog(m, 5, empty));
}

// A classic template by hand: no font, one control whose class is an atom
// and whose title an ordinal.
std::string ClassicTemplate(std::uint16_t atom, std::uint16_t itemCount) {
    std::string t;
    restest::Put(t, 0x80C80000), restest::Put(t, 0), restest::Put(t, itemCount, 2);
    for (int i = 0; i < 4; ++i) restest::Put(t, 10, 2);
    restest::Put(t, 0), restest::Put(t, 0, 2);  // no menu, standard class, empty title
    restest::Put(t, 0x50000000), restest::Put(t, 0);
    for (int i = 0; i < 4; ++i) restest::Put(t, 5, 2);
    restest::Put(t, 42, 2), t += restest::Ordinal(atom) + restest::Ordinal(7), restest::Put(t, 0, 2);
    return t;
}

TEST(ResourceDialogs, HandMadeTemplates) {
    const std::string good = ClassicTemplate(0x80, 1);
    restest::ResBuilder res;
    // 3 claims a control it lacks; 4 has a menu name without terminator.
    res.Add(ORN_RT_DIALOG, 1, ClassicTemplate(0x82, 1)).Add(ORN_RT_DIALOG, 2, ClassicTemplate(0x99, 1))
        .Add(ORN_RT_DIALOG, 3, ClassicTemplate(0x80, 2)).Add(ORN_RT_DIALOG, 4, good.substr(0, 18) + restest::Wide("no end"));
    for (std::uint16_t cut = 0; cut < good.size(); ++cut) res.Add(ORN_RT_DIALOG, 100 + cut, good.substr(0, cut));
    const restest::Module module = FromBytes(res.bytes());
    ASSERT_NE(module, nullptr);
    OrnResDialog dialog;
    ASSERT_TRUE(OrnResLoadDialog(module.get(), 1, dialog));
    EXPECT_EQ(Describe(dialog), "classic 80c80000/0 10,10 10x10 '' '' 0\nSTATIC '' 42 50000000/0 5,5 5x5\n");
    ASSERT_TRUE(OrnResLoadDialog(module.get(), 2, dialog));
    EXPECT_EQ(dialog.items.at(0).className, "#153") << "an atom we do not know by name";
    EXPECT_FALSE(OrnResLoadDialog(module.get(), 3, dialog));
    EXPECT_TRUE(dialog.items.empty()) << "nothing half-filled is left behind";
    EXPECT_FALSE(OrnResLoadDialog(module.get(), 4, dialog));
    for (std::size_t cut = 0; cut < good.size(); ++cut) EXPECT_FALSE(OrnResLoadDialog(module.get(), 100 + cut, dialog)) << cut;
}

// Loads bytes and runs every lookup: 1 when it loaded, else 0 with errno
// EINVAL (-1 with any other errno). Damaged bytes in general are the fuzz
// target's.
int LoadAndExercise(const std::string& bytes) {
    errno = 0;
    const restest::Module module = FromBytes(bytes);
    if (module) restest::ExerciseAllLookups(module.get());
    return module ? 1 : errno == EINVAL ? 0 : -1;
}

// A PE image whose resource section holds three levels of directories
// sharing one subtree each (fan entries per directory) over one data entry
// of dataSize bytes ("data"); with loop, the root's one entry is the root.
std::string Tree(std::uint16_t fan, std::uint32_t dataSize, bool loop = false, bool plus = true) {
    const std::uint32_t rva = 0x1000, directory = 16 + fan * 8u;
    std::string tree;
    for (std::uint32_t level = 0; level < (loop ? 1 : 3); ++level) {
        tree.append(12, '\0'), restest::Put(tree, 0, 2), restest::Put(tree, fan, 2);
        for (std::uint16_t i = 0; i < fan; ++i) {
            const std::uint32_t target = loop ? 0 : (level + 1) * directory;  // a subdirectory above level 2
            restest::Put(tree, i + 1u), restest::Put(tree, target | (loop || level < 2 ? 0x80000000u : 0));
        }
    }
    restest::Put(tree, rva + 3 * directory + 16), restest::Put(tree, dataSize), restest::Put(tree, 0), restest::Put(tree, 0);
    return restest::MakePe(tree + "data", rva, plus);
}

TEST(ResourceDamage, HostilePeTrees) {
    // 200 x 200 x 200 leaves from 5 KB: refused, and quickly; a directory that
    // leads back to itself, and data beyond the image, are refused too.
    EXPECT_EQ(std::to_string(LoadAndExercise(Tree(200, 4))) + std::to_string(LoadAndExercise(Tree(1, 4, true))) +
                  std::to_string(LoadAndExercise(Tree(1, 0x7FFFFFF0))), "000");
    // With a fan of 3 the same shape is a valid module of 27 entries, as a PE32+ and a PE32 image.
    for (bool plus : {true, false}) EXPECT_EQ(Find(FromBytes(Tree(3, 4, false, plus)).get(), 3, 2), "4:data") << plus;
}

}  // namespace
