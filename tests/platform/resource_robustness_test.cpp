// Damaged modules: every prefix of a real module, every single corrupted
// byte, PE resource trees that loop or explode. Each must be rejected or
// load into a module whose lookups stay inside the loaded bytes (run under
// AddressSanitizer to see that).
#include <gtest/gtest.h>

#include <cerrno>
#include <string>

#include "resource_test_support.h"

namespace {

using restest::FromBytes;
using restest::ModuleGuard;

// Loads bytes from memory and runs every lookup; true when it loaded.
bool LoadAndExercise(const std::string& bytes) {
    ModuleGuard module(FromBytes(bytes));
    if (!module.get()) return false;
    restest::ExerciseAllLookups(module.get());
    return true;
}

class ResourceDamage : public ::testing::TestWithParam<const char*> {};

TEST_P(ResourceDamage, EveryPrefixIsRejectedOrSafe) {
    const std::string full = restest::ModuleBytes(GetParam());
    ASSERT_FALSE(full.empty());
    int loaded = 0;
    for (std::size_t length = 0; length < full.size(); ++length) {
        errno = 0;
        if (LoadAndExercise(full.substr(0, length))) {
            ++loaded;
        } else {
            EXPECT_EQ(errno, EINVAL) << "prefix of " << length << " bytes";
        }
    }
    EXPECT_TRUE(LoadAndExercise(full));
    // A .res cut between two entries is still a (smaller) module; a PE cut
    // anywhere before its resource data is not.
    if (std::string(GetParam()).find(".res") != std::string::npos) {
        EXPECT_GT(loaded, 0);
    }
}

TEST_P(ResourceDamage, EveryCorruptedByteIsRejectedOrSafe) {
    const std::string full = restest::ModuleBytes(GetParam());
    ASSERT_FALSE(full.empty());
    for (std::size_t at = 0; at < full.size(); ++at) {
        for (unsigned char value : {0x00, 0x7F, 0x80, 0xFF}) {
            std::string damaged = full;
            damaged[at] = static_cast<char>(value);
            LoadAndExercise(damaged);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(ResAndDll, ResourceDamage, ::testing::Values("sample.res", "sample.dll"));

TEST(ResourceDamage, TruncatedPe32IsRejectedOrSafe) {
    restest::ResourceSection section;
    ASSERT_TRUE(restest::ExtractResourceSection(restest::ModuleBytes("sample.dll"), section));
    const std::string pe = restest::MakePe(section, false);
    for (std::size_t length = 0; length < pe.size(); ++length) LoadAndExercise(pe.substr(0, length));
    EXPECT_TRUE(LoadAndExercise(pe));
}

// A resource section holding directories laid out by hand. Each directory
// is 16 bytes of header (named count at 12, id count at 14) and its entries.
class TreeBuilder {
public:
    // Appends a directory whose count entries all lead to target (a
    // subdirectory offset when subdirectory, else a data entry offset).
    std::uint32_t Directory(std::uint16_t count, std::uint32_t target, bool subdirectory) {
        std::uint32_t at = static_cast<std::uint32_t>(m_bytes.size());
        m_bytes.append(12, '\0');
        restest::Put16(m_bytes, 0);
        restest::Put16(m_bytes, count);
        for (std::uint16_t i = 0; i < count; ++i) {
            restest::Put32(m_bytes, i + 1u);
            restest::Put32(m_bytes, subdirectory ? (target | 0x80000000u) : target);
        }
        return at;
    }
    std::string& bytes() { return m_bytes; }

private:
    std::string m_bytes;
};

constexpr std::uint32_t kSectionRva = 0x1000;

std::string ImageOf(const std::string& tree) {
    restest::ResourceSection section;
    section.bytes = tree;
    section.virtualAddress = kSectionRva;
    section.directorySize = static_cast<std::uint32_t>(tree.size());
    return restest::MakePe(section, true);
}

TEST(ResourcePeTrees, DirectoryThatLeadsBackToItselfIsRejected) {
    // The root's only type entry leads to the root again.
    TreeBuilder tree;
    tree.Directory(1, 0, true);
    errno = 0;
    EXPECT_FALSE(LoadAndExercise(ImageOf(tree.bytes())));
    EXPECT_EQ(errno, EINVAL);
}

TEST(ResourcePeTrees, SharedSubtreesCannotMultiplyWithoutBound) {
    // 200 types x 200 names x 200 languages, all sharing the same three
    // directories: 8 million leaves from 5 KB. Refused, and quickly.
    const std::uint16_t fan = 200;
    const std::uint32_t headerAndEntries = 16 + fan * 8u;
    TreeBuilder tree;
    tree.Directory(fan, headerAndEntries, true);
    tree.Directory(fan, 2 * headerAndEntries, true);
    tree.Directory(fan, 3 * headerAndEntries, false);
    restest::Put32(tree.bytes(), kSectionRva);  // the data entry: RVA, size, code page, reserved
    restest::Put32(tree.bytes(), 4);
    restest::Put32(tree.bytes(), 0);
    restest::Put32(tree.bytes(), 0);
    errno = 0;
    EXPECT_FALSE(LoadAndExercise(ImageOf(tree.bytes())));
    EXPECT_EQ(errno, EINVAL);
}

TEST(ResourcePeTrees, SmallSharedTreeIsAcceptedAndFound) {
    // The same shape with a fan of 3 is a valid module of 27 entries.
    const std::uint16_t fan = 3;
    const std::uint32_t headerAndEntries = 16 + fan * 8u;
    TreeBuilder tree;
    tree.Directory(fan, headerAndEntries, true);
    tree.Directory(fan, 2 * headerAndEntries, true);
    tree.Directory(fan, 3 * headerAndEntries, false);
    std::uint32_t dataOffset = static_cast<std::uint32_t>(tree.bytes().size()) + 16;
    restest::Put32(tree.bytes(), kSectionRva + dataOffset);
    restest::Put32(tree.bytes(), 4);
    restest::Put32(tree.bytes(), 0);
    restest::Put32(tree.bytes(), 0);
    tree.bytes() += "data";
    ModuleGuard module(FromBytes(ImageOf(tree.bytes())));
    ASSERT_NE(module.get(), nullptr);
    std::size_t size = 0;
    const void* data = OrnResFind(module.get(), 3, 2, &size);
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(std::string(static_cast<const char*>(data), size), "data");
}

TEST(ResourcePeTrees, DataOutsideTheImageIsRejected) {
    TreeBuilder tree;
    tree.Directory(1, 16 + 8, true);
    tree.Directory(1, 2 * (16 + 8), true);
    tree.Directory(1, 3 * (16 + 8), false);
    restest::Put32(tree.bytes(), kSectionRva + 0x10);
    restest::Put32(tree.bytes(), 0x7FFFFFF0);  // far more than the section holds
    restest::Put32(tree.bytes(), 0);
    restest::Put32(tree.bytes(), 0);
    errno = 0;
    EXPECT_FALSE(LoadAndExercise(ImageOf(tree.bytes())));
    EXPECT_EQ(errno, EINVAL);
}

TEST(ResourceResFiles, HeaderSizesThatLieAreRejected) {
    restest::ResBuilder res;
    res.Add(ORN_RT_RCDATA, 7, "seven");
    const std::string good = res.bytes();
    // Entry 1 starts at 32: DataSize at 32, HeaderSize at 36.
    for (std::uint32_t headerSize : {0u, 4u, 8u, 16u, 31u, 0xFFFFFFF0u}) {
        std::string bad = good;
        restest::Set32(bad, 36, headerSize);
        errno = 0;
        EXPECT_FALSE(LoadAndExercise(bad)) << headerSize;
        EXPECT_EQ(errno, EINVAL);
    }
    for (std::uint32_t dataSize : {9u, 0x1000u, 0xFFFFFFFFu}) {
        std::string bad = good;
        restest::Set32(bad, 32, dataSize);
        EXPECT_FALSE(LoadAndExercise(bad)) << dataSize;
    }
    // A name without terminator inside its header.
    std::string name = restest::Wide("ABCDEFGHIJKLMNOPQRSTUVWXYZ");
    restest::ResBuilder unterminated;
    unterminated.Add(restest::ResBuilder::Ordinal(ORN_RT_RCDATA), name, "x");
    EXPECT_FALSE(LoadAndExercise(unterminated.bytes()));
}

}  // namespace
