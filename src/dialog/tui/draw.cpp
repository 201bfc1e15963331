#include "dialog/tui/draw.h"

#include <climits>
#include <cwchar>

#include "dialog/window_model.h"
#include "dialog/tui/text_cells.h"

namespace orneh {
namespace dialog {
namespace tui {
namespace {
bool g_colours = false;

// An ASCII letter for a character of 1252 beyond ASCII: U+00A0 to U+00FF,
// then the characters 1252 puts at 0x80 to 0x9F; '?' for any other.
char Transliterated(wchar_t c) {
    static const char kLatin1[] =
        " !cL?Y|S\"ca<--R-o+23'uP.,1o>????AAAAAAACEEEEIIIIDNOOOOOxOUUUUYTsaaaaaaaceeeeiiiidnooooo/ouuuuyty";
    static const struct { wchar_t c; char ascii; } kOthers[] = {
        {0x20AC, 'E'}, {0x201A, ','}, {0x0192, 'f'}, {0x201E, '"'}, {0x2026, '.'}, {0x2020, '+'}, {0x2021, '+'},
        {0x02C6, '^'}, {0x2030, '%'}, {0x0160, 'S'}, {0x2039, '<'}, {0x0152, 'O'}, {0x017D, 'Z'}, {0x2018, '\''},
        {0x2019, '\''}, {0x201C, '"'}, {0x201D, '"'}, {0x2022, '*'}, {0x2013, '-'}, {0x2014, '-'}, {0x02DC, '~'},
        {0x2122, 'T'}, {0x0161, 's'}, {0x203A, '>'}, {0x0153, 'o'}, {0x017E, 'z'}, {0x0178, 'Y'}};
    if (c >= 0xA0 && c <= 0xFF) return kLatin1[c - 0xA0];
    for (const auto& o : kOthers) {
        if (o.c == c) return o.ascii;
    }
    return '?';
}
}  // namespace

void SetUpColours() {
    g_colours = has_colors() && start_color() == OK;
    if (!g_colours) return;
    use_default_colors();
    init_pair(kFieldPair, COLOR_BLACK, COLOR_CYAN);
}

attr_t FieldAttributes() { return g_colours ? COLOR_PAIR(kFieldPair) : A_UNDERLINE; }

void PutText(WINDOW* w, int y, int x, const std::string& text1252, int width) {
    if (width <= 0) return;
    std::wstring wide = ToWide(text1252.size() > static_cast<std::size_t>(width)
                                   ? text1252.substr(0, static_cast<std::size_t>(width))
                                   : text1252);
    // Control characters of a text never reach the terminal as such: C1
    // codes (1252's unassigned bytes) could start escape sequences there.
    // A character the terminal's character set lacks (LANG=C) is written as
    // a letter it has, one cell for one, so the columns stay.
    std::mbstate_t state{};
    char bytes[MB_LEN_MAX];
    for (wchar_t& c : wide) {
        if (c < 0x20 || (c >= 0x7F && c < 0xA0)) c = L'?';
        if (c >= 0x80 && std::wcrtomb(bytes, c, &state) == static_cast<std::size_t>(-1)) {
            c = static_cast<wchar_t>(Transliterated(c));
            state = std::mbstate_t{};
        }
    }
    mvwaddnwstr(w, y, x, wide.c_str(), static_cast<int>(wide.size()));
}

const char* IconMarker(unsigned int iconType) {
    static const char* const kMarkers[kIconRows] = {"", "(X) ", "(?) ", "/!\\ ", "(i) "};
    return kMarkers[IconRow(iconType)];
}

int ReadKey(WINDOW* w, wint_t& key, bool& alt) {
    alt = false;
    const int kind = wget_wch(w, &key);
    if (kind != OK || key != 27) return kind;
    // Terminals send Alt+key as Escape and the key at once.
    const int delay = wgetdelay(w);
    wtimeout(w, 0);
    wint_t next = 0;
    const int nextKind = wget_wch(w, &next);
    wtimeout(w, delay);
    if (nextKind == ERR) return kind;
    key = next;
    alt = true;
    return nextKind;
}

int ButtonWidth(const std::string& label) { return static_cast<int>(ParseLabel(label).text.size()) + 4; }

int PutButton(WINDOW* w, int y, int x, int width, const std::string& label, attr_t attributes) {
    Label parsed = ParseLabel(label);
    std::string shown = parsed.text;
    // "[ label ]" when it fits, else "[label]", cut if need be.
    const bool tight = static_cast<int>(shown.size()) + 4 > width;
    const int inner = width - (tight ? 2 : 4);
    if (inner < 1) return 0;
    if (static_cast<int>(shown.size()) > inner) shown.resize(static_cast<std::size_t>(inner));
    const std::string left = tight ? "[" : "[ ";
    const std::string right = tight ? "]" : " ]";
    const int used = static_cast<int>(left.size() + shown.size() + right.size());
    const int at = x + (width - used) / 2;
    wattr_on(w, attributes, nullptr);
    PutText(w, y, at, left + shown + right, used);
    if (parsed.mnemonicAt >= 0 && parsed.mnemonicAt < static_cast<int>(shown.size())) {
        const int mx = at + static_cast<int>(left.size()) + parsed.mnemonicAt;
        wattr_on(w, A_UNDERLINE, nullptr);
        PutText(w, y, mx, shown.substr(static_cast<std::size_t>(parsed.mnemonicAt), 1), 1);
        wattr_off(w, A_UNDERLINE, nullptr);
    }
    wattr_off(w, attributes, nullptr);
    return used;
}

void PutFrame(WINDOW* w, int top, int left, int bottom, int right, const std::string& title,
              attr_t titleAttributes) {
    if (bottom <= top || right <= left) return;
    mvwhline(w, top, left + 1, ACS_HLINE, right - left - 1);
    mvwhline(w, bottom, left + 1, ACS_HLINE, right - left - 1);
    mvwvline(w, top + 1, left, ACS_VLINE, bottom - top - 1);
    mvwvline(w, top + 1, right, ACS_VLINE, bottom - top - 1);
    mvwaddch(w, top, left, ACS_ULCORNER);
    mvwaddch(w, top, right, ACS_URCORNER);
    mvwaddch(w, bottom, left, ACS_LLCORNER);
    mvwaddch(w, bottom, right, ACS_LRCORNER);
    if (title.empty()) return;
    const int room = right - left - 5;
    if (room <= 0) return;
    wattr_on(w, titleAttributes, nullptr);
    PutText(w, top, left + 2, " " + title.substr(0, static_cast<std::size_t>(room)) + " ", room + 2);
    wattr_off(w, titleAttributes, nullptr);
}

}  // namespace tui
}  // namespace dialog
}  // namespace orneh
