// The two ways a report reaches the user: the error dialog (with the details
// text of the calling thread's chain) and a text file appended to.
#ifndef ORNEH_CORE_PRESENTATION_H
#define ORNEH_CORE_PRESENTATION_H

#include "compat/OrnEhWinTypes.h"

class ExContainer;

namespace orneh {
namespace core {

// Runs the error dialog for text, caption and messageType; its details are
// the chain of container, the calling thread's (none without one). Returns
// the button the dialog ended with.
long PresentInDialog(HWND window, const char* text, const char* caption,
                     unsigned long messageType, ExContainer* container);

// Appends caption, CR LF, text, CR LF, CR LF to fileName (created if
// missing); a null name or a file that cannot be opened writes nothing.
void PresentInFile(const char* fileName, const char* caption, const char* text);

}  // namespace core
}  // namespace orneh

#endif
