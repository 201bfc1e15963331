#include "dialog/dialog_window.h"

#include <strings.h>

#include "OrnLangIds.h"
#include "dialog/text_measure.h"

namespace orneh {
namespace dialog {
namespace {

ControlKind KindOf(const OrnResDialogItem& item) {
    const unsigned int type = item.style & 0x0F;
    if (strcasecmp(item.className.c_str(), "BUTTON") == 0) {
        if (type == 0x07) return ControlKind::kGroupBox;
        return type == 0x01 ? ControlKind::kDefPushButton : ControlKind::kPushButton;
    }
    if (strcasecmp(item.className.c_str(), "EDIT") == 0) return ControlKind::kEdit;
    if (strcasecmp(item.className.c_str(), "STATIC") == 0) {
        return type == 0x03 ? ControlKind::kIcon : ControlKind::kStatic;
    }
    return ControlKind::kOther;
}

bool IsButton(ControlKind kind) {
    return kind == ControlKind::kPushButton || kind == ControlKind::kDefPushButton;
}

}  // namespace

bool BuildWindowModel(const OrnResDialog& tpl, const FontMetrics& font, WindowModel& out) {
    constexpr std::uint32_t kVisible = 0x10000000, kDisabled = 0x08000000;
    out = WindowModel();
    out.caption = tpl.title;
    out.fontName = tpl.fontName;
    out.fontPoints = tpl.fontSize;
    out.font = font;
    out.style = tpl.style;
    out.width = DialogUnitsX(tpl.cx, font);
    out.height = DialogUnitsY(tpl.cy, font);
    for (const OrnResDialogItem& item : tpl.items) {
        Control c;
        c.id = item.id;
        c.kind = KindOf(item);
        c.style = item.style;
        c.text = item.text;
        c.rect.left = DialogUnitsX(item.x, font);
        c.rect.top = DialogUnitsY(item.y, font);
        c.rect.right = DialogUnitsX(item.x + item.cx, font);
        c.rect.bottom = DialogUnitsY(item.y + item.cy, font);
        c.visible = (item.style & kVisible) != 0;
        c.enabled = (item.style & kDisabled) == 0;
        out.controls.push_back(c);
    }
    // The eleven controls and their classes (a frame is a button-class control).
    const struct { unsigned int id; bool (*fits)(ControlKind); } needed[] = {
        {IDOK, IsButton}, {IDC_EH_BUTTON2, IsButton}, {IDC_EH_BUTTON3, IsButton},
        {IDC_EH_SAVE, IsButton}, {IDC_EH_DETAILS_TOGGLE, IsButton}, {IDC_EH_PRINT, IsButton},
        {IDC_EH_HANDOVER, IsButton},
        {IDC_EH_DETAILS_FRAME, [](ControlKind k) { return k == ControlKind::kGroupBox || IsButton(k); }},
        {IDC_EH_MESSAGE, [](ControlKind k) { return k == ControlKind::kEdit; }},
        {IDC_EH_DETAILS, [](ControlKind k) { return k == ControlKind::kEdit; }},
        {IDC_EH_COMMENT, [](ControlKind k) { return k == ControlKind::kEdit; }},
    };
    for (const auto& n : needed) {
        const Control* c = out.Find(n.id);
        if (!c || !n.fits(c->kind)) return false;
    }
    return true;
}

}  // namespace dialog
}  // namespace orneh
