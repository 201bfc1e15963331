// Dialog backends render the error dialog and bring back the user's answer.
// ORNEH_DIALOG chooses one: "headless" (also what "auto" gives without a
// terminal and a display), "terminal", "gui". A test may install its own.
#ifndef ORNEH_DIALOG_BACKEND_H
#define ORNEH_DIALOG_BACKEND_H

#include "dialog/dialog_model.h"

namespace orneh {
namespace dialog {

class Backend {
public:
    virtual ~Backend() = default;
    // Shows the dialog modally and returns how it ended.
    virtual Answer Run(const DialogModel& model) = 0;
};

// The backend for the next dialog: the one a test installed, else the one
// ORNEH_DIALOG names.
Backend& ChooseBackend();

// Installs backend for every later dialog of the process (null: back to the
// environment's choice). For tests.
void SetBackendForTesting(Backend* backend);

// Writes the dialog to stderr (UTF-8) and answers with the button that
// ORNEH_DIALOG_ANSWER names ("1", "2", "3" or "cancel"; default: the first).
Backend& HeadlessBackend();

}  // namespace dialog
}  // namespace orneh

#endif
