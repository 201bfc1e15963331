#include "dialog/gtk/gtk_print.h"

#include <cmath>
#include <vector>

#include "dialog/gtk/gtk_text.h"

namespace orneh {
namespace dialog {
namespace gtk {
namespace {

// The printer's default font: a fixed-width one, so the log's columns stay.
const char* const kPrintFont = "Monospace 10";

struct DrawnLine {
    std::string text;  // UTF-8
    dialog::Rect where;
};

// Measures with the print context's Pango layout and records what each page
// gets; the pages are drawn afterwards, one per draw-page.
class RecordingDevice : public dialog::PrintDevice {
public:
    explicit RecordingDevice(GtkPrintContext* context) : m_context(context) {
        m_layout = gtk_print_context_create_pango_layout(context);
        PangoFontDescription* font = pango_font_description_from_string(kPrintFont);
        pango_layout_set_font_description(m_layout, font);
        pango_font_description_free(font);
        pango_layout_set_wrap(m_layout, PANGO_WRAP_WORD_CHAR);
    }
    ~RecordingDevice() override { g_object_unref(m_layout); }

    int LineHeight() override { return Height("X", -1); }
    int PageWidth() override { return static_cast<int>(gtk_print_context_get_width(m_context)); }
    int PageHeight() override { return static_cast<int>(gtk_print_context_get_height(m_context)); }
    int MeasureWrapped(const std::string& line, int width) override { return Height(ToGtk(line), width); }
    void StartPage() override { m_open.clear(); }
    bool EndPage() override {
        pages.push_back(m_open);
        m_open.clear();
        return true;
    }
    void Draw(const std::string& line, const dialog::Rect& where) override {
        m_open.push_back(DrawnLine{ToGtk(line), where});
    }
    void EndDoc() override {}
    void AbortDoc() override { pages.clear(); }

    std::vector<std::vector<DrawnLine>> pages;

private:
    int Height(const std::string& utf8, int width) {
        pango_layout_set_width(m_layout, width < 0 ? -1 : width * PANGO_SCALE);
        pango_layout_set_text(m_layout, utf8.c_str(), -1);
        int w = 0, h = 0;
        pango_layout_get_size(m_layout, &w, &h);
        return static_cast<int>(std::ceil(static_cast<double>(h) / PANGO_SCALE));
    }

    GtkPrintContext* m_context;
    PangoLayout* m_layout;
    std::vector<DrawnLine> m_open;
};

struct PrintState {
    dialog::PrintJob* job;
    RecordingDevice* device = nullptr;
};

void OnBeginPrint(GtkPrintOperation* operation, GtkPrintContext* context, gpointer data) {
    auto* state = static_cast<PrintState*>(data);
    state->device = new RecordingDevice(context);
    state->job->Paginate(*state->device);
    gtk_print_operation_set_n_pages(operation, std::max<int>(1, static_cast<int>(state->device->pages.size())));
}

void OnDrawPage(GtkPrintOperation*, GtkPrintContext* context, gint pageNumber, gpointer data) {
    auto* state = static_cast<PrintState*>(data);
    if (!state->device || pageNumber >= static_cast<int>(state->device->pages.size())) return;
    cairo_t* cr = gtk_print_context_get_cairo_context(context);
    PangoLayout* layout = gtk_print_context_create_pango_layout(context);
    PangoFontDescription* font = pango_font_description_from_string(kPrintFont);
    pango_layout_set_font_description(layout, font);
    pango_font_description_free(font);
    pango_layout_set_wrap(layout, PANGO_WRAP_WORD_CHAR);
    cairo_set_source_rgb(cr, 0, 0, 0);
    for (const DrawnLine& line : state->device->pages[static_cast<std::size_t>(pageNumber)]) {
        pango_layout_set_width(layout, line.where.Width() * PANGO_SCALE);
        pango_layout_set_text(layout, line.text.c_str(), -1);
        cairo_move_to(cr, line.where.left, line.where.top);
        pango_cairo_show_layout(cr, layout);
    }
    g_object_unref(layout);
}

}  // namespace

dialog::PrintResult PrintWithGtk(GtkWindow* parent, const std::string& documentName, dialog::PrintJob& job,
                                 std::string& why) {
    GtkPrintOperation* operation = gtk_print_operation_new();
    gtk_print_operation_set_job_name(operation, ToGtk(documentName).c_str());
    gtk_print_operation_set_unit(operation, GTK_UNIT_POINTS);
    PrintState state{&job};
    g_signal_connect(operation, "begin-print", G_CALLBACK(OnBeginPrint), &state);
    g_signal_connect(operation, "draw-page", G_CALLBACK(OnDrawPage), &state);
    GError* error = nullptr;
    const GtkPrintOperationResult result =
        gtk_print_operation_run(operation, GTK_PRINT_OPERATION_ACTION_PRINT_DIALOG, parent, &error);
    if (error) {
        why = error->message;
        g_error_free(error);
    }
    delete state.device;
    g_object_unref(operation);
    switch (result) {
        case GTK_PRINT_OPERATION_RESULT_ERROR: return dialog::PrintResult::kFailed;
        case GTK_PRINT_OPERATION_RESULT_CANCEL: return dialog::PrintResult::kCancelled;
        default: return dialog::PrintResult::kPrinted;
    }
}

}  // namespace gtk
}  // namespace dialog
}  // namespace orneh
