#include "dialog/tui/terminal_view.h"

#include <algorithm>
#include <vector>

#include "dialog/text_measure.h"
#include "dialog/tui/draw.h"
#include "dialog/tui/narrow_layout.h"
#include "dialog/tui/text_cells.h"

namespace orneh {
namespace dialog {
namespace tui {
namespace {

constexpr int kPollMilliseconds = 200;  // how often signals and size changes are looked at
// Every so many polls the whole screen is written again: output of other
// threads or processes on the same terminal does not stay over the dialog.
constexpr int kPollsPerRepaint = 10;
constexpr wint_t kEndOfInput = 4;  // Ctrl+D

bool IsButton(const Control& c) {
    return c.kind == ControlKind::kPushButton || c.kind == ControlKind::kDefPushButton;
}
bool IsEditable(const Control& c) { return c.kind == ControlKind::kEdit && !(c.style & kEditReadOnly); }
bool IsReadOnlyText(const Control& c) { return c.kind == ControlKind::kEdit && (c.style & kEditReadOnly); }
bool IsBoxed(const Control& c) { return IsReadOnlyText(c) && (c.style & kStyleBorder); }

}  // namespace

TerminalView::TerminalView(const WindowModel& model) : m_model(model) {
    if (m_session.ok()) SetUpColours();
}

TerminalView::~TerminalView() {
    if (m_pad) delwin(m_pad);
}

bool TerminalView::Focusable(const Control& c) const {
    return c.visible && c.enabled && (c.style & kStyleTabStop) && c.rect.top < m_model.height &&
           (IsButton(c) || c.kind == ControlKind::kEdit);
}

Rect TerminalView::Placed(const Rect& r) const {
    auto row = [this](int y) {
        if (y < 0 || m_rowMap.empty()) return y + 1;
        return m_rowMap[static_cast<std::size_t>(std::min(y, static_cast<int>(m_rowMap.size()) - 1))] + 1 +
               std::max(0, y - static_cast<int>(m_rowMap.size()) + 1);
    };
    return Rect{r.left + 1, row(r.top), r.right + 1, row(r.bottom)};
}

void TerminalView::FitRows() {
    // A window taller than the terminal gives up rows, in this order: the
    // empty rows at the end of a text field, rows of a scrolling field (down
    // to three, the comment to two), empty rows between controls. What still
    // does not fit scrolls with the focus.
    const int height = std::max(0, m_model.height);
    std::vector<int> owner(static_cast<std::size_t>(height), 0);  // controls covering a row
    std::vector<bool> edge(static_cast<std::size_t>(height), false);
    for (const Control& c : m_model.controls) {
        if (!c.visible || c.rect.top >= height) continue;
        for (int y = std::max(0, c.rect.top); y < std::min(c.rect.bottom, height); ++y) {
            ++owner[static_cast<std::size_t>(y)];
        }
        if (c.rect.top >= 0) edge[static_cast<std::size_t>(c.rect.top)] = true;
        if (c.rect.bottom > 0 && c.rect.bottom <= height) edge[static_cast<std::size_t>(c.rect.bottom - 1)] = true;
    }
    std::vector<int> freeRows, blankRows;
    std::vector<std::vector<int>> scrollRows;  // per field, its lowest row last
    for (const Control& c : m_model.controls) {
        if (!c.visible || c.kind != ControlKind::kEdit || c.rect.top >= height) continue;
        const int frame = IsBoxed(c) ? 1 : 0;
        const int first = c.rect.top + frame;
        const int end = std::min(c.rect.bottom - frame, height);
        int content = end - first;
        int least = 2;
        if (IsReadOnlyText(c)) {
            content = static_cast<int>(WrapText(ExpandTabs(c.text), TextArea(c, false).Width()).size());
            least = (c.style & kStyleVScroll) ? 3 : content;
        }
        std::vector<int> rows;
        for (int y = first; y < end; ++y) {
            // Inside this field only: another control's border stays.
            const bool mine = !(edge[static_cast<std::size_t>(y)] && y != c.rect.top && y != c.rect.bottom - 1);
            if (!mine || owner[static_cast<std::size_t>(y)] > 2) continue;
            if (y - first >= content) {
                freeRows.push_back(y);
            } else if (y - first >= least) {
                rows.push_back(y);
            }
        }
        if (!rows.empty()) scrollRows.push_back(rows);
    }
    for (int y = height - 1; y >= 0; --y) {
        if (owner[static_cast<std::size_t>(y)] == 0) blankRows.push_back(y);
    }
    std::vector<bool> removed(static_cast<std::size_t>(height), false);
    int excess = height + 2 - LINES;
    auto take = [&](int y) {
        if (excess <= 0 || removed[static_cast<std::size_t>(y)]) return;
        removed[static_cast<std::size_t>(y)] = true;
        --excess;
    };
    for (int y : freeRows) take(y);
    for (;;) {  // the field with the most rows left gives one
        std::vector<int>* most = nullptr;
        for (std::vector<int>& rows : scrollRows) {
            if (!rows.empty() && (!most || rows.size() > most->size())) most = &rows;
        }
        if (!most || excess <= 0) break;
        take(most->back());
        most->pop_back();
    }
    for (int y : blankRows) take(y);
    m_rowMap.assign(static_cast<std::size_t>(height) + 1, 0);
    int shown = 0;
    for (int y = 0; y <= height; ++y) {
        m_rowMap[static_cast<std::size_t>(y)] = shown;
        if (y < height && !removed[static_cast<std::size_t>(y)]) ++shown;
    }
}

Rect TerminalView::TextArea(const Control& c, bool placed) const {
    Rect area = placed ? Placed(c.rect) : Rect{c.rect.left + 1, c.rect.top + 1, c.rect.right + 1, c.rect.bottom + 1};
    if (IsBoxed(c)) area = Rect{area.left + 1, area.top + 1, area.right - 1, area.bottom - 1};
    if (c.style & kStyleVScroll) area.right -= 1;
    if (area.right < area.left) area.right = area.left;
    if (area.bottom < area.top) area.bottom = area.top;
    return area;
}

int TerminalView::MeasureText(unsigned int id, const std::string& text, Rect& client) {
    const Control* c = m_model.Find(id);
    if (!c) return -1;
    const Rect area = TextArea(*c, false);  // as the template lays it out
    client = Rect{0, 0, area.Width(), area.Height()};
    return static_cast<int>(WrapText(ExpandTabs(text), area.Width()).size());
}

void TerminalView::Update(const WindowModel& model) {
    m_given = model;
    m_model = FitToWidth(model, COLS - 2);
    for (const Control& c : m_model.controls) {
        if (!IsEditable(c)) continue;
        Edit& edit = m_edits[c.id];
        if (edit.text != c.text) {  // changed by the dialog, not typed here
            edit.text = c.text;
            edit.caret = edit.text.size();
        }
    }
    m_focus = model.focus;
    m_model.focus = m_focus;
    const Control* focused = m_model.Find(m_focus);
    if (!focused || !Focusable(*focused)) {
        m_focus = 0;
        for (const Control& c : m_model.controls) {
            if (Focusable(c)) {
                m_focus = c.id;
                break;
            }
        }
    }
    Draw();
}

void TerminalView::Draw() {
    if (!m_session.ok()) return;
    FitRows();
    const int rows = m_rowMap.back() + 2;
    const int cols = m_model.width + 2;
    if (!m_pad || rows != m_padRows || cols != m_padCols) {
        if (m_pad) delwin(m_pad);
        m_pad = newpad(rows, cols);
        m_padRows = rows;
        m_padCols = cols;
        if (!m_pad) return;
        keypad(m_pad, TRUE);
        wtimeout(m_pad, kPollMilliseconds);
    }
    werase(m_pad);
    for (const Control& c : m_model.controls) {
        if (c.visible && c.rect.top < m_model.height) DrawControl(c);
    }
    // The icon goes where the template puts it; without such a place, into the title.
    bool iconPlaced = false;
    for (const Control& c : m_model.controls) iconPlaced = iconPlaced || (c.kind == ControlKind::kIcon && c.visible);
    PutFrame(m_pad, 0, 0, rows - 1, cols - 1, (iconPlaced ? "" : IconMarker(m_model.iconType)) + m_model.caption,
             A_BOLD);

    // The caret: in the comment where the user types, at the text's start in
    // a read-only text with the focus, hidden on buttons.
    int caretY = -1, caretX = -1;
    Rect focusRect{0, 0, 0, 0};
    if (const Control* f = m_model.Find(m_focus)) {
        focusRect = Placed(f->rect);
        if (f->kind == ControlKind::kEdit) {
            const Rect area = TextArea(*f);
            caretY = area.top;
            caretX = area.left;
            if (IsEditable(*f)) {
                const Edit& edit = m_edits[f->id];
                int row = 0, column = 0;
                Locate(LayOutRows(edit.text, area.Width()), edit.caret, row, column);
                caretY = area.top + row - edit.top;
                caretX = area.left + column;
            }
        }
    }
    curs_set(caretY >= 0 ? 1 : 0);
    if (caretY >= 0) wmove(m_pad, caretY, caretX);

    // Place the window; one larger than the terminal shows the focused part.
    const int shownRows = std::min(rows, LINES);
    const int shownCols = std::min(cols, COLS);
    const int screenY = (LINES - shownRows) / 2;
    const int screenX = (COLS - shownCols) / 2;
    if (focusRect.top < m_viewTop) m_viewTop = focusRect.top;
    if (focusRect.bottom > m_viewTop + shownRows) m_viewTop = focusRect.bottom - shownRows;
    if (focusRect.left < m_viewLeft) m_viewLeft = focusRect.left;
    if (focusRect.right > m_viewLeft + shownCols) m_viewLeft = focusRect.right - shownCols;
    m_viewTop = std::max(0, std::min(m_viewTop, rows - shownRows));
    m_viewLeft = std::max(0, std::min(m_viewLeft, cols - shownCols));
    werase(stdscr);
    wnoutrefresh(stdscr);
    pnoutrefresh(m_pad, m_viewTop, m_viewLeft, screenY, screenX, screenY + shownRows - 1, screenX + shownCols - 1);
    doupdate();
}

void TerminalView::DrawControl(const Control& c) {
    const Rect r = Placed(c.rect);
    switch (c.kind) {
        case ControlKind::kPushButton:
        case ControlKind::kDefPushButton: {
            attr_t a = A_NORMAL;
            if (c.id == m_focus) a |= A_REVERSE;
            if (c.kind == ControlKind::kDefPushButton) a |= A_BOLD;
            if (!c.enabled) a = A_DIM;
            PutButton(m_pad, r.top, r.left, r.Width(), c.text, a);
            break;
        }
        case ControlKind::kGroupBox:
            PutFrame(m_pad, r.top, r.left, r.bottom - 1, r.right - 1, ParseLabel(c.text).text,
                     c.enabled ? A_NORMAL : A_DIM);
            break;
        case ControlKind::kEdit:
            DrawEdit(c, r);
            break;
        case ControlKind::kStatic:
            PutText(m_pad, r.top, r.left, ParseLabel(c.text).text, r.Width());
            break;
        case ControlKind::kIcon:
            PutText(m_pad, r.top, r.left, IconMarker(m_model.iconType), r.Width());
            break;
        case ControlKind::kOther:
            break;
    }
}

void TerminalView::DrawEdit(const Control& c, const Rect& full) {
    if (IsBoxed(c)) PutFrame(m_pad, full.top, full.left, full.bottom - 1, full.right - 1, "", A_NORMAL);
    const Rect area = TextArea(c);
    const int height = area.Height();
    std::vector<std::string> lines;
    int top = 0;
    if (IsEditable(c)) {
        Edit& edit = m_edits[c.id];
        const std::vector<Row> rows = LayOutRows(edit.text, area.Width());
        for (const Row& row : rows) lines.push_back(edit.text.substr(row.begin, row.end - row.begin));
        int caretRow = 0, column = 0;
        Locate(rows, edit.caret, caretRow, column);
        if (caretRow < edit.top) edit.top = caretRow;
        if (caretRow >= edit.top + height) edit.top = caretRow - height + 1;
        top = edit.top;
        const attr_t field = c.enabled ? FieldAttributes() : A_DIM;
        wattr_on(m_pad, field, nullptr);
        for (int y = area.top; y < area.bottom; ++y) mvwhline(m_pad, y, area.left, ' ', area.Width());
        for (int i = 0; i < height && top + i < static_cast<int>(lines.size()); ++i) {
            PutText(m_pad, area.top + i, area.left, lines[static_cast<std::size_t>(top + i)], area.Width());
        }
        wattr_off(m_pad, field, nullptr);
    } else {
        std::string& shown = m_shown[c.id];
        if (shown != c.text) {  // a new text starts at its top
            shown = c.text;
            m_scrollTops[c.id] = 0;
        }
        lines = WrapText(ExpandTabs(c.text), area.Width());
        int& scrollTop = m_scrollTops[c.id];
        scrollTop = std::max(0, std::min(scrollTop, static_cast<int>(lines.size()) - height));
        top = scrollTop;
        if (!c.enabled) wattr_on(m_pad, A_DIM, nullptr);
        for (int i = 0; i < height && top + i < static_cast<int>(lines.size()); ++i) {
            PutText(m_pad, area.top + i, area.left, lines[static_cast<std::size_t>(top + i)], area.Width());
        }
        if (!c.enabled) wattr_off(m_pad, A_DIM, nullptr);
    }
    if (!(c.style & kStyleVScroll) || height < 1) return;
    // The scroll bar: arrows at its ends, the thumb where the shown rows lie.
    const int x = area.right;
    const int total = static_cast<int>(lines.size());
    mvwvline(m_pad, area.top, x, ACS_CKBOARD, height);
    if (height >= 3) {
        mvwaddch(m_pad, area.top, x, ACS_UARROW);
        mvwaddch(m_pad, area.bottom - 1, x, ACS_DARROW);
        if (total > height) {
            const int track = height - 2;
            const int thumb = area.top + 1 + (track - 1) * top / std::max(1, total - height);
            mvwaddch(m_pad, thumb, x, ACS_BLOCK);
        }
    }
}

Event TerminalView::WaitEvent() {
    Event cancel;
    cancel.kind = Event::kCancel;
    if (!m_session.ok()) return cancel;
    if (!m_pad) Draw();
    for (;;) {
        if (!m_pending.empty()) {
            Event e = m_pending.front();
            m_pending.pop_front();
            return e;
        }
        if (TerminalSession::Interrupted() || !m_pad) return cancel;
        if (m_session.TakeRedraw()) {
            m_model = FitToWidth(m_given, COLS - 2);
            m_model.focus = m_focus;
            Draw();
        }
        wint_t key = 0;
        bool alt = false;
        const int kind = ReadKey(m_pad, key, alt);
        if (kind == ERR && m_session.Gone()) return cancel;
        if (kind == ERR) {
            if (++m_polls % kPollsPerRepaint == 0) {
                redrawwin(curscr);
                wrefresh(curscr);
            }
            continue;
        }
        if (kind == OK && key == kKeyEscape && !alt) return cancel;
        // The input ended (a session recorder fed nothing, say): nobody is
        // there to answer.
        if (kind == OK && key == kEndOfInput && !alt) {
            Event lost;
            lost.kind = Event::kLost;
            return lost;
        }
        if (alt) {
            if (kind == OK) Mnemonic(key);
        } else {
            Key(kind == KEY_CODE_YES, key);
        }
        if (m_pending.empty()) Draw();
    }
}

void TerminalView::Key(bool function, wint_t key) {
    const Control* focused = m_model.Find(m_focus);
    if (function && key == KEY_RESIZE) return;
    if (!function && key == kKeyRedraw) {
        clearok(curscr, TRUE);
        return;
    }
    if ((function && key == KEY_BTAB) || (!function && key == '\t')) {
        MoveFocus(function ? -1 : 1);
        return;
    }
    if (focused && IsEditable(*focused)) {
        const bool enter = (function && key == KEY_ENTER) || (!function && (key == '\r' || key == '\n'));
        if (!enter || (focused->style & kEditWantReturn)) {
            EditKey(m_edits[focused->id], *focused, function, key);
            return;
        }
    }
    const bool onButton = focused && IsButton(*focused);
    if ((function && key == KEY_ENTER) || (!function && (key == '\r' || key == '\n'))) {
        Event e;
        e.kind = onButton ? Event::kClick : Event::kOk;
        e.id = onButton ? focused->id : 1;
        m_pending.push_back(e);
        return;
    }
    if (!function && key == ' ' && onButton) {
        Event e;
        e.kind = Event::kClick;
        e.id = focused->id;
        m_pending.push_back(e);
        return;
    }
    if (function) {
        if (focused && IsReadOnlyText(*focused)) {
            const int page = std::max(1, TextArea(*focused).Height() - 1);
            switch (key) {
                case KEY_UP: Scroll(*focused, -1); break;
                case KEY_DOWN: Scroll(*focused, 1); break;
                case KEY_PPAGE: Scroll(*focused, -page); break;
                case KEY_NPAGE: Scroll(*focused, page); break;
                case KEY_HOME: Scroll(*focused, -1000000); break;
                case KEY_END: Scroll(*focused, 1000000); break;
                default: break;
            }
        } else if (onButton) {
            if (key == KEY_LEFT || key == KEY_UP) MoveFocus(-1);
            if (key == KEY_RIGHT || key == KEY_DOWN) MoveFocus(1);
        }
        return;
    }
    if (key >= 0x20) Mnemonic(key);
}

void TerminalView::EditKey(Edit& edit, const Control& c, bool function, wint_t key) {
    std::string& text = edit.text;
    const Rect area = TextArea(c);
    const std::vector<Row> rows = LayOutRows(text, area.Width());
    int row = 0, column = 0;
    Locate(rows, edit.caret, row, column);
    auto toRow = [&](int target) {
        target = std::max(0, std::min(target, static_cast<int>(rows.size()) - 1));
        const Row& r = rows[static_cast<std::size_t>(target)];
        edit.caret = std::min(r.begin + static_cast<std::size_t>(column), r.end);
    };
    bool changed = false;
    if (function) {
        switch (key) {
            case KEY_LEFT:
                if (edit.caret >= 2 && text.compare(edit.caret - 2, 2, "\r\n") == 0) {
                    edit.caret -= 2;
                } else if (edit.caret > 0) {
                    --edit.caret;
                }
                break;
            case KEY_RIGHT:
                if (edit.caret < text.size()) edit.caret += text.compare(edit.caret, 2, "\r\n") == 0 ? 2 : 1;
                break;
            case KEY_UP: toRow(row - 1); break;
            case KEY_DOWN: toRow(row + 1); break;
            case KEY_HOME: edit.caret = rows[static_cast<std::size_t>(row)].begin; break;
            case KEY_END: edit.caret = rows[static_cast<std::size_t>(row)].end; break;
            case KEY_ENTER:
                text.insert(edit.caret, "\r\n");
                edit.caret += 2;
                changed = true;
                break;
            case KEY_BACKSPACE:
                key = 127;
                function = false;
                break;
            case KEY_DC:
                if (edit.caret < text.size()) {
                    text.erase(edit.caret, text.compare(edit.caret, 2, "\r\n") == 0 ? 2 : 1);
                    changed = true;
                }
                break;
            default: break;
        }
    }
    if (!function) {
        if (key == kKeyDelete || key == kKeyBackspace) {
            if (edit.caret > 0) {
                const std::size_t n = edit.caret >= 2 && text.compare(edit.caret - 2, 2, "\r\n") == 0 ? 2 : 1;
                edit.caret -= n;
                text.erase(edit.caret, n);
                changed = true;
            }
        } else if (key == '\r' || key == '\n') {
            text.insert(edit.caret, "\r\n");
            edit.caret += 2;
            changed = true;
        } else if (key >= 0x20) {
            text.insert(edit.caret, 1, To1252(static_cast<wchar_t>(key)));
            ++edit.caret;
            changed = true;
        }
    }
    if (changed) Changed(c, edit);
}

void TerminalView::Changed(const Control& c, const Edit& edit) {
    Event e;
    e.kind = Event::kEdited;
    e.id = c.id;
    e.text = edit.text;
    m_pending.push_back(e);
}

void TerminalView::Scroll(const Control& c, int rows) {
    int& top = m_scrollTops[c.id];
    const Rect area = TextArea(c);
    const int total = static_cast<int>(WrapText(ExpandTabs(c.text), area.Width()).size());
    top = std::max(0, std::min(top + rows, total - area.Height()));
}

void TerminalView::MoveFocus(int step) {
    std::vector<unsigned int> order;
    for (const Control& c : m_model.controls) {
        if (Focusable(c)) order.push_back(c.id);
    }
    if (order.empty()) return;
    auto at = std::find(order.begin(), order.end(), m_focus);
    std::size_t index = at == order.end() ? 0 : static_cast<std::size_t>(at - order.begin());
    index = (index + order.size() + (at == order.end() && step > 0 ? 0 : step)) % order.size();
    m_focus = order[index];
    m_model.focus = m_focus;
    Event e;
    e.kind = Event::kFocus;
    e.id = m_focus;
    m_pending.push_back(e);
}

bool TerminalView::Mnemonic(wint_t key) {
    const char wanted = LowerCase1252(To1252(static_cast<wchar_t>(key)));
    const std::vector<Control>& controls = m_model.controls;
    for (std::size_t i = 0; i < controls.size(); ++i) {
        const Control& c = controls[i];
        if (!c.visible || !c.enabled || c.rect.top >= m_model.height) continue;
        if (c.kind == ControlKind::kEdit || ParseLabel(c.text).mnemonic != wanted) continue;
        Event e;
        if (IsButton(c)) {
            e.kind = Event::kClick;
            e.id = c.id;
            m_pending.push_back(e);
            return true;
        }
        // A label's mnemonic takes the focus to the control after it.
        for (std::size_t j = i + 1; j < controls.size(); ++j) {
            if (!Focusable(controls[j])) continue;
            m_focus = controls[j].id;
            m_model.focus = m_focus;
            e.kind = Event::kFocus;
            e.id = m_focus;
            m_pending.push_back(e);
            return true;
        }
    }
    return false;
}

int TerminalView::Ask(const Popup& popup) {
    const int answer = RunPopup(m_session, popup, [this] { Draw(); });
    if (m_pad) {
        touchwin(m_pad);
        Draw();
    }
    return answer;
}

}  // namespace tui
}  // namespace dialog
}  // namespace orneh
