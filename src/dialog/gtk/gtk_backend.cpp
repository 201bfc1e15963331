// The graphical dialog backend: GTK 3, loaded as a module only when chosen.
#include <gtk/gtk.h>
#include <sys/stat.h>

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

const char* IconNameOf(unsigned int type) {
    static const char* const kNames[dialog::kIconRows] = {
        nullptr, "dialog-error", "dialog-question", "dialog-warning", "dialog-information"};
    return kNames[dialog::IconRow(type)];
}

// A message box of the dialog: its icon shown (GTK 3 no longer shows the
// message type's), text and buttons; the index of the button pressed, or
// -1 when it was closed.
int RunMessageBox(GtkWindow* owner, const std::string& text, const std::string& caption, unsigned int type,
                  const std::vector<std::string>& buttons) {
    GtkWidget* box = gtk_message_dialog_new(owner, GTK_DIALOG_MODAL, MessageTypeOf(type), GTK_BUTTONS_NONE, "%s",
                                            ToGtk(text).c_str());
    gtk_window_set_title(GTK_WINDOW(box), ToGtk(caption).c_str());
    if (const char* icon = IconNameOf(type)) {
        G_GNUC_BEGIN_IGNORE_DEPRECATIONS
        GtkWidget* image = gtk_image_new_from_icon_name(icon, GTK_ICON_SIZE_DIALOG);
        gtk_message_dialog_set_image(GTK_MESSAGE_DIALOG(box), image);
        gtk_widget_show(image);
        G_GNUC_END_IGNORE_DEPRECATIONS
    }
    for (std::size_t i = 0; i < buttons.size(); ++i) {
        gtk_dialog_add_button(GTK_DIALOG(box), MnemonicLabel(buttons[i]).c_str(), static_cast<int>(i));
    }
    gtk_dialog_set_default_response(GTK_DIALOG(box), 0);
    const int answer = gtk_dialog_run(GTK_DIALOG(box));
    gtk_widget_destroy(box);
    return answer >= 0 ? answer : -1;
}

bool HasExtension(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    const std::size_t dot = path.rfind('.');
    return dot != std::string::npos && (slash == std::string::npos || dot > slash + 1);
}

// The chooser's file with the default extension added to a name without
// one; a file of that name that exists is replaced only after a question
// (the chooser asked about the name as typed). Empty: choose again.
std::string WithExtension(GtkWindow* chooser, const std::string& chosen, const dialog::SaveRequest& request,
                          const ModuleTexts& texts) {
    if (request.defaultExtension.empty() || HasExtension(chosen)) return chosen;
    const std::string path = chosen + "." + request.defaultExtension;
    struct stat info;
    if (::stat(path.c_str(), &info) != 0) return path;
    const std::string question = path + "\r\n" + texts.overwriteQuestion;
    return RunMessageBox(chooser, question, request.title, MB_ICONWARNING, {texts.yes, texts.no}) == 0 ? path : "";
}

class GtkBackend : public dialog::Backend {
public:
    explicit GtkBackend(const ModuleTexts& texts) : m_texts(texts) {}

    dialog::FontMetrics DialogFont(const std::string&, int) override {
        // The desktop's interface font stands in for the template's font.
        dialog::FontMetrics metrics{6, 13};
        t_unreachable = !CallOnGtk([&] { metrics = DesktopFontMetrics(); });
        return metrics;
    }

    std::unique_ptr<dialog::View> Open(const dialog::WindowModel& model, HWND parent) override {
        // A GTK thread that did not answer a moment ago is not asked again.
        if (t_unreachable) {
            t_unreachable = false;
            return nullptr;
        }
        // The parent only when it is one of GTK's windows: a handle is
        // compared, never looked into.
        GtkWindow* owner = nullptr;
        if (parent) {
            CallOnGtk([&] {
                GList* toplevels = gtk_window_list_toplevels();
                for (GList* l = toplevels; l; l = l->next) {
                    if (l->data == reinterpret_cast<gpointer>(parent)) owner = GTK_WINDOW(l->data);
                }
                g_list_free(toplevels);
            });
        }
        return OpenGtkView(model, owner);
    }

    std::string Failure() override { return LastFailure(); }

    void MessageBox(dialog::View* owner, const std::string& text, const std::string& caption,
                    unsigned int type) override {
        CallOnGtk([&] { RunMessageBox(WindowOf(owner), text, caption, type, {m_texts.ok}); });
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
            while (!chosen && gtk_dialog_run(GTK_DIALOG(chooser)) == GTK_RESPONSE_ACCEPT) {
                if (gchar* name = gtk_file_chooser_get_filename(fc)) {
                    path = WithExtension(GTK_WINDOW(chooser), name, request, m_texts);
                    chosen = !path.empty();
                    g_free(name);
                }
            }
            gtk_widget_destroy(chooser);
        });
        return chosen;
    }

    dialog::PrintResult Print(dialog::View* owner, const std::string& documentName, dialog::PrintJob& job,
                              std::string& where) override {
        dialog::PrintResult result = dialog::PrintResult::kFailed;
        if (!CallOnGtk([&] { result = PrintWithGtk(WindowOf(owner), documentName, job, where); })) {
            where = LastFailure();
        }
        return result;
    }

private:
    static thread_local bool t_unreachable;
    const ModuleTexts m_texts;
};

thread_local bool GtkBackend::t_unreachable = false;

// The module's backend once GTK runs; it lives as long as the process.
Backend* MakeBackend(const ModuleTexts& texts, std::string& why) {
    static std::once_flag once;
    static Backend* backend = nullptr;
    static std::string reason;
    std::call_once(once, [&texts] {
        if (StartGtk(reason)) backend = new GtkBackend(texts);
    });
    if (!backend) why = reason;
    return backend;
}

}  // namespace
}  // namespace gtk
}  // namespace dialog
}  // namespace orneh

ORNEH_DIALOG_MODULE_ENTRY(orneh::dialog::gtk::MakeBackend)
