#include "dialog/text_measure.h"

namespace orneh {
namespace dialog {
namespace {

// MulDiv: a * b / c rounded half away from zero.
int MulDiv(int a, int b, int c) {
    if (c == 0) return 0;
    long long p = static_cast<long long>(a) * b;
    long long half = c / 2;
    return static_cast<int>(p >= 0 ? (p + half) / c : (p - half) / c);
}

void WrapParagraph(const std::string& paragraph, std::size_t columns, std::vector<std::string>& out) {
    std::string line;
    std::size_t at = 0;
    while (at < paragraph.size()) {
        std::size_t end = paragraph.find(' ', at);
        if (end == std::string::npos) end = paragraph.size();
        std::string word = paragraph.substr(at, end - at);
        const std::size_t spaces = end < paragraph.size() ? 1 : 0;
        if (!line.empty() && line.size() + word.size() > columns) {
            while (!line.empty() && line.back() == ' ') line.pop_back();
            out.push_back(line);
            line.clear();
        }
        while (word.size() > columns) {  // a word wider than the line is split
            out.push_back(word.substr(0, columns));
            word.erase(0, columns);
        }
        line += word;
        if (spaces) line += ' ';
        at = end + spaces;
    }
    while (!line.empty() && line.back() == ' ') line.pop_back();
    out.push_back(line);
}

}  // namespace

int DialogUnitsX(int units, const FontMetrics& font) { return MulDiv(units, font.averageWidth, 4); }
int DialogUnitsY(int units, const FontMetrics& font) { return MulDiv(units, font.height, 8); }

std::vector<std::string> WrapText(const std::string& text, int columns) {
    const std::size_t width = columns > 0 ? static_cast<std::size_t>(columns) : 1;
    std::vector<std::string> lines;
    std::size_t at = 0;
    for (;;) {
        std::size_t end = text.find_first_of("\r\n", at);
        WrapParagraph(text.substr(at, end == std::string::npos ? std::string::npos : end - at), width, lines);
        if (end == std::string::npos) break;
        at = end + (text.compare(end, 2, "\r\n") == 0 ? 2 : 1);
    }
    return lines;
}

int CellTextHeight(const std::string& text, int width, const FontMetrics& font) {
    const int columns = font.averageWidth > 0 ? width / font.averageWidth : width;
    return static_cast<int>(WrapText(text, columns).size()) * font.height;
}

}  // namespace dialog
}  // namespace orneh
