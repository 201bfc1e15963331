// OrnEhDialog: the modal error dialog. It behaves like a message box (a
// message, a caption and message-box style bits in, the identifier of the
// button pressed out) and carries the details text of the error chain.
#ifndef ORNEH_DIALOG_ERROR_DIALOG_H
#define ORNEH_DIALOG_ERROR_DIALOG_H

#include "compat/OrnEhWinTypes.h"
#include "dialog/dialog_model.h"

namespace orneh {
namespace dialog {

class OrnEhDialog {
public:
    explicit OrnEhDialog(HWND parent);
    ~OrnEhDialog();
    OrnEhDialog(const OrnEhDialog&) = delete;
    OrnEhDialog& operator=(const OrnEhDialog&) = delete;

    // The texts are copied; null texts count as empty.
    void SetMessage(const char* message, const char* caption, unsigned long style);
    void SetDetails(const char* details);

    // Runs the dialog; the result value of the button that ended it, IDCANCEL
    // when it was cancelled, or -1 when it cannot be shown (no dialog
    // template in the language module).
    int DoModal();

private:
    HWND m_parent;
    char* m_message = nullptr;
    char* m_caption = nullptr;
    char* m_details = nullptr;
    unsigned int m_buttonType = 0;
    unsigned int m_iconType = 0;
};

}  // namespace dialog
}  // namespace orneh

#endif
