// Texts at the GTK boundary: code page 1252 with CR LF inside the library,
// UTF-8 with LF in GTK; Windows mnemonics ("&Save") as GTK's ("_Save").
#ifndef ORNEH_DIALOG_GTK_GTK_TEXT_H
#define ORNEH_DIALOG_GTK_GTK_TEXT_H

#include <string>

namespace orneh {
namespace dialog {
namespace gtk {

std::string ToGtk(const std::string& text1252);
// '?' for what 1252 cannot hold; line breaks become CR LF.
std::string FromGtk(const char* utf8);
// A label with its mnemonic for gtk_label_new_with_mnemonic.
std::string MnemonicLabel(const std::string& label1252);
// A label without its mnemonic mark.
std::string PlainLabel(const std::string& label1252);

}  // namespace gtk
}  // namespace dialog
}  // namespace orneh

#endif
