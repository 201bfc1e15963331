#include "dialog/tui/text_cells.h"

#include "OrnLangResource.h"

namespace orneh {
namespace dialog {
namespace tui {

std::wstring ToWide(const std::string& text1252) {
    std::wstring wide;
    wide.reserve(text1252.size());
    for (unsigned char c : text1252) wide += static_cast<wchar_t>(OrnCp1252ToUnicode(c));
    return wide;
}

char To1252(wchar_t c) {
    if (c >= 0 && c < 0x80) return static_cast<char>(c);
    for (unsigned int b = 0x80; b <= 0xFF; ++b) {
        if (OrnCp1252ToUnicode(static_cast<unsigned char>(b)) == static_cast<unsigned int>(c)) {
            return static_cast<char>(b);
        }
    }
    return '?';
}

char LowerCase1252(char c) {
    unsigned char u = static_cast<unsigned char>(c);
    if ((u >= 'A' && u <= 'Z') || (u >= 0xC0 && u <= 0xDE && u != 0xD7)) return static_cast<char>(u + 0x20);
    return c;
}

Label ParseLabel(const std::string& label) {
    Label out;
    for (std::size_t i = 0; i < label.size(); ++i) {
        if (label[i] == '&' && i + 1 < label.size()) {
            ++i;
            if (label[i] != '&' && out.mnemonicAt < 0) {
                out.mnemonicAt = static_cast<int>(out.text.size());
                out.mnemonic = LowerCase1252(label[i]);
            }
        }
        out.text += label[i];
    }
    return out;
}

std::string ExpandTabs(const std::string& text) {
    if (text.find('\t') == std::string::npos) return text;
    std::string out;
    std::size_t column = 0;
    for (char c : text) {
        if (c == '\t') {
            do {
                out += ' ';
            } while (++column % 8 != 0);
        } else {
            out += c;
            column = (c == '\n' || c == '\r') ? 0 : column + 1;
        }
    }
    return out;
}

std::vector<Row> LayOutRows(const std::string& text, int width) {
    const std::size_t columns = width > 0 ? static_cast<std::size_t>(width) : 1;
    std::vector<Row> rows;
    std::size_t begin = 0;
    for (std::size_t i = 0;; ++i) {
        if (i == text.size()) {
            if (i - begin == columns) {  // the caret after a full row starts the next
                rows.push_back({begin, i});
                begin = i;
            }
            rows.push_back({begin, i});
            break;
        }
        if (text.compare(i, 2, "\r\n") == 0) {
            rows.push_back({begin, i});
            begin = ++i + 1;
        } else if (i - begin == columns) {
            rows.push_back({begin, i});
            begin = i;
        }
    }
    return rows;
}

void Locate(const std::vector<Row>& rows, std::size_t offset, int& row, int& column) {
    row = 0;
    for (std::size_t r = 0; r < rows.size(); ++r) {
        // A position at the end of a full row belongs to the next row.
        if (offset >= rows[r].begin && (offset < rows[r].end || r + 1 == rows.size() ||
                                        (offset == rows[r].end && rows[r + 1].begin != rows[r].end))) {
            row = static_cast<int>(r);
            column = static_cast<int>(offset - rows[r].begin);
            return;
        }
    }
    row = rows.empty() ? 0 : static_cast<int>(rows.size()) - 1;
    column = 0;
}

}  // namespace tui
}  // namespace dialog
}  // namespace orneh
