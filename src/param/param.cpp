// OrnEhParam: the list record, construction, copying, appending and reading.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>

#include "OrnEh.h"
#include "OrnEhParam.h"
#include "base/alloc.h"
#include "base/contained.h"

namespace base = orneh::base;

// One block: this header, the slot array right behind it, and an area for
// the texts of the slots. A text goes into the area while it fits, else it
// gets a block of its own. A list inside another block (an exception's
// record, PlaceCopy) is not freed on its own.
struct alignas(char*) OrnEhParam::ParamList {
    unsigned short capacity;
    unsigned short count;  // the next value goes into values[count]
    unsigned short spilled;  // values in blocks of their own
    bool embedded;
    std::uint32_t room;    // bytes of the text area
    std::uint32_t used;    // bytes of it taken
    // The slot array, right behind this header.
    char** values() const { return reinterpret_cast<char**>(const_cast<ParamList*>(this) + 1); }
};

// The helpers are templates so that they can take the private record type
// from the members that call them.
namespace {

// Text area of a list made with room for its own appends: enough for short
// values (numbers, names) in every slot.
const std::size_t kRoomPerSlot = 16;
const std::size_t kMaxRoom = 1024;

std::size_t DefaultRoom(std::size_t slots) {
    std::size_t room = slots * kRoomPerSlot;
    return room < kMaxRoom ? room : kMaxRoom;
}

template <typename List>
std::size_t ListSize(std::size_t slots, std::size_t room) {
    return sizeof(List) + sizeof(char*) * slots + room;
}

// Lays out a list with `slots` empty slots and `room` text bytes in block.
template <typename List>
List* LayOut(void* block, unsigned short slots, std::size_t room, bool embedded) {
    List* list = static_cast<List*>(block);
    list->capacity = slots;
    list->count = 0;
    list->spilled = 0;
    list->embedded = embedded;
    list->room = static_cast<std::uint32_t>(room);
    list->used = 0;
    std::memset(list->values(), 0, sizeof(char*) * slots);
    return list;
}

// A new list with `slots` empty slots; null when it cannot be allocated.
template <typename List>
List* NewList(unsigned short slots, std::size_t room) {
    void* block = base::Alloc(ListSize<List>(slots, room));
    return block ? LayOut<List>(block, slots, room, false) : nullptr;
}

template <typename List>
char* Area(const List* list) {
    return reinterpret_cast<char*>(list->values() + list->capacity);
}

template <typename List>
bool InArea(const List* list, const char* text) {
    const char* area = Area(list);
    return text >= area && text < area + list->room;
}

// A copy of text in the list's area, or in a block of its own; null when
// that cannot be allocated.
template <typename List>
char* Store(List* list, const char* text) {
    const std::size_t size = std::strlen(text) + 1;
    if (size > list->room - list->used) {
        char* copy = OrnEhCopyString(text);
        if (copy) ++list->spilled;
        return copy;
    }
    char* copy = Area(list) + list->used;
    std::memcpy(copy, text, size);
    list->used += static_cast<std::uint32_t>(size);
    return copy;
}

// The bytes the stored values of list take.
template <typename List>
std::size_t TextBytes(const List* list) {
    if (!list->spilled) return list->used;
    std::size_t bytes = 0;
    for (unsigned short i = 0; i < list->count; ++i) bytes += std::strlen(list->values()[i]) + 1;
    return bytes;
}

// Copies the values of source into the empty list (which has the room for
// them, or gives a value that does not fit a block of its own). The slots
// below count are filled without gaps; a value that cannot be copied ends
// the copy there so that the copy keeps that shape.
template <typename List>
void CopyValues(List* list, const List* source) {
    if (!source->spilled && source->used <= list->room - list->used) {
        // Every value is in the source's area, in slot order: one copy.
        char* area = Area(list) + list->used;
        const char* from = Area(source);
        std::memcpy(area, from, source->used);
        for (unsigned short i = 0; i < source->count; ++i) list->values()[i] = area + (source->values()[i] - from);
        list->used += source->used;
        list->count = source->count;
        return;
    }
    for (unsigned short i = 0; i < source->count; ++i) {
        char* copy = Store(list, source->values()[i]);
        if (!copy) break;
        list->values()[i] = copy;
        list->count = static_cast<unsigned short>(i + 1);
    }
}

}  // namespace

OrnEhParam::OrnEhParam(unsigned short slots) : m_list(nullptr) {
    orneh::ContainedBrief([&] {
        m_list = NewList<ParamList>(slots, DefaultRoom(slots));
    });
}

OrnEhParam::OrnEhParam(const OrnEhParam& other) : m_list(nullptr) {
    orneh::ContainedBrief([&] {
        const ParamList* source = other.m_list;
        if (!source) return;
        const std::size_t free = static_cast<std::size_t>(source->capacity - source->count);
        m_list = NewList<ParamList>(source->capacity, TextBytes(source) + DefaultRoom(free));
        if (m_list) CopyValues(m_list, source);
    });
}

OrnEhParam::OrnEhParam(Placed, ParamList* list) : m_list(list) {}

std::size_t OrnEhParam::PlacedSize(const OrnEhParam& other) {
    const ParamList* source = other.m_list;
    return sizeof(OrnEhParam) + (source ? ListSize<ParamList>(source->capacity, TextBytes(source)) : 0);
}

OrnEhParam* OrnEhParam::PlaceCopy(void* block, const OrnEhParam& other) {
    const ParamList* source = other.m_list;
    ParamList* list = nullptr;
    if (source) {
        void* at = static_cast<char*>(block) + sizeof(OrnEhParam);
        list = LayOut<ParamList>(at, source->capacity, TextBytes(source), true);
        CopyValues(list, source);
    }
    return ::new (block) OrnEhParam(Placed::kInBlock, list);
}

OrnEhParam::~OrnEhParam() {
    orneh::ContainedBrief([&] {
        if (!m_list) return;
        for (unsigned short i = m_list->capacity; i > 0; --i) {
            if (!InArea(m_list, m_list->values()[i - 1])) OrnEhDeleteString(m_list->values()[i - 1]);
        }
        if (!m_list->embedded) base::Free(m_list);
        m_list = nullptr;
    });
}

namespace {

// Appends a copy of text to the list; a full list or a failed copy changes
// nothing.
template <typename List>
void Append(List* list, const char* text) {
    if (!text || !list || list->count >= list->capacity) return;
    char* copy = Store(list, text);
    if (!copy) return;
    list->values()[list->count] = copy;
    ++list->count;
}

}  // namespace

void OrnEhParam::SetParam(unsigned short value) {
    orneh::ContainedBrief([&] {
        char text[8];
        std::snprintf(text, sizeof text, "%hu", value);
        Append(m_list, text);
    });
}

void OrnEhParam::SetParam(short value) {
    orneh::ContainedBrief([&] {
        char text[8];
        std::snprintf(text, sizeof text, "%hd", value);
        Append(m_list, text);
    });
}

void OrnEhParam::SetParam(unsigned long value) {
    orneh::ContainedBrief([&] {
        char text[24];
        std::snprintf(text, sizeof text, "%lu", value);
        Append(m_list, text);
    });
}

void OrnEhParam::SetParam(long value) {
    orneh::ContainedBrief([&] {
        char text[24];
        std::snprintf(text, sizeof text, "%ld", value);
        Append(m_list, text);
    });
}

void OrnEhParam::SetParam(char value) {
    orneh::ContainedBrief([&] {
        char text[2];
        std::snprintf(text, sizeof text, "%c", value);
        Append(m_list, text);
    });
}

void OrnEhParam::SetParam(double value, unsigned short width, unsigned short precision) {
    orneh::ContainedBrief([&] {
        // "%<width>.<precision>g"; both numbers are at most five digits.
        char format[20];
        std::snprintf(format, sizeof format, "%s%hu.%hug", "%", width, precision);
        // The printed number is cut at 99 characters: a large width or
        // precision cannot write past the buffer.
        char text[100];
        std::snprintf(text, sizeof text, format, value);
        Append(m_list, text);
    });
}

void OrnEhParam::SetParam(const char* const text) {
    orneh::ContainedBrief([&] {
        Append(m_list, text);
    });
}

unsigned short OrnEhParam::GetParamAnz() {
    return m_list ? m_list->capacity : 0;
}

const char* OrnEhParam::GetParam(unsigned short index) const {
    if (!m_list || index >= m_list->capacity) return nullptr;
    return m_list->values()[index];
}

char** OrnEhParam::GetParamArray(unsigned short* slotCount) const {
    char** values = m_list ? m_list->values() : nullptr;
    if (slotCount) *slotCount = values ? m_list->capacity : 0;
    return values;
}
