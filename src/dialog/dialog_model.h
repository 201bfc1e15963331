// What a dialog backend shows and what it answers: the error dialog's texts
// and its three answer buttons, already set up for the message type.
#ifndef ORNEH_DIALOG_DIALOG_MODEL_H
#define ORNEH_DIALOG_DIALOG_MODEL_H

namespace orneh {
namespace dialog {

struct AnswerButton {
    const char* label;  // code page 1252; may carry an '&' mnemonic
    int result;         // the value the dialog ends with when it is pressed
    bool visible;
};

struct DialogModel {
    const char* caption;  // code page 1252, never null
    const char* message;  // code page 1252, never null
    const char* details;  // code page 1252, null without details
    unsigned int buttonType;  // style & 0x0F
    unsigned int iconType;    // style & 0xF0
    AnswerButton buttons[3];  // IDOK (1), 1000, 1001
};

// How a backend ended the dialog.
enum class Answer { kButton1, kButton2, kButton3, kCancel, kFailed };

}  // namespace dialog
}  // namespace orneh

#endif
