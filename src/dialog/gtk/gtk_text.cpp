#include "dialog/gtk/gtk_text.h"

#include <cstring>

#include "compat/codepage.h"

namespace orneh {
namespace dialog {
namespace gtk {
namespace {

std::string WithoutCr(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
        out += text[i];
    }
    return out;
}

// '&x' marks x; "&&" is a literal '&'. mark is what marks x in the result
// (empty: no mark), and a literal mark character is doubled.
std::string ConvertMnemonic(const std::string& label, const std::string& mark) {
    std::string out;
    for (std::size_t i = 0; i < label.size(); ++i) {
        if (label[i] == '&' && i + 1 < label.size()) {
            ++i;
            if (label[i] != '&') out += mark;
        }
        if (!mark.empty() && label[i] == mark[0]) out += mark;
        out += label[i];
    }
    return out;
}

}  // namespace

std::string ToGtk(const std::string& text1252) { return compat::Cp1252ToUtf8(WithoutCr(text1252).c_str()); }

std::string FromGtk(const char* utf8) {
    std::string text(std::strlen(utf8) + 1, '\0');
    compat::Utf8ToCp1252(utf8, &text[0]);
    text.resize(std::strlen(text.c_str()));
    std::string out;
    for (char c : text) {
        if (c == '\r') continue;
        if (c == '\n') out += '\r';
        out += c;
    }
    return out;
}

std::string MnemonicLabel(const std::string& label1252) { return ToGtk(ConvertMnemonic(label1252, "_")); }

std::string PlainLabel(const std::string& label1252) { return ToGtk(ConvertMnemonic(label1252, "")); }

}  // namespace gtk
}  // namespace dialog
}  // namespace orneh
