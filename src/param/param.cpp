// OrnEhParam: the list record, construction, copying, appending and reading.
#include <cstdio>

#include "OrnEh.h"
#include "OrnEhParam.h"
#include "base/alloc.h"
#include "base/contained.h"

namespace base = orneh::base;

struct OrnEhParam::ParamList {
    unsigned short capacity;
    unsigned short count;  // the next value goes into values[count]
    char** values;         // capacity slots; null when its allocation failed
};

// The helpers are templates so that they can take the private record type
// from the members that call them.
namespace {

// A new list with `slots` empty slots; the slot array stays null when it
// cannot be allocated. Null when the list itself cannot be allocated.
template <typename List>
List* NewList(unsigned short slots) {
    List* list = static_cast<List*>(base::Alloc(sizeof(List)));
    if (!list) return nullptr;
    list->capacity = slots;
    list->count = 0;
    list->values = static_cast<char**>(base::AllocZeroed(sizeof(char*) * slots));
    return list;
}

}  // namespace

OrnEhParam::OrnEhParam(unsigned short slots) : m_list(nullptr) {
    orneh::ContainedBrief([&] {
        m_list = NewList<ParamList>(slots);
    });
}

OrnEhParam::OrnEhParam(const OrnEhParam& other) : m_list(nullptr) {
    orneh::ContainedBrief([&] {
        const ParamList* source = other.m_list;
        if (!source) return;
        m_list = NewList<ParamList>(source->capacity);
        if (!m_list || !m_list->values || !source->values) return;
        // The slots below count are filled without gaps; a value that cannot
        // be copied ends the copy there so that the copy keeps that shape.
        for (unsigned short i = 0; i < source->count; ++i) {
            char* copy = OrnEhCopyString(source->values[i]);
            if (!copy) break;
            m_list->values[i] = copy;
            m_list->count = static_cast<unsigned short>(i + 1);
        }
    });
}

OrnEhParam::~OrnEhParam() {
    orneh::ContainedBrief([&] {
        if (!m_list) return;
        if (m_list->values) {
            for (unsigned short i = m_list->capacity; i > 0; --i) {
                OrnEhDeleteString(m_list->values[i - 1]);
            }
            base::Free(m_list->values);
        }
        base::Free(m_list);
        m_list = nullptr;
    });
}

namespace {

// Appends a copy of text to the list; a full list or a failed copy changes
// nothing.
template <typename List>
void Append(List* list, const char* text) {
    if (!text || !list || !list->values || list->count >= list->capacity) return;
    char* copy = OrnEhCopyString(text);
    if (!copy) return;
    list->values[list->count] = copy;
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
    if (!m_list || !m_list->values || index >= m_list->capacity) return nullptr;
    return m_list->values[index];
}

char** OrnEhParam::GetParamArray(unsigned short* slotCount) const {
    char** values = m_list ? m_list->values : nullptr;
    if (slotCount) *slotCount = values ? m_list->capacity : 0;
    return values;
}
