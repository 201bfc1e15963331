#include "core/presentation.h"

#include <cstdio>

#include "core/log_record.h"
#include "dialog/error_dialog.h"
#include "runtime/admin.h"

namespace orneh {
namespace core {

namespace {

// Memory mode of the standard log file ends with the dialog, whatever happens.
struct DetailsText {
    ExContainer* container;
    ~DetailsText() {
        if (container) container->logFile.SetMemoryMode(0);
    }
};

}  // namespace

long PresentInDialog(HWND window, const char* text, const char* caption,
                     unsigned long messageType, ExContainer* container) {
    dialog::OrnEhDialog dialog(window);
    dialog.SetMessage(text, caption, messageType);
    DetailsText details{container};
    if (container) dialog.SetLogFile(&container->logFile);
    dialog.SetApplicationName(GetApplicationName());
    if (details.container && WriteDetailsText(details.container->logFile, details.container->GetLast())) {
        dialog.SetDetails(details.container->logFile.GetMemoryText());
    }
    return dialog.DoModal();
}

void PresentInFile(const char* fileName, const char* caption, const char* text) {
    if (!fileName) return;
    std::FILE* file = std::fopen(fileName, "ab");
    if (!file) return;
    std::fprintf(file, "%s%s%s%s%s", caption ? caption : "", "\r\n", text ? text : "", "\r\n",
                 "\r\n");
    std::fclose(file);
}

}  // namespace core
}  // namespace orneh
