// Resource-only PE images (PE32 and PE32+), read as data: the resource
// directory is found through the optional header's data directory and the
// section table, and its type -> name -> language tree is indexed.
#include <cerrno>

#include "resource/byte_reader.h"
#include "resource/module.h"

namespace ornlang {
namespace resource {
namespace {

constexpr std::uint16_t kMagicPe32 = 0x10B;
constexpr std::uint16_t kMagicPe32Plus = 0x20B;
constexpr std::uint32_t kResourceDirectoryIndex = 2;
constexpr std::size_t kSectionHeaderSize = 40;
constexpr std::uint32_t kHighBit = 0x80000000u;
// A tree whose subdirectory links form cycles would repeat without end;
// no real module comes near this many directory entries.
constexpr std::size_t kMaxVisitedEntries = 1u << 17;

bool Fail() {
    errno = EINVAL;
    return false;
}

struct Image {
    ByteReader file;
    std::size_t sectionTable = 0;
    std::uint16_t sectionCount = 0;

    explicit Image(const std::uint8_t* data, std::size_t size) : file(data, size) {}

    // File offset of [rva, rva + length) when a section's raw data holds it;
    // room gives how many bytes of that section's raw data follow rva.
    bool RvaToOffset(std::uint32_t rva, std::uint32_t length, std::size_t& offset, std::size_t* room) const {
        for (std::uint16_t i = 0; i < sectionCount; ++i) {
            std::size_t at = sectionTable + i * kSectionHeaderSize;
            std::uint32_t virtualAddress, rawSize, rawPointer;
            if (!file.U32(at + 12, virtualAddress) || !file.U32(at + 16, rawSize) ||
                !file.U32(at + 20, rawPointer))
                return false;
            if (rva < virtualAddress) continue;
            std::uint32_t delta = rva - virtualAddress;
            if (delta >= rawSize || length > rawSize - delta) continue;
            std::size_t start = static_cast<std::size_t>(rawPointer) + delta;
            std::size_t available = rawSize - delta;
            if (!file.Has(start, 0)) return false;
            if (available > file.size() - start) available = file.size() - start;
            if (length > available) return false;
            offset = start;
            if (room) *room = available;
            return true;
        }
        return false;
    }
};

class TreeWalker {
public:
    TreeWalker(const Image& image, const ByteReader& tree, EntryList& entries)
        : m_image(image), m_tree(tree), m_entries(entries) {}

    // Walks the directory at offset on level 0 (types), 1 (names) or 2
    // (languages), with the type and name chosen on the levels above.
    bool Walk(std::uint32_t offset, int level, ResEntry& entry) {
        std::uint16_t named, numbered;
        if (!m_tree.U16(offset + 12, named) || !m_tree.U16(offset + 14, numbered)) return Fail();
        std::size_t count = static_cast<std::size_t>(named) + numbered;
        if (!m_tree.Has(offset + 16, count * 8)) return Fail();
        for (std::size_t i = 0; i < count; ++i) {
            if (++m_visited > kMaxVisitedEntries) return Fail();
            std::uint32_t nameField, target;
            std::size_t at = offset + 16 + i * 8;
            if (!m_tree.U32(at, nameField) || !m_tree.U32(at + 4, target)) return Fail();
            ResName name;
            if (!ReadName(nameField, name)) return Fail();
            bool isDirectory = (target & kHighBit) != 0;
            if (level < 2) {
                if (!isDirectory) return Fail();
                (level == 0 ? entry.type : entry.name) = name;
                if (!Walk(target & ~kHighBit, level + 1, entry)) return false;
            } else {
                if (isDirectory || name.text) return Fail();
                entry.language = name.id;
                if (!AddData(target, entry)) return false;
            }
        }
        return true;
    }

private:
    bool ReadName(std::uint32_t field, ResName& out) const {
        out = ResName();
        if (field & kHighBit) {
            std::uint32_t at = field & ~kHighBit;
            std::uint16_t units;
            if (!m_tree.U16(at, units) || !m_tree.Has(at + 2u, units * 2u)) return false;
            out.text = m_tree.data() + at + 2;
            out.units = units;
            return true;
        }
        if (field > 0xFFFF) return false;
        out.id = static_cast<std::uint16_t>(field);
        return true;
    }

    bool AddData(std::uint32_t offset, ResEntry& entry) {
        std::uint32_t rva, size;
        if (!m_tree.U32(offset, rva) || !m_tree.U32(offset + 4, size)) return Fail();
        std::size_t fileOffset;
        if (!m_image.RvaToOffset(rva, size, fileOffset, nullptr)) return Fail();
        entry.data = m_image.file.data() + fileOffset;
        entry.size = size;
        if (!m_entries.Add(entry)) {
            errno = ENOMEM;
            return false;
        }
        return true;
    }

    const Image& m_image;
    const ByteReader& m_tree;
    EntryList& m_entries;
    std::size_t m_visited = 0;
};

}  // namespace

bool LooksLikePeImage(const std::uint8_t* data, std::size_t size) {
    ByteReader file(data, size);
    std::uint16_t mz;
    std::uint32_t peOffset, signature;
    return file.U16(0, mz) && mz == 0x5A4D && file.U32(0x3C, peOffset) && file.U32(peOffset, signature) &&
           signature == 0x00004550;
}

bool ParsePeImage(const std::uint8_t* data, std::size_t size, EntryList& entries) {
    if (!LooksLikePeImage(data, size)) return Fail();
    Image image(data, size);
    std::uint32_t peOffset = 0;
    if (!image.file.U32(0x3C, peOffset)) return Fail();
    std::size_t coff = static_cast<std::size_t>(peOffset) + 4;
    std::uint16_t optionalSize, magic;
    if (!image.file.U16(coff + 2, image.sectionCount) || !image.file.U16(coff + 16, optionalSize)) return Fail();
    std::size_t optional = coff + 20;
    if (!image.file.Has(optional, optionalSize) || !image.file.U16(optional, magic)) return Fail();
    image.sectionTable = optional + optionalSize;
    if (!image.file.Has(image.sectionTable, image.sectionCount * kSectionHeaderSize)) return Fail();

    std::size_t countAt, directories;
    if (magic == kMagicPe32) {
        countAt = 92;
        directories = 96;
    } else if (magic == kMagicPe32Plus) {
        countAt = 108;
        directories = 112;
    } else {
        return Fail();
    }
    ByteReader header(data + optional, optionalSize);
    std::uint32_t directoryCount, resourceRva, resourceSize;
    if (!header.U32(countAt, directoryCount)) return Fail();
    std::size_t resourceAt = directories + kResourceDirectoryIndex * 8;
    if (directoryCount <= kResourceDirectoryIndex || !header.U32(resourceAt, resourceRva) ||
        !header.U32(resourceAt + 4, resourceSize))
        return Fail();
    if (resourceRva == 0 || resourceSize == 0) return true;  // no resources at all

    std::size_t treeOffset, treeRoom;
    if (!image.RvaToOffset(resourceRva, 16, treeOffset, &treeRoom)) return Fail();
    ByteReader tree(data + treeOffset, treeRoom);
    TreeWalker walker(image, tree, entries);
    ResEntry entry;
    return walker.Walk(0, 0, entry);
}

}  // namespace resource
}  // namespace ornlang
