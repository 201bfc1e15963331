#include "dialog/tui/narrow_layout.h"

#include <algorithm>
#include <vector>

#include "dialog/text_measure.h"
#include "dialog/tui/text_cells.h"

namespace orneh {
namespace dialog {
namespace tui {
namespace {

bool IsButton(const Control& c) {
    return c.kind == ControlKind::kPushButton || c.kind == ControlKind::kDefPushButton;
}

// The narrowest a text may become before it moves under its neighbours.
constexpr int kLeast = 8;

}  // namespace

WindowModel FitToWidth(const WindowModel& model, int width) {
    if (model.width <= width || width <= kLeast) return model;
    WindowModel out = model;
    const int shrink = model.width - width;
    out.width = width;
    // Bands: controls whose rows overlap, from the top down.
    std::vector<std::size_t> order(model.controls.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        return model.controls[a].rect.top < model.controls[b].rect.top;
    });
    int added = 0;
    int shownAdded = 0;  // rows added above the shown part's end
    for (std::size_t at = 0; at < order.size();) {
        int bottom = model.controls[order[at]].rect.bottom;
        std::size_t end = at;
        while (end < order.size() && model.controls[order[end]].rect.top < bottom) {
            bottom = std::max(bottom, model.controls[order[end]].rect.bottom);
            ++end;
        }
        // The band's buttons, left to right, flow into as many rows as they need.
        std::vector<Control*> buttons;
        for (std::size_t i = at; i < end; ++i) {
            Control& c = out.controls[order[i]];
            c.rect.top += added;
            c.rect.bottom += added;
            if (IsButton(c) && c.visible) {
                buttons.push_back(&c);
            } else if (c.rect.right > width) {
                c.rect.right = std::min(width, std::max(c.rect.left + kLeast, c.rect.right - shrink));
                c.rect.left = std::min(c.rect.left, c.rect.right - std::min(kLeast, c.rect.Width()));
                // A text that now wraps into more rows than it has scrolls.
                const int rows = c.rect.Height() - ((c.style & kStyleBorder) ? 2 : 0);
                if (c.kind == ControlKind::kEdit && (c.style & kEditReadOnly) &&
                    static_cast<int>(WrapText(ExpandTabs(c.text), c.rect.Width() - 1).size()) > rows) {
                    c.style |= kStyleVScroll;
                }
            }
        }
        std::sort(buttons.begin(), buttons.end(), [](const Control* a, const Control* b) { return a->rect.left < b->rect.left; });
        int row = 0, x = buttons.empty() ? 0 : buttons.front()->rect.left;
        const int margin = x;
        for (Control* b : buttons) {
            const int w = std::min(b->rect.Width(), width - margin);
            const int h = b->rect.Height();
            if (x > margin && x + w > width) {
                x = margin;
                row += h;
            }
            b->rect = Rect{x, b->rect.top + row, x + w, b->rect.top + row + h};
            x += w + 1;
        }
        added += row;
        if (bottom <= model.height) shownAdded = added;
        at = end;
    }
    out.height = model.height + shownAdded;
    return out;
}

}  // namespace tui
}  // namespace dialog
}  // namespace orneh
