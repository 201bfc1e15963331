#include "dialog/tui/popup.h"

#include <curses.h>

#include <algorithm>

#include "dialog/text_measure.h"
#include "dialog/tui/draw.h"
#include "dialog/tui/terminal_session.h"
#include "dialog/tui/text_cells.h"

namespace orneh {
namespace dialog {
namespace tui {
namespace {

class PopupWindow {
public:
    PopupWindow(const Popup& popup) : m_popup(popup) {
        if (popup.field) m_caret = popup.field->size();
        m_focus = popup.field ? -1 : 0;
    }
    ~PopupWindow() {
        if (m_window) delwin(m_window);
    }

    void Draw() {
        const std::string marker = IconMarker(m_popup.iconType);
        int buttonsWidth = 0;
        for (const std::string& b : m_popup.buttons) buttonsWidth += ButtonWidth(b) + 2;
        const int maxWidth = std::max(20, COLS - 2);
        int width = std::max({static_cast<int>(ParseLabel(m_popup.title).text.size()) + 8, buttonsWidth + 4,
                              m_popup.field ? 60 : 30});
        std::vector<std::string> lines = WrapText(marker + m_popup.text, std::min(maxWidth, 64) - 4);
        for (const std::string& l : lines) width = std::max(width, static_cast<int>(l.size()) + 4);
        width = std::min(width, maxWidth);
        lines = WrapText(marker + m_popup.text, width - 4);
        if (m_popup.text.empty()) lines.clear();
        const int height = std::min(LINES, 4 + static_cast<int>(lines.size()) + (lines.empty() ? 0 : 1) +
                                               (m_popup.field ? 2 : 0));
        if (m_window) delwin(m_window);
        m_window = newwin(height, width, std::max(0, (LINES - height) / 2), std::max(0, (COLS - width) / 2));
        if (!m_window) return;
        keypad(m_window, TRUE);
        wtimeout(m_window, 200);
        werase(m_window);
        PutFrame(m_window, 0, 0, height - 1, width - 1, m_popup.title, A_BOLD);
        int y = 2;
        for (const std::string& l : lines) {
            if (y >= height - 2) break;
            PutText(m_window, y++, 2, l, width - 4);
        }
        if (!lines.empty()) ++y;
        int caretX = -1;
        int fieldY = -1;
        if (m_popup.field && y < height - 2) {
            const int fieldWidth = width - 4;
            const std::string& value = *m_popup.field;
            if (m_caret < m_scroll) m_scroll = m_caret;
            if (m_caret >= m_scroll + static_cast<std::size_t>(fieldWidth)) m_scroll = m_caret - fieldWidth + 1;
            wattr_on(m_window, FieldAttributes(), nullptr);
            mvwhline(m_window, y, 2, ' ', fieldWidth);
            PutText(m_window, y, 2, value.substr(std::min(m_scroll, value.size())), fieldWidth);
            wattr_off(m_window, FieldAttributes(), nullptr);
            caretX = 2 + static_cast<int>(m_caret - m_scroll);
            fieldY = y;
            y += 2;
        }
        const int buttonY = std::min(y, height - 2);
        int x = std::max(2, (width - buttonsWidth + 2) / 2);
        for (std::size_t i = 0; i < m_popup.buttons.size(); ++i) {
            const int w = ButtonWidth(m_popup.buttons[i]);
            attr_t a = static_cast<int>(i) == m_focus ? A_REVERSE : (i == 0 ? A_BOLD : A_NORMAL);
            PutButton(m_window, buttonY, x, w, m_popup.buttons[i], a);
            x += w + 2;
        }
        if (m_focus < 0 && caretX >= 0) {
            curs_set(1);
            wmove(m_window, fieldY, caretX);
        } else {
            curs_set(0);
        }
        wnoutrefresh(m_window);
        doupdate();
    }

    // -2 while the popup goes on; else its result.
    int Key(bool function, wint_t key) {
        const int count = static_cast<int>(m_popup.buttons.size());
        const int first = m_popup.field ? -1 : 0;
        std::string* field = m_focus < 0 ? m_popup.field : nullptr;
        if (function) {
            switch (key) {
                case KEY_BTAB: case KEY_UP:
                    m_focus = m_focus - 1 < first ? count - 1 : m_focus - 1;
                    return -2;
                case KEY_DOWN:
                    m_focus = m_focus + 1 >= count ? first : m_focus + 1;
                    return -2;
                case KEY_ENTER:
                    return m_focus < 0 ? 0 : m_focus;
                case KEY_LEFT:
                    if (field && m_caret > 0) --m_caret;
                    else if (!field) m_focus = m_focus - 1 < first ? count - 1 : m_focus - 1;
                    return -2;
                case KEY_RIGHT:
                    if (field && m_caret < field->size()) ++m_caret;
                    else if (!field) m_focus = m_focus + 1 >= count ? first : m_focus + 1;
                    return -2;
                case KEY_HOME: m_caret = 0; return -2;
                case KEY_END: if (field) m_caret = field->size(); return -2;
                case KEY_BACKSPACE:
                    if (field && m_caret > 0) field->erase(--m_caret, 1);
                    return -2;
                case KEY_DC:
                    if (field && m_caret < field->size()) field->erase(m_caret, 1);
                    return -2;
                default: return -2;
            }
        }
        switch (key) {
            case '\t':
                m_focus = m_focus + 1 >= count ? first : m_focus + 1;
                return -2;
            case '\r': case '\n':
                return m_focus < 0 ? 0 : m_focus;
            case 127: case 8:
                if (field && m_caret > 0) field->erase(--m_caret, 1);
                return -2;
            case 21:  // Ctrl+U empties the input line
                if (field) field->clear();
                m_caret = 0;
                m_scroll = 0;
                return -2;
            case ' ':
                if (!field) return m_focus;
                break;
            default:
                break;
        }
        if (key < 0x20) return -2;
        if (field) {
            field->insert(m_caret++, 1, To1252(static_cast<wchar_t>(key)));
            return -2;
        }
        return Mnemonic(key);
    }

    int Mnemonic(wint_t key) {
        const char wanted = LowerCase1252(To1252(static_cast<wchar_t>(key)));
        for (std::size_t i = 0; i < m_popup.buttons.size(); ++i) {
            if (ParseLabel(m_popup.buttons[i]).mnemonic == wanted) return static_cast<int>(i);
        }
        return -2;
    }

    WINDOW* window() const { return m_window; }

private:
    const Popup& m_popup;
    WINDOW* m_window = nullptr;
    int m_focus = 0;  // index of the focused button; -1: the input line
    std::size_t m_caret = 0;
    std::size_t m_scroll = 0;
};

}  // namespace

int RunPopup(TerminalSession& session, const Popup& popup, const std::function<void()>& redrawBelow) {
    if (popup.buttons.empty()) return -1;
    PopupWindow window(popup);
    window.Draw();
    for (;;) {
        if (TerminalSession::Interrupted() || !window.window()) return -1;
        if (session.TakeRedraw()) {
            if (redrawBelow) redrawBelow();
            window.Draw();
        }
        wint_t key = 0;
        bool alt = false;
        const int kind = ReadKey(window.window(), key, alt);
        if (kind == ERR && session.Gone()) return -1;
        if (kind == ERR) continue;
        int result = -2;
        if (kind == OK && key == kKeyEscape && !alt) return -1;  // Escape cancels
        if (alt) {
            if (kind == OK) result = window.Mnemonic(key);
        } else {
            result = window.Key(kind == KEY_CODE_YES, key);
        }
        if (result != -2) return result;
        window.Draw();
    }
}

}  // namespace tui
}  // namespace dialog
}  // namespace orneh
