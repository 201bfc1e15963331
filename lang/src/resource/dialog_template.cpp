// Dialog templates (RT_DIALOG), classic DLGTEMPLATE and DLGTEMPLATEEX.
// Items start on four-byte boundaries counted from the template's start;
// creation data behind an item is skipped.
#include <exception>
#include <new>

#include "OrnLangResource.h"
#include "resource/byte_reader.h"
#include "resource/cp1252.h"
#include "resource/module.h"

namespace ornlang {
namespace resource {
namespace {

constexpr std::uint32_t kDsSetFont = 0x40;

// A "string or ordinal" field: 0x0000 (empty), 0xFFFF + ordinal, or a
// NUL-terminated UTF-16 string.
struct SzOrOrd {
    bool isOrdinal = false;
    std::uint16_t ordinal = 0;
    const std::uint8_t* text = nullptr;
    std::size_t units = 0;
};

bool ReadSzOrOrd(const ByteReader& r, std::size_t& offset, SzOrOrd& out) {
    std::uint16_t first;
    if (!r.U16(offset, first)) return false;
    out = SzOrOrd();
    if (first == 0xFFFF) {
        if (!r.U16(offset + 2, out.ordinal)) return false;
        out.isOrdinal = true;
        offset += 4;
        return true;
    }
    if (!r.Utf16Length(offset, out.units)) return false;
    out.text = r.data() + offset;
    offset += (out.units + 1) * 2;
    return true;
}

// Reads a plain NUL-terminated string (titles, font names).
bool ReadSz(const ByteReader& r, std::size_t& offset, SzOrOrd& out) {
    out = SzOrOrd();
    if (!r.Utf16Length(offset, out.units)) return false;
    out.text = r.data() + offset;
    offset += (out.units + 1) * 2;
    return true;
}

void AssignText(const SzOrOrd& field, std::string& out) {
    out.clear();
    if (field.isOrdinal || field.units == 0) return;
    std::size_t length = Utf16ToCp1252(field.text, field.units, nullptr, 0);
    out.resize(length);
    Utf16ToCp1252(field.text, field.units, &out[0], length + 1);
}

void AssignClass(const SzOrOrd& field, std::string& out) {
    if (!field.isOrdinal) {
        AssignText(field, out);
        return;
    }
    static const char* const kAtoms[] = {"BUTTON", "EDIT", "STATIC", "LISTBOX", "SCROLLBAR", "COMBOBOX"};
    if (field.ordinal >= 0x80 && field.ordinal <= 0x85) {
        out = kAtoms[field.ordinal - 0x80];
    } else {
        out = "#" + std::to_string(field.ordinal);
    }
}

bool ReadItem(const ByteReader& r, std::size_t& offset, bool extended, OrnResDialogItem& item) {
    offset = AlignUp4(offset);
    if (extended) {
        std::uint32_t helpId;
        if (!r.U32(offset, helpId) || !r.U32(offset + 4, item.exStyle) || !r.U32(offset + 8, item.style) ||
            !r.I16(offset + 12, item.x) || !r.I16(offset + 14, item.y) || !r.I16(offset + 16, item.cx) ||
            !r.I16(offset + 18, item.cy) || !r.U32(offset + 20, item.id))
            return false;
        offset += 24;
    } else {
        std::uint16_t id;
        if (!r.U32(offset, item.style) || !r.U32(offset + 4, item.exStyle) || !r.I16(offset + 8, item.x) ||
            !r.I16(offset + 10, item.y) || !r.I16(offset + 12, item.cx) || !r.I16(offset + 14, item.cy) ||
            !r.U16(offset + 16, id))
            return false;
        item.id = id;
        offset += 18;
    }
    SzOrOrd windowClass, title;
    std::uint16_t extraBytes;
    if (!ReadSzOrOrd(r, offset, windowClass) || !ReadSzOrOrd(r, offset, title) || !r.U16(offset, extraBytes) ||
        !r.Has(offset + 2, extraBytes))
        return false;
    offset += 2 + extraBytes;
    AssignClass(windowClass, item.className);
    AssignText(title, item.text);
    return true;
}

bool ParseDialog(const ByteReader& r, OrnResDialog& out) {
    std::uint16_t version, signature, count;
    std::size_t offset;
    out.extended = r.U16(0, version) && r.U16(2, signature) && version == 1 && signature == 0xFFFF;
    if (out.extended) {
        std::uint32_t helpId;
        if (!r.U32(4, helpId) || !r.U32(8, out.exStyle) || !r.U32(12, out.style) || !r.U16(16, count) ||
            !r.I16(18, out.x) || !r.I16(20, out.y) || !r.I16(22, out.cx) || !r.I16(24, out.cy))
            return false;
        offset = 26;
    } else {
        if (!r.U32(0, out.style) || !r.U32(4, out.exStyle) || !r.U16(8, count) || !r.I16(10, out.x) ||
            !r.I16(12, out.y) || !r.I16(14, out.cx) || !r.I16(16, out.cy))
            return false;
        offset = 18;
    }
    SzOrOrd menu, windowClass, title;
    if (!ReadSzOrOrd(r, offset, menu) || !ReadSzOrOrd(r, offset, windowClass) || !ReadSz(r, offset, title))
        return false;
    AssignText(title, out.title);
    if (out.style & kDsSetFont) {
        if (!r.U16(offset, out.fontSize)) return false;
        offset += out.extended ? 6 : 2;  // DLGTEMPLATEEX adds weight, italic and charset
        SzOrOrd face;
        if (!ReadSz(r, offset, face)) return false;
        AssignText(face, out.fontName);
    }
    // Every item takes at least 24 bytes: a bogus count cannot reserve much.
    out.items.reserve(count < r.size() / 24 ? count : r.size() / 24);
    for (std::uint16_t i = 0; i < count; ++i) {
        OrnResDialogItem item;
        if (!ReadItem(r, offset, out.extended, item)) return false;
        out.items.push_back(std::move(item));
    }
    return true;
}

}  // namespace
}  // namespace resource
}  // namespace ornlang

using namespace ornlang::resource;

bool OrnResLoadDialog(HINSTANCE handle, unsigned int id, OrnResDialog& out) {
    try {
        out = OrnResDialog();
        const Module* module = FromHandle(handle);
        const ResEntry* entry = module ? FindById(*module, ORN_RT_DIALOG, id) : nullptr;
        if (entry && ParseDialog(ByteReader(entry->data, entry->size), out)) return true;
        out = OrnResDialog();
        return false;
    } catch (...) {
        if (!std::current_exception()) throw;  // the unwind that ends the thread
        out = OrnResDialog();
        return false;
    }
}
