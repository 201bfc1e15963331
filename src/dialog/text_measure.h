// Measuring text in character cells: word wrapping as DrawText with
// DT_WORDBREAK does it, and the mapping of dialog units. For backends whose
// unit is a character cell (the terminal) or a fixed cell size (headless).
#ifndef ORNEH_DIALOG_TEXT_MEASURE_H
#define ORNEH_DIALOG_TEXT_MEASURE_H

#include <string>
#include <vector>

#include "dialog/window_model.h"

namespace orneh {
namespace dialog {

// Dialog units to the font's units, rounded as Windows' MapDialogRect does.
int DialogUnitsX(int units, const FontMetrics& font);
int DialogUnitsY(int units, const FontMetrics& font);

// text broken into lines of at most columns characters: at CR LF, LF or CR,
// and between words where a line would overflow; a word longer than a line
// is split. Trailing blanks of a wrapped line are dropped. An empty text is
// one empty line.
std::vector<std::string> WrapText(const std::string& text, int columns);

// The height of text wrapped in width, for a font of fixed cell size.
int CellTextHeight(const std::string& text, int width, const FontMetrics& font);

}  // namespace dialog
}  // namespace orneh

#endif
