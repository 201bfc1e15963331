#include "dialog/gtk/gtk_view.h"

#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>

#include "dialog/gtk/gtk_text.h"
#include "dialog/gtk/gtk_thread.h"

namespace orneh {
namespace dialog {
namespace gtk {
namespace {

using dialog::Control;
using dialog::ControlKind;
using dialog::Event;
using dialog::WindowModel;

// Buttons as compact as the template draws them.
// An edit without a border (the message) reads as text on the dialog.
const char* const kCss =
    "button { padding: 0 6px; min-height: 0; min-width: 0; }"
    "textview.borderless, textview.borderless text { background-color: transparent; }";

const char* IconName(unsigned int iconType) {
    static const char* const kNames[dialog::kIconRows] = {
        nullptr, "dialog-error", "dialog-question", "dialog-warning", "dialog-information"};
    return kNames[dialog::IconRow(iconType)];
}

struct Widgets {
    GtkWidget* outer = nullptr;  // what the layout places
    GtkWidget* inner = nullptr;  // the text view of an edit, else outer
    ControlKind kind = ControlKind::kOther;
};

// The window and its controls; touched on the GTK thread only, except for
// the event queue.
struct Window {
    GtkWidget* window = nullptr;
    GtkWidget* scroller = nullptr;  // lets a window larger than the screen scroll
    GtkWidget* layout = nullptr;
    std::map<unsigned int, Widgets> controls;
    std::map<GtkWidget*, unsigned int> ids;  // inner widget -> control id
    WindowModel shown;                        // what the widgets show now
    bool first = true;
    bool applying = false;  // changes made by Update are not the user's
    GtkCssProvider* css = nullptr;

    std::mutex mutex;
    std::condition_variable wake;
    std::deque<Event> events;

    void Post(const Event& e) {
        {
            std::lock_guard<std::mutex> lock(mutex);
            events.push_back(e);
        }
        wake.notify_one();
        // A reporting thread that runs the loop itself is woken by the loop.
        g_main_context_wakeup(nullptr);
    }
};

// The module's open windows, told when the display goes away. Like the
// turn below, never destroyed: a thread may use them while the process ends.
std::mutex& g_openMutex = *new std::mutex;
std::set<Window*>& g_open = *new std::set<Window*>;

void TellOpenWindows() {
    std::lock_guard<std::mutex> lock(g_openMutex);
    for (Window* w : g_open) w->Post(Event{Event::kLost, 0, ""});
}

// One dialog at a time in the process: a report while another's dialog is
// open waits for its turn, as the terminal does. The thread that has the
// turn may open more (a report from inside the dialog, say from the
// hand-over). A waiting GTK thread keeps its loop running, so the open
// dialog, which may run on it, goes on.
class Turn {
public:
    void Take() {
        const std::thread::id me = std::this_thread::get_id();
        std::unique_lock<std::mutex> lock(m_mutex);
        if (m_depth > 0 && m_owner == me) {
            ++m_depth;
            return;
        }
        while (m_depth > 0) {
            if (OnGtkThread()) {
                lock.unlock();
                IterateUntil([this] {
                    std::lock_guard<std::mutex> inner(m_mutex);
                    return m_depth == 0;
                });
                lock.lock();
            } else {
                m_free.wait(lock);
            }
        }
        m_owner = me;
        m_depth = 1;
    }
    void Give() {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (--m_depth > 0) return;
        }
        m_free.notify_all();
        g_main_context_wakeup(nullptr);
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_free;
    std::thread::id m_owner;
    int m_depth = 0;
};
Turn& g_turn = *new Turn;

unsigned int IdOf(Window* w, GtkWidget* widget) {
    auto it = w->ids.find(widget);
    return it == w->ids.end() ? 0 : it->second;
}

void OnClicked(GtkButton* button, gpointer data) {
    auto* w = static_cast<Window*>(data);
    if (!w->applying) w->Post(Event{Event::kClick, IdOf(w, GTK_WIDGET(button)), ""});
}

void OnSetFocus(GtkWindow*, GtkWidget* widget, gpointer data) {
    auto* w = static_cast<Window*>(data);
    if (!w->applying) w->Post(Event{Event::kFocus, widget ? IdOf(w, widget) : 0, ""});
}

gboolean OnDelete(GtkWidget*, GdkEvent*, gpointer data) {
    static_cast<Window*>(data)->Post(Event{Event::kCancel, 0, ""});
    return TRUE;  // the dialog's logic closes the window
}

// The window went without the logic closing it (destroyed from outside):
// that is a cancel, and nothing of it may be touched any more.
void OnDestroy(GtkWidget*, gpointer data) {
    auto* w = static_cast<Window*>(data);
    if (!w->window) return;
    w->window = nullptr;
    w->Post(Event{Event::kCancel, 0, ""});
}

gboolean OnKey(GtkWidget* window, GdkEventKey* key, gpointer data) {
    auto* w = static_cast<Window*>(data);
    if (key->keyval == GDK_KEY_Escape) {
        w->Post(Event{Event::kCancel, 0, ""});
        return TRUE;
    }
    if (key->keyval != GDK_KEY_Return && key->keyval != GDK_KEY_KP_Enter) return FALSE;
    // A focused button takes Enter itself; so does a field that wants it.
    GtkWidget* focus = gtk_window_get_focus(GTK_WINDOW(window));
    if (focus && GTK_IS_BUTTON(focus)) return FALSE;
    const unsigned int id = focus ? IdOf(w, focus) : 0;
    const Control* c = id ? w->shown.Find(id) : nullptr;
    if (c && c->kind == ControlKind::kEdit && (c->style & dialog::kEditWantReturn)) return FALSE;
    w->Post(Event{Event::kOk, 0, ""});
    return TRUE;
}

void OnTextChanged(GtkTextBuffer* buffer, gpointer data) {
    auto* w = static_cast<Window*>(data);
    if (w->applying) return;
    const unsigned int id = GPOINTER_TO_UINT(g_object_get_data(G_OBJECT(buffer), "orneh-id"));
    GtkTextIter start, end;
    gtk_text_buffer_get_bounds(buffer, &start, &end);
    gchar* text = gtk_text_buffer_get_text(buffer, &start, &end, FALSE);
    w->Post(Event{Event::kEdited, id, FromGtk(text)});
    g_free(text);
}

void Style(Window* w, GtkWidget* widget) {
    gtk_style_context_add_provider(gtk_widget_get_style_context(widget), GTK_STYLE_PROVIDER(w->css),
                                   GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
}

Widgets MakeControl(Window* w, const Control& c) {
    Widgets made;
    made.kind = c.kind;
    switch (c.kind) {
        case ControlKind::kPushButton:
        case ControlKind::kDefPushButton:
            made.outer = gtk_button_new_with_mnemonic(MnemonicLabel(c.text).c_str());
            Style(w, made.outer);
            g_signal_connect(made.outer, "clicked", G_CALLBACK(OnClicked), w);
            break;
        case ControlKind::kGroupBox:
            made.outer = gtk_frame_new(PlainLabel(c.text).c_str());
            break;
        case ControlKind::kEdit: {
            made.outer = gtk_scrolled_window_new(nullptr, nullptr);
            // A scroll bar that is there whenever there is more to see.
            gtk_scrolled_window_set_overlay_scrolling(GTK_SCROLLED_WINDOW(made.outer), FALSE);
            const bool border = (c.style & dialog::kStyleBorder) || !(c.style & dialog::kEditReadOnly);
            gtk_scrolled_window_set_shadow_type(GTK_SCROLLED_WINDOW(made.outer), border ? GTK_SHADOW_IN : GTK_SHADOW_NONE);
            made.inner = gtk_text_view_new();
            Style(w, made.inner);
            if (!border) gtk_style_context_add_class(gtk_widget_get_style_context(made.inner), "borderless");
            GtkTextView* view = GTK_TEXT_VIEW(made.inner);
            gtk_text_view_set_wrap_mode(view, GTK_WRAP_WORD_CHAR);
            gtk_text_view_set_left_margin(view, 2);
            gtk_text_view_set_right_margin(view, 2);
            const bool readOnly = (c.style & dialog::kEditReadOnly) != 0;
            gtk_text_view_set_editable(view, !readOnly);
            gtk_text_view_set_cursor_visible(view, !readOnly);
            // Tab and Shift+Tab move the focus, as in every other control.
            gtk_text_view_set_accepts_tab(view, FALSE);
            GtkTextBuffer* buffer = gtk_text_view_get_buffer(view);
            g_object_set_data(G_OBJECT(buffer), "orneh-id", GUINT_TO_POINTER(c.id));
            g_signal_connect(buffer, "changed", G_CALLBACK(OnTextChanged), w);
            gtk_container_add(GTK_CONTAINER(made.outer), made.inner);
            break;
        }
        case ControlKind::kIcon:
            made.outer = gtk_image_new();
            break;
        case ControlKind::kStatic:
            made.outer = gtk_label_new_with_mnemonic(MnemonicLabel(c.text).c_str());
            gtk_label_set_xalign(GTK_LABEL(made.outer), 0);
            gtk_label_set_line_wrap(GTK_LABEL(made.outer), TRUE);
            break;
        case ControlKind::kOther:
            made.outer = gtk_label_new("");
            break;
    }
    if (!made.inner) made.inner = made.outer;
    return made;
}

void SetText(Widgets& made, const Control& c, unsigned int iconType) {
    switch (c.kind) {
        case ControlKind::kPushButton:
        case ControlKind::kDefPushButton:
            gtk_button_set_label(GTK_BUTTON(made.outer), MnemonicLabel(c.text).c_str());
            break;
        case ControlKind::kGroupBox:
            gtk_frame_set_label(GTK_FRAME(made.outer), PlainLabel(c.text).c_str());
            break;
        case ControlKind::kEdit: {
            const std::string text = ToGtk(c.text);
            gtk_text_buffer_set_text(gtk_text_view_get_buffer(GTK_TEXT_VIEW(made.inner)), text.c_str(), -1);
            break;
        }
        case ControlKind::kIcon: {
            const int size = std::min(c.rect.Width(), c.rect.Height());
            gtk_image_set_from_icon_name(GTK_IMAGE(made.outer), IconName(iconType), GTK_ICON_SIZE_DIALOG);
            gtk_image_set_pixel_size(GTK_IMAGE(made.outer), size);
            break;
        }
        case ControlKind::kStatic:
            gtk_label_set_text_with_mnemonic(GTK_LABEL(made.outer), MnemonicLabel(c.text).c_str());
            break;
        case ControlKind::kOther:
            break;
    }
}

// The window as large as the model, but never larger than the screen's work
// area: beyond it (large fonts) the dialog scrolls.
void FitScreen(Window* w, const WindowModel& model) {
    GdkDisplay* display = gtk_widget_get_display(w->window);
    GdkMonitor* monitor = gdk_display_get_primary_monitor(display);
    if (!monitor) monitor = gdk_display_get_monitor(display, 0);
    int width = model.width, height = model.height;
    if (monitor) {
        GdkRectangle area;
        gdk_monitor_get_workarea(monitor, &area);
        // Room for the window's frame and caption.
        width = std::min(width, area.width - 32);
        height = std::min(height, area.height - 64);
        // A window that grows (the details open) and would reach past the
        // screen's bottom moves up.
        int x = 0, y = 0;
        if (!w->first) gtk_window_get_position(GTK_WINDOW(w->window), &x, &y);
        const int lowest = area.y + area.height - height - 48;
        if (!w->first && y > lowest) gtk_window_move(GTK_WINDOW(w->window), x, std::max(area.y, lowest));
    }
    GtkScrolledWindow* scroller = GTK_SCROLLED_WINDOW(w->scroller);
    // Scroll bars only where the screen is too small (they take room).
    const bool wide = width < model.width, tall = height < model.height;
    gtk_scrolled_window_set_policy(scroller, wide ? GTK_POLICY_ALWAYS : GTK_POLICY_NEVER,
                                   tall ? GTK_POLICY_ALWAYS : GTK_POLICY_NEVER);
    gtk_scrolled_window_set_min_content_width(scroller, wide ? width : -1);
    gtk_scrolled_window_set_min_content_height(scroller, tall ? height : -1);
    gtk_window_resize(GTK_WINDOW(w->window), width, height);
}

// Makes the widgets show model; only what changed is touched.
void Apply(Window* w, const WindowModel& model) {
    if (!w->window) return;
    w->applying = true;
    gtk_window_set_title(GTK_WINDOW(w->window), ToGtk(model.caption).c_str());
    GList* chain = nullptr;
    for (const Control& c : model.controls) {
        Widgets& made = w->controls[c.id];
        const Control* before = w->first ? nullptr : w->shown.Find(c.id);
        // What the user types stays the field's own: the logic's copy of it
        // may lag behind the keys (and setting it would move the caret).
        const bool typed = before && c.kind == ControlKind::kEdit && !(c.style & dialog::kEditReadOnly);
        if (!before || (!typed && before->text != c.text) ||
            (c.kind == ControlKind::kIcon && w->shown.iconType != model.iconType)) {
            SetText(made, c, model.iconType);
        }
        if (!before || before->rect.left != c.rect.left || before->rect.top != c.rect.top) {
            gtk_layout_move(GTK_LAYOUT(w->layout), made.outer, c.rect.left, c.rect.top);
        }
        gtk_widget_set_size_request(made.outer, c.rect.Width(), c.rect.Height());
        if (c.kind == ControlKind::kEdit) {
            gtk_scrolled_window_set_policy(GTK_SCROLLED_WINDOW(made.outer), GTK_POLICY_NEVER,
                                           (c.style & dialog::kStyleVScroll) ? GTK_POLICY_ALWAYS : GTK_POLICY_NEVER);
        }
        const bool visible = c.visible && !(c.kind == ControlKind::kIcon && !IconName(model.iconType));
        gtk_widget_set_visible(made.outer, visible);
        gtk_widget_set_sensitive(made.outer, c.enabled);
        if (c.style & dialog::kStyleTabStop) chain = g_list_append(chain, made.outer);
    }
    G_GNUC_BEGIN_IGNORE_DEPRECATIONS
    gtk_container_set_focus_chain(GTK_CONTAINER(w->layout), chain);
    G_GNUC_END_IGNORE_DEPRECATIONS
    g_list_free(chain);
    gtk_widget_set_size_request(w->layout, model.width, model.height);
    gtk_layout_set_size(GTK_LAYOUT(w->layout), static_cast<guint>(model.width), static_cast<guint>(model.height));
    FitScreen(w, model);
    unsigned int focusId = model.focus;
    if (w->first) {
        // Centred over the parent, or on the screen when there is none
        // (also without a window manager).
        const bool parent = gtk_window_get_transient_for(GTK_WINDOW(w->window)) != nullptr;
        gtk_window_set_position(GTK_WINDOW(w->window), !(model.style & dialog::kDialogCentre) ? GTK_WIN_POS_NONE
                                                       : parent ? GTK_WIN_POS_CENTER_ON_PARENT : GTK_WIN_POS_CENTER);
        gtk_widget_show(w->scroller);
        gtk_widget_show(w->layout);
        gtk_window_present(GTK_WINDOW(w->window));
        gtk_window_set_focus_visible(GTK_WINDOW(w->window), TRUE);
        // A read-only text shows no caret: the keyboard starts on the first
        // answer button instead, where its focus ring shows.
        const Control* c = model.Find(focusId);
        if (c && c->kind == ControlKind::kEdit && (c->style & dialog::kEditReadOnly)) {
            for (const Control& b : model.controls) {
                if (b.visible && b.enabled && (b.kind == ControlKind::kDefPushButton || b.kind == ControlKind::kPushButton)) {
                    focusId = b.id;
                    w->Post(Event{Event::kFocus, focusId, ""});
                    break;
                }
            }
        }
    }
    auto focus = w->controls.find(focusId);
    if (focus != w->controls.end() && gtk_widget_get_visible(focus->second.outer) &&
        gtk_widget_is_sensitive(focus->second.outer) &&
        gtk_window_get_focus(GTK_WINDOW(w->window)) != focus->second.inner) {
        gtk_widget_grab_focus(focus->second.inner);
    }
    w->shown = model;
    w->first = false;
    w->applying = false;
}

class GtkView : public dialog::View {
public:
    explicit GtkView(Window* w) : m_w(w), m_inline(OnGtkThread()) {
        std::lock_guard<std::mutex> lock(g_openMutex);
        g_open.insert(w);
    }

    ~GtkView() override {
        Window* w = m_w;
        {
            std::lock_guard<std::mutex> lock(g_openMutex);
            g_open.erase(w);
        }
        // Torn down on the GTK thread (the window's structure goes with its
        // widgets), before the report goes on: the process may end next. A
        // GTK thread that does not answer does it when it gets there.
        auto tearDown = [w] {
            if (GtkWidget* window = w->window) {
                w->window = nullptr;
                gtk_widget_destroy(window);
            }
            if (w->css) g_object_unref(w->css);
            delete w;
        };
        if (!CallOnGtk(tearDown) && !DisplayLost()) PostToGtk(tearDown);
        WindowClosed();
        g_turn.Give();
    }

    void Update(const WindowModel& model) override {
        Window* w = m_w;
        if (!CallOnGtk([w, &model] { Apply(w, model); })) w->Post(Event{Event::kLost, 0, ""});
    }

    Event WaitEvent() override {
        Window* w = m_w;
        auto ready = [w] { return !w->events.empty(); };
        if (m_inline) {
            IterateUntil([w, ready] {
                std::lock_guard<std::mutex> lock(w->mutex);
                return ready();
            });
            if (DisplayLost()) w->Post(Event{Event::kLost, 0, ""});
        }
        std::unique_lock<std::mutex> lock(w->mutex);
        w->wake.wait(lock, ready);
        Event e = w->events.front();
        w->events.pop_front();
        return e;
    }

    int MeasureText(unsigned int id, const std::string& text, dialog::Rect& client) override {
        int height = -1;
        Window* w = m_w;
        CallOnGtk([&] {
            auto it = w->controls.find(id);
            const Control* c = w->shown.Find(id);
            if (!w->window || it == w->controls.end()) return;
            const dialog::Rect rect = c ? c->rect : dialog::Rect{};
            int scrollBar = 0;
            if (c && (c->style & dialog::kStyleVScroll)) {
                GtkWidget* bar = gtk_scrolled_window_get_vscrollbar(GTK_SCROLLED_WINDOW(it->second.outer));
                gtk_widget_get_preferred_width(bar, nullptr, &scrollBar);
            }
            // The text view's margins and the frame's border are not text.
            client = dialog::Rect{0, 0, rect.Width() - scrollBar - 4, rect.Height()};
            PangoLayout* layout = gtk_widget_create_pango_layout(it->second.inner, ToGtk(text).c_str());
            pango_layout_set_width(layout, client.Width() * PANGO_SCALE);
            pango_layout_set_wrap(layout, PANGO_WRAP_WORD_CHAR);
            pango_layout_get_pixel_size(layout, nullptr, &height);
            g_object_unref(layout);
        });
        return height;
    }

    Window* window() const { return m_w; }

private:
    Window* m_w;
    bool m_inline;
};

}  // namespace

dialog::FontMetrics DesktopFontMetrics() {
    GtkWidget* label = gtk_label_new("");
    g_object_ref_sink(label);
    PangoLayout* layout = gtk_widget_create_pango_layout(label, "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    int width = 0, height = 0;
    pango_layout_get_pixel_size(layout, &width, &height);
    g_object_unref(layout);
    g_object_unref(label);
    // As Windows averages a font: the alphabet's width over 52, rounded.
    return dialog::FontMetrics{(width / 26 + 1) / 2, height};
}

std::unique_ptr<dialog::View> OpenGtkView(const WindowModel& model, GtkWindow* parent) {
    g_turn.Take();
    WindowOpened();
    Window* w = new Window;
    const bool made = CallOnGtk([&] {
        static std::once_flag once;
        std::call_once(once, [] { OnDisplayLost(TellOpenWindows); });
        w->css = gtk_css_provider_new();
        gtk_css_provider_load_from_data(w->css, kCss, -1, nullptr);
        w->window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
        GtkWindow* window = GTK_WINDOW(w->window);
        gtk_window_set_resizable(window, FALSE);
        gtk_window_set_modal(window, TRUE);
        gtk_window_set_type_hint(window, GDK_WINDOW_TYPE_HINT_DIALOG);
        if (parent) gtk_window_set_transient_for(window, parent);
        w->scroller = gtk_scrolled_window_new(nullptr, nullptr);
        gtk_scrolled_window_set_overlay_scrolling(GTK_SCROLLED_WINDOW(w->scroller), FALSE);
        gtk_container_add(GTK_CONTAINER(w->window), w->scroller);
        w->layout = gtk_layout_new(nullptr, nullptr);
        gtk_container_add(GTK_CONTAINER(w->scroller), w->layout);
        for (const Control& c : model.controls) {
            Widgets made = MakeControl(w, c);
            gtk_layout_put(GTK_LAYOUT(w->layout), made.outer, c.rect.left, c.rect.top);
            if (made.inner != made.outer) gtk_widget_show(made.inner);
            w->ids[made.inner] = c.id;
            w->controls[c.id] = made;
        }
        w->shown = model;
        g_signal_connect(w->window, "delete-event", G_CALLBACK(OnDelete), w);
        g_signal_connect(w->window, "destroy", G_CALLBACK(OnDestroy), w);
        g_signal_connect(w->window, "key-press-event", G_CALLBACK(OnKey), w);
        g_signal_connect(w->window, "set-focus", G_CALLBACK(OnSetFocus), w);
    });
    // The view owns the window from here on, even one that was not made: its
    // end gives the turn back and tears down whatever was made.
    std::unique_ptr<dialog::View> view(new GtkView(w));
    if (!made) view.reset();
    return view;
}

GtkWindow* WindowOf(dialog::View* view) {
    auto* v = dynamic_cast<GtkView*>(view);
    return v && v->window()->window ? GTK_WINDOW(v->window()->window) : nullptr;
}

}  // namespace gtk
}  // namespace dialog
}  // namespace orneh
