// Loading resource modules (.res files and PE DLLs, from files and from
// memory) and finding their entries.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "resource_test_support.h"

namespace {

using restest::FromBytes;
using restest::ModuleGuard;
using restest::ModulePath;

// The same resources reach us as a .res file, a PE32+ DLL and a PE32 image.
enum class Kind { Res, Dll, Pe32 };

HINSTANCE LoadKind(Kind kind) {
    switch (kind) {
        case Kind::Res:
            return OrnResLoadModule(ModulePath("sample.res").c_str());
        case Kind::Dll:
            return OrnResLoadModule(ModulePath("sample.dll").c_str());
        case Kind::Pe32: {
            restest::ResourceSection section;
            if (!restest::ExtractResourceSection(restest::ModuleBytes("sample.dll"), section)) return nullptr;
            return FromBytes(restest::MakePe(section, false), "sample32.dll");
        }
    }
    return nullptr;
}

class ResourceModuleKinds : public ::testing::TestWithParam<Kind> {};

TEST_P(ResourceModuleKinds, FindsEntriesByTypeAndIdWithTheirSizes) {
    ModuleGuard module(LoadKind(GetParam()));
    ASSERT_NE(module.get(), nullptr) << std::strerror(errno);

    std::size_t size = 0;
    const auto* data = static_cast<const unsigned char*>(OrnResFind(module.get(), ORN_RT_RCDATA, 5, &size));
    ASSERT_NE(data, nullptr);
    ASSERT_EQ(size, 14u);  // 1L, "abc\0", 2, 0x10000L
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(data), size),
              std::string("\x01\0\0\0abc\0\x02\0\0\0\x01\0", 14));

    EXPECT_NE(OrnResFind(module.get(), ORN_RT_DIALOG, 100, &size), nullptr);
    EXPECT_NE(OrnResFind(module.get(), ORN_RT_STRING, 1, &size), nullptr);  // bundle of strings 0-15

    // The right type is needed, and absent ids stay absent.
    size = 99;
    EXPECT_EQ(OrnResFind(module.get(), ORN_RT_DIALOG, 5, &size), nullptr);
    EXPECT_EQ(size, 0u);
    EXPECT_EQ(OrnResFind(module.get(), ORN_RT_RCDATA, 6, nullptr), nullptr);
    // Ids are 16 bits: a larger number must not wrap onto an entry.
    EXPECT_EQ(OrnResFind(module.get(), ORN_RT_RCDATA, 0x10005, nullptr), nullptr);
    EXPECT_EQ(OrnResFind(module.get(), ORN_RT_RCDATA, 0, nullptr), nullptr);
}

TEST_P(ResourceModuleKinds, FindsEntriesByName) {
    ModuleGuard module(LoadKind(GetParam()));
    ASSERT_NE(module.get(), nullptr);

    std::size_t size = 0;
    const void* named = OrnResFindNamed(module.get(), "MyData", ORN_RT_RCDATA, &size);
    ASSERT_NE(named, nullptr);
    EXPECT_EQ(size, 6u);
    EXPECT_STREQ(static_cast<const char*>(named), "named");
    EXPECT_EQ(OrnResFindNamed(module.get(), "mydata", ORN_RT_RCDATA, nullptr), named);
    EXPECT_EQ(OrnResFindNamed(module.get(), "MYDATA", ORN_RT_RCDATA, nullptr), named);
    EXPECT_EQ(OrnResFindNamed(module.get(), "MyDat", ORN_RT_RCDATA, nullptr), nullptr);
    EXPECT_EQ(OrnResFindNamed(module.get(), "MyDataX", ORN_RT_RCDATA, nullptr), nullptr);
    EXPECT_EQ(OrnResFindNamed(module.get(), "MyData", ORN_RT_DIALOG, nullptr), nullptr);

    // "#n" is the integer id n.
    EXPECT_EQ(OrnResFindNamed(module.get(), "#5", ORN_RT_RCDATA, &size), OrnResFind(module.get(), ORN_RT_RCDATA, 5, nullptr));
    EXPECT_EQ(size, 14u);
    EXPECT_EQ(OrnResFindNamed(module.get(), "#300", ORN_RT_RCDATA, nullptr),
              OrnResFind(module.get(), ORN_RT_RCDATA, 300, nullptr));
    EXPECT_EQ(OrnResFindNamed(module.get(), "#65541", ORN_RT_RCDATA, nullptr), nullptr);
    EXPECT_EQ(OrnResFindNamed(module.get(), "#", ORN_RT_RCDATA, nullptr), nullptr);
    EXPECT_EQ(OrnResFindNamed(module.get(), "", ORN_RT_RCDATA, nullptr), nullptr);
    EXPECT_EQ(OrnResFindNamed(module.get(), nullptr, ORN_RT_RCDATA, nullptr), nullptr);
}

INSTANTIATE_TEST_SUITE_P(AllKinds, ResourceModuleKinds, ::testing::Values(Kind::Res, Kind::Dll, Kind::Pe32));

TEST(ResourceModule, ReportsThePathItWasLoadedFrom) {
    std::string path = ModulePath("sample.res");
    ModuleGuard module(OrnResLoadModule(path.c_str()));
    ASSERT_NE(module.get(), nullptr);
    EXPECT_EQ(std::string(OrnResModulePath(module.get())), path);

    ModuleGuard fromMemory(FromBytes(restest::ModuleBytes("sample.res"), "in memory"));
    ASSERT_NE(fromMemory.get(), nullptr);
    EXPECT_STREQ(OrnResModulePath(fromMemory.get()), "in memory");
    EXPECT_STREQ(OrnResModulePath(nullptr), "");
}

TEST(ResourceModule, MemoryModuleKeepsItsOwnCopy) {
    std::string bytes = restest::ModuleBytes("sample.res");
    ModuleGuard module(FromBytes(bytes));
    ASSERT_NE(module.get(), nullptr);
    std::fill(bytes.begin(), bytes.end(), '\0');
    EXPECT_STREQ(static_cast<const char*>(OrnResFindNamed(module.get(), "MyData", ORN_RT_RCDATA, nullptr)), "named");
}

TEST(ResourceModule, RejectsFilesThatAreNoModules) {
    zkqtest::TempDir dir;

    errno = 0;
    EXPECT_EQ(OrnResLoadModule(dir.file("missing.res").c_str()), nullptr);
    EXPECT_EQ(errno, ENOENT);

    errno = 0;
    EXPECT_EQ(OrnResLoadModule(dir.path().c_str()), nullptr);
    EXPECT_EQ(errno, EISDIR);

    zkqtest::WriteFile(dir.file("empty.res"), "");
    errno = 0;
    EXPECT_EQ(OrnResLoadModule(dir.file("empty.res").c_str()), nullptr);
    EXPECT_EQ(errno, EINVAL);

    zkqtest::WriteFile(dir.file("text.res"), "This is a text file and no resource module at all.\n");
    errno = 0;
    EXPECT_EQ(OrnResLoadModule(dir.file("text.res").c_str()), nullptr);
    EXPECT_EQ(errno, EINVAL);

    // Recognised by content: a module loads whatever its name ends with,
    // and a cut-off one is rejected whatever its name says.
    std::string res = restest::ModuleBytes("sample.res");
    zkqtest::WriteFile(dir.file("module.dat"), res);
    ModuleGuard renamed(OrnResLoadModule(dir.file("module.dat").c_str()));
    EXPECT_NE(renamed.get(), nullptr);
    zkqtest::WriteFile(dir.file("cut.res"), res.substr(0, res.size() - 7));
    errno = 0;
    EXPECT_EQ(OrnResLoadModule(dir.file("cut.res").c_str()), nullptr);
    EXPECT_EQ(errno, EINVAL);

    errno = 0;
    EXPECT_EQ(OrnResLoadModule(nullptr), nullptr);
    EXPECT_NE(errno, 0);
}

TEST(ResourceModule, NullAndForeignHandlesFindNothing) {
    std::size_t size = 7;
    EXPECT_EQ(OrnResFind(nullptr, ORN_RT_RCDATA, 5, &size), nullptr);
    EXPECT_EQ(size, 0u);
    EXPECT_EQ(OrnResFindNamed(nullptr, "#5", ORN_RT_RCDATA, nullptr), nullptr);
    char buffer[8] = "xxxxxxx";
    EXPECT_EQ(OrnResLoadString(nullptr, 1, buffer, sizeof buffer), -1);
    EXPECT_STREQ(buffer, "");
    OrnResDialog dialog;
    EXPECT_FALSE(OrnResLoadDialog(nullptr, 100, dialog));
    OrnResFreeModule(nullptr);

    // A pointer that is no module handle is not taken for one.
    long notAModule[8] = {};
    EXPECT_EQ(OrnResFind(reinterpret_cast<HINSTANCE>(notAModule), ORN_RT_RCDATA, 5, nullptr), nullptr);
}

TEST(ResourceModule, ResFileWithOnlyTheNullEntryIsAnEmptyModule) {
    restest::ResBuilder res;
    ModuleGuard module(FromBytes(res.bytes()));
    ASSERT_NE(module.get(), nullptr);
    EXPECT_EQ(OrnResFind(module.get(), 0, 0, nullptr), nullptr);  // the null entry is no entry
}

TEST(ResourceModule, HandMadeResEntriesAreFound) {
    restest::ResBuilder res;
    res.Add(ORN_RT_RCDATA, 7, "seven")
        .Add(restest::ResBuilder::Name("CUSTOM"), restest::ResBuilder::Ordinal(9), "custom type")
        .Add(ORN_RT_RCDATA, 8, "");
    ModuleGuard module(FromBytes(res.bytes()));
    ASSERT_NE(module.get(), nullptr);
    std::size_t size = 0;
    const void* seven = OrnResFind(module.get(), ORN_RT_RCDATA, 7, &size);
    ASSERT_NE(seven, nullptr);
    EXPECT_EQ(std::string(static_cast<const char*>(seven), size), "seven");
    // An empty entry exists, with size 0.
    size = 1;
    EXPECT_NE(OrnResFind(module.get(), ORN_RT_RCDATA, 8, &size), nullptr);
    EXPECT_EQ(size, 0u);
    // A named type is not an integer type.
    EXPECT_EQ(OrnResFind(module.get(), ORN_RT_RCDATA, 9, nullptr), nullptr);
}

}  // namespace
