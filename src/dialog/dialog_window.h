// The error dialog's window model built from its dialog template.
#ifndef ORNEH_DIALOG_DIALOG_WINDOW_H
#define ORNEH_DIALOG_DIALOG_WINDOW_H

#include "OrnLangResource.h"
#include "dialog/window_model.h"

namespace orneh {
namespace dialog {

// The controls of tpl with their rectangles in the units of font; false when
// one of the eleven controls the dialog needs is missing.
bool BuildWindowModel(const OrnResDialog& tpl, const FontMetrics& font, WindowModel& out);

}  // namespace dialog
}  // namespace orneh

#endif
