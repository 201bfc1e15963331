// Fuzzes the walks over text and caption tables: the first four bytes of an
// input are the number searched (little-endian), the rest is the table. The
// table lies in a block of exactly its size, so a read past it is a read past
// the block; a text that is found must begin and end inside the table.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

// The walks, compiled into this target with its instrumentation.
#include "core/text_tables.cpp"

namespace {

using orneh::core::FindCaption;
using orneh::core::FindTextRecord;
using orneh::core::TextRecord;

// A found text must start inside the table and have its NUL there too.
void CheckInside(const char* text, const unsigned char* table, std::size_t size) {
    const auto* begin = reinterpret_cast<const char*>(table);
    if (text < begin || text >= begin + size) std::abort();
    if (!std::memchr(text, 0, static_cast<std::size_t>(begin + size - text))) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 4) return 0;
    const unsigned long number = static_cast<unsigned long>(data[0]) |
                                 static_cast<unsigned long>(data[1]) << 8 |
                                 static_cast<unsigned long>(data[2]) << 16 |
                                 static_cast<unsigned long>(data[3]) << 24;
    const std::size_t tableSize = size - 4;
    std::unique_ptr<unsigned char[]> table(new unsigned char[tableSize == 0 ? 1 : tableSize]);
    if (tableSize > 0) std::memcpy(table.get(), data + 4, tableSize);

    TextRecord record{};
    if (FindTextRecord(table.get(), tableSize, number, record)) {
        if (number == 0) std::abort();  // the end mark is never a record
        CheckInside(record.text, table.get(), tableSize);
        // The record's four values lie behind the text, inside the table.
        const std::size_t behind =
            static_cast<std::size_t>(record.text - reinterpret_cast<const char*>(table.get())) +
            std::strlen(record.text) + 1;
        if (behind + 12 > tableSize) std::abort();
    }
    if (const char* caption = FindCaption(table.get(), tableSize, number)) {
        if (number == 0) std::abort();
        CheckInside(caption, table.get(), tableSize);
    }
    return 0;
}
