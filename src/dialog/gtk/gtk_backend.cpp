// The graphical dialog backend: GTK 3, loaded as a module only when chosen.
#include <gtk/gtk.h>

#include <mutex>

#include "dialog/backend.h"
#include "dialog/module_entry.h"
#include "dialog/gtk/gtk_print.h"
#include "dialog/gtk/gtk_text.h"
#include "dialog/gtk/gtk_thread.h"
#include "dialog/gtk/gtk_view.h"

namespace orneh {
namespace dialog {
namespace gtk {
namespace {

GtkMessageType MessageTypeOf(unsigned int type) {
    static const GtkMessageType kTypes[dialog::kIconRows] = {
        GTK_MESSAGE_OTHER, GTK_MESSAGE_ERROR, GTK_MESSAGE_QUESTION, GTK_MESSAGE_WARNING,
        GTK_MESSAGE_INFO};
    return kTypes[dialog::IconRow(type)];
}

class GtkBackend : public dialog::Backend {
public:
    dialog::FontMetrics DialogFont(const std::string&, int) override {
        // The desktop's interface font stands in for the template's font.
        dialog::FontMetrics metrics;
        CallOnGtk([&] { metrics = DesktopFontMetrics(); });
        return metrics;
    }

    std::unique_ptr<dialog::View> Open(const dialog::WindowModel& model, HWND parent) override {
        GtkWindow* owner = nullptr;
        if (parent) {
            CallOnGtk([&] {
                if (GTK_IS_WINDOW(reinterpret_cast<gpointer>(parent))) owner = reinterpret_cast<GtkWindow*>(parent);
            });
        }
        return OpenGtkView(model, owner);
    }

    void MessageBox(dialog::View* owner, const std::string& text, const std::string& caption,
                    unsigned int type) override {
        CallOnGtk([&] {
            GtkWidget* box = gtk_message_dialog_new(WindowOf(owner), GTK_DIALOG_MODAL, MessageTypeOf(type),
                                                    GTK_BUTTONS_OK, "%s", ToGtk(text).c_str());
            gtk_window_set_title(GTK_WINDOW(box), ToGtk(caption).c_str());
            gtk_dialog_run(GTK_DIALOG(box));
            gtk_widget_destroy(box);
        });
    }

    bool ChooseSaveFile(dialog::View* owner, const dialog::SaveRequest& request, std::string& path) override {
        bool chosen = false;
        CallOnGtk([&] {
            GtkWidget* chooser = gtk_file_chooser_dialog_new(
                ToGtk(request.title).c_str(), WindowOf(owner), GTK_FILE_CHOOSER_ACTION_SAVE, "_Cancel",
                GTK_RESPONSE_CANCEL, "_Save", GTK_RESPONSE_ACCEPT, nullptr);
            GtkFileChooser* fc = GTK_FILE_CHOOSER(chooser);
            gtk_dialog_set_default_response(GTK_DIALOG(chooser), GTK_RESPONSE_ACCEPT);
            gtk_file_chooser_set_do_overwrite_confirmation(fc, TRUE);
            for (const auto& f : request.filters) {
                GtkFileFilter* filter = gtk_file_filter_new();
                gtk_file_filter_set_name(filter, ToGtk(f.name).c_str());
                gtk_file_filter_add_pattern(filter, f.pattern.c_str());
                gtk_file_chooser_add_filter(fc, filter);  // the first one added is selected
            }
            if (!request.directory.empty()) gtk_file_chooser_set_current_folder(fc, request.directory.c_str());
            gtk_file_chooser_set_current_name(fc, ToGtk(request.defaultName).c_str());
            if (gtk_dialog_run(GTK_DIALOG(chooser)) == GTK_RESPONSE_ACCEPT) {
                if (gchar* name = gtk_file_chooser_get_filename(fc)) {
                    path = name;
                    chosen = true;
                    g_free(name);
                }
            }
            gtk_widget_destroy(chooser);
        });
        return chosen;
    }

    dialog::PrintResult Print(dialog::View* owner, const std::string& documentName, dialog::PrintJob& job) override {
        dialog::PrintResult result = dialog::PrintResult::kFailed;
        CallOnGtk([&] { result = PrintWithGtk(WindowOf(owner), documentName, job); });
        return result;
    }
};

// The module's backend once GTK runs; it lives as long as the process. GTK's
// own windows (message box, file chooser) bring GTK's texts.
Backend* MakeBackend(const ModuleTexts&, std::string& why) {
    static std::once_flag once;
    static Backend* backend = nullptr;
    static std::string reason;
    std::call_once(once, [] {
        if (StartGtk(reason)) backend = new GtkBackend;
    });
    if (!backend) why = reason;
    return backend;
}

}  // namespace
}  // namespace gtk
}  // namespace dialog
}  // namespace orneh

ORNEH_DIALOG_MODULE_ENTRY(orneh::dialog::gtk::MakeBackend)
