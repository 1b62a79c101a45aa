#include "platform/gtk/gtk_toolkit.h"

#include "platform/files.h"

#include <cstdio>
#include <cstdlib>
#include <gtk/gtk.h>
#include <map>
#include <memory>
#include <unistd.h>
#include <vector>

// The icon artwork, generated as XPM so it compiles straight in.
#include "res/icons/shotstamp_16.xpm"
#include "res/icons/shotstamp_32.xpm"

namespace shotstamp::ui {

namespace {

constexpr const char* kIdKey = "shotstamp-control-id";
constexpr const char* kWindowName = "shotstamp-dialog";
constexpr unsigned kSysCommandMinimise = 0xF020;

std::string fontFamilies(std::string_view face) {
    // The template's face first; where it is missing, similar sans faces in its place. Appended
    // into one reserved string: GCC 12 at -O3 misreads the inlined copy in "text" + string.
    constexpr std::string_view kFallbacks =
        "\", \"Microsoft Sans Serif\", \"DejaVu Sans\", sans-serif";
    std::string families;
    families.reserve(1 + face.size() + kFallbacks.size());
    families += '"';
    families += face;
    families += kFallbacks;
    return families;
}

GdkPixbuf* pixbufFromXpm(const char* const* xpm) {
    return gdk_pixbuf_new_from_xpm_data(const_cast<const char**>(xpm));
}

class GtkHost;

struct Signals {
    static void clicked(GtkButton* button, gpointer host);
    static gboolean keyPress(GtkWidget*, GdkEventKey* event, gpointer host);
    static gboolean deleteEvent(GtkWidget*, GdkEvent*, gpointer host);
    static gboolean mapEvent(GtkWidget*, GdkEvent*, gpointer host);
    static gboolean drawAfter(GtkWidget*, cairo_t*, gpointer host);
    static void realize(GtkWidget*, gpointer host);
};

class GtkHost final : public DialogHost {
public:
    GtkHost(GtkToolkit& toolkit, Dialog& dialog, GtkWindow* parent)
        : toolkit_(toolkit), dialog_(dialog), template_(dialog.dialogTemplate()) {
        window_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
        g_object_ref_sink(window_);
        gtk_widget_set_name(window_, kWindowName);
        gtk_window_set_title(GTK_WINDOW(window_), std::string(template_.caption).c_str());
        gtk_window_set_resizable(GTK_WINDOW(window_), FALSE);
        // GTK centres the client area: the main window on the work area of the monitor that
        // holds the pointer, a window with a parent over its parent, each kept on its monitor.
        // The window manager adds its frame around it.
        gtk_window_set_position(GTK_WINDOW(window_), parent == nullptr
                                                         ? GTK_WIN_POS_CENTER
                                                         : GTK_WIN_POS_CENTER_ON_PARENT);
        if (parent != nullptr) {
            gtk_window_set_transient_for(GTK_WINDOW(window_), parent);
            gtk_window_set_modal(GTK_WINDOW(window_), TRUE);
            gtk_window_set_type_hint(GTK_WINDOW(window_), GDK_WINDOW_TYPE_HINT_DIALOG);
        }
        if ((template_.exStyle & kExStyleAppWindow) == 0 && parent != nullptr) {
            gtk_window_set_skip_taskbar_hint(GTK_WINDOW(window_), TRUE);
        }
        applyStyle();
        base_ = measureBaseUnits();
        buildControls();

        g_signal_connect(window_, "key-press-event", G_CALLBACK(Signals::keyPress), this);
        g_signal_connect(window_, "delete-event", G_CALLBACK(Signals::deleteEvent), this);
        g_signal_connect(window_, "map-event", G_CALLBACK(Signals::mapEvent), this);
        g_signal_connect_after(window_, "draw", G_CALLBACK(Signals::drawAfter), this);
        g_signal_connect(window_, "realize", G_CALLBACK(Signals::realize), this);
        loop_ = g_main_loop_new(nullptr, FALSE);
    }

    ~GtkHost() override {
        // The style goes while the window, which names its screen, is still alive.
        if (provider_ != nullptr) {
            gtk_style_context_remove_provider_for_screen(gtk_widget_get_screen(window_),
                                                         GTK_STYLE_PROVIDER(provider_));
            g_object_unref(provider_);
        }
        gtk_widget_destroy(window_);
        g_object_unref(window_);
        g_main_loop_unref(loop_);
    }
    GtkHost(const GtkHost&) = delete;
    GtkHost& operator=(const GtkHost&) = delete;

    int run() {
        if (dialog_.onInitDialog(*this)) {
            for (std::size_t i = 0; i < template_.controls.size(); ++i) {
                if ((template_.controls[i].style & kStyleTabStop) != 0 && widgets_[i] != nullptr) {
                    gtk_widget_grab_focus(widgets_[i]);
                    break;
                }
            }
        }
        if (!ended_) {
            gtk_widget_show_all(window_);
            g_main_loop_run(loop_);
        }
        dialog_.onDestroy();
        return result_;
    }

    GtkWindow* window() const { return GTK_WINDOW(window_); }
    Dialog& dialog() const { return dialog_; }

    void sendEnter() {
        GtkWidget* focus = gtk_window_get_focus(GTK_WINDOW(window_));
        const int focused =
            focus != nullptr ? GPOINTER_TO_INT(g_object_get_data(G_OBJECT(focus), kIdKey)) : 0;
        dialog_.onCommand(template_.enterCommandId(focused), kButtonClicked);
    }

    void mapped() {
        // Without a window manager nothing else gives the window the keyboard focus.
        gtk_window_present_with_time(GTK_WINDOW(window_), GDK_CURRENT_TIME);
        gdk_window_focus(gtk_widget_get_window(window_), GDK_CURRENT_TIME);
        waitingForDraw_ = true;
    }

    void drawn() {
        if (!waitingForDraw_) {
            return;
        }
        waitingForDraw_ = false;
        const std::int64_t ms = (g_get_monotonic_time() - toolkit_.startTime()) / 1000;
        std::string text = "mapped " + std::to_string(template_.id) + " " + std::to_string(ms) +
                           "\nbase " + std::to_string(base_.x) + " " + std::to_string(base_.y);
        GtkAllocation client;
        gtk_widget_get_allocation(fixed_, &client);
        text += "\nclient " + std::to_string(client.width) + " " + std::to_string(client.height);
        for (std::size_t i = 0; i < widgets_.size(); ++i) {
            GtkAllocation at;
            gtk_widget_get_allocation(widgets_[i], &at);
            int x = 0;
            int y = 0;
            gtk_widget_translate_coordinates(widgets_[i], fixed_, 0, 0, &x, &y);
            text += "\ncontrol " + std::to_string(i) + " " +
                    std::to_string(template_.controls[i].id) + " " + std::to_string(x) + " " +
                    std::to_string(y) + " " + std::to_string(at.width) + " " +
                    std::to_string(at.height);
        }
        toolkit_.report(text + "\nend");
    }

    void realized() {
        // The frame the template asks for: a caption always; a close box only with a system
        // menu. Closing stays possible (Alt+F4), as the dialog manager allows it.
        GdkWindow* gdkWindow = gtk_widget_get_window(window_);
        int decorations = GDK_DECOR_BORDER | GDK_DECOR_TITLE;
        if ((template_.style & kStyleSysMenu) != 0) {
            decorations |= GDK_DECOR_MENU;
        }
        gdk_window_set_decorations(gdkWindow, static_cast<GdkWMDecoration>(decorations));
        gdk_window_set_functions(gdkWindow,
                                 static_cast<GdkWMFunction>(GDK_FUNC_MOVE | GDK_FUNC_CLOSE));
    }

    // DialogHost
    std::string controlText(int controlId) const override {
        GtkWidget* widget = widgetFor(controlId);
        const char* text = nullptr;
        if (widget == nullptr) {
            return {};
        }
        if (GTK_IS_ENTRY(widget)) {
            text = gtk_entry_get_text(GTK_ENTRY(widget));
        } else if (GTK_IS_BUTTON(widget)) {
            text = gtk_button_get_label(GTK_BUTTON(widget));
        } else if (GTK_IS_LABEL(widget)) {
            text = gtk_label_get_text(GTK_LABEL(widget));
        }
        return text != nullptr ? std::string(text) : std::string();
    }
    void setControlText(int controlId, std::string_view text) override {
        GtkWidget* widget = widgetFor(controlId);
        const std::string value(text);
        if (widget == nullptr) {
            return;
        }
        if (GTK_IS_ENTRY(widget)) {
            gtk_entry_set_text(GTK_ENTRY(widget), value.c_str());
        } else if (GTK_IS_BUTTON(widget)) {
            gtk_button_set_label(GTK_BUTTON(widget), value.c_str());
        } else if (GTK_IS_LABEL(widget)) {
            gtk_label_set_text(GTK_LABEL(widget), value.c_str());
        }
    }
    void endDialog(int result) override {
        ended_ = true;
        result_ = result;
        if (g_main_loop_is_running(loop_)) {
            g_main_loop_quit(loop_);
        }
    }
    bool hasSystemMenu() const override { return (template_.style & kStyleSysMenu) != 0; }
    // The window manager owns the window menu here; nothing can be added to it.
    void appendSystemMenu(unsigned, std::string_view) override {}
    void setIcon(IconHandle icon, bool big) override {
        if (big && icon) {
            gtk_window_set_icon(GTK_WINDOW(window_), static_cast<GdkPixbuf*>(icon.native));
        }
    }
    void defaultSystemCommand(unsigned command, std::intptr_t) override {
        const unsigned action = command & kSysCommandMask;
        if (action == kSysCommandClose) {
            dialog_.onCommand(kIdCancel, kButtonClicked);
        } else if (action == kSysCommandMinimise) {
            gtk_window_iconify(GTK_WINDOW(window_));
        }
    }
    bool isMinimised() const override {
        GdkWindow* gdkWindow = gtk_widget_get_window(window_);
        return gdkWindow != nullptr &&
               (gdk_window_get_state(gdkWindow) & GDK_WINDOW_STATE_ICONIFIED) != 0;
    }
    // GTK paints its widgets itself; a minimised window is the window manager's to show.
    void defaultPaint() override {}
    PixelSize clientSize() const override {
        GtkAllocation client;
        gtk_widget_get_allocation(fixed_, &client);
        return {client.width, client.height};
    }
    PixelSize iconSize() const override { return {32, 32}; }
    void drawMinimisedIcon(IconHandle, int, int) override {}

private:
    GtkWidget* widgetFor(int controlId) const {
        for (std::size_t i = 0; i < template_.controls.size(); ++i) {
            if (template_.controls[i].id == controlId && controlId != kIdStatic) {
                return widgets_[i];
            }
        }
        return nullptr;
    }

    void applyStyle() {
        // Controls must sit on their dialog-unit rectangles: the theme's minimum sizes and
        // paddings would push them off, so they are taken out; the default button gets a frame.
        const std::string css =
            "#" + std::string(kWindowName) +
            " * { font-family: " + fontFamilies(template_.font.face) +
            "; font-size: " + std::to_string(template_.font.pointSize) +
            "pt; }\n"
            "#shotstamp-dialog button { min-height: 0; min-width: 0; padding: 0 1px; "
            "margin: 0; }\n"
            "#shotstamp-dialog button.shotstamp-default { border: 2px solid #000000; }\n"
            "#shotstamp-dialog entry { min-height: 0; min-width: 0; padding: 0 2px; margin: 0; }\n"
            "#shotstamp-dialog label { min-height: 0; min-width: 0; padding: 0; margin: 0; }\n";
        provider_ = gtk_css_provider_new();
        gtk_css_provider_load_from_data(provider_, css.c_str(), -1, nullptr);
        gtk_style_context_add_provider_for_screen(gtk_widget_get_screen(window_),
                                                  GTK_STYLE_PROVIDER(provider_),
                                                  GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
    }

    BaseUnits measureBaseUnits() const {
        PangoContext* context = gtk_widget_create_pango_context(window_);
        PangoFontDescription* font = pango_font_description_from_string("Sans");
        const std::string families =
            std::string(template_.font.face) + ",Microsoft Sans Serif,DejaVu Sans,sans-serif";
        pango_font_description_set_family(font, families.c_str());
        pango_font_description_set_size(font, template_.font.pointSize * PANGO_SCALE);
        pango_context_set_font_description(context, font);
        PangoLayout* layout = pango_layout_new(context);
        pango_layout_set_text(layout, "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz", -1);
        int width = 0;
        int height = 0;
        pango_layout_get_pixel_size(layout, &width, &height);
        PangoFontMetrics* metrics = pango_context_get_metrics(context, font, nullptr);
        const int lineHeight = PANGO_PIXELS_CEIL(pango_font_metrics_get_ascent(metrics) +
                                                 pango_font_metrics_get_descent(metrics));
        pango_font_metrics_unref(metrics);
        g_object_unref(layout);
        pango_font_description_free(font);
        g_object_unref(context);
        // The average width of the 52 letters, rounded as the dialog manager rounds it.
        return BaseUnits{(width / 26 + 1) / 2, lineHeight > 0 ? lineHeight : height};
    }

    void buildControls() {
        fixed_ = gtk_fixed_new();
        const PixelRect client = dialogUnitsToPixels(
            DialogRect{0, 0, template_.rect.width, template_.rect.height}, base_);
        gtk_widget_set_size_request(fixed_, client.width(), client.height());
        gtk_container_add(GTK_CONTAINER(window_), fixed_);
        GList* chain = nullptr;
        for (const ControlTemplate& control : template_.controls) {
            GtkWidget* widget = makeControl(control);
            const PixelRect at = dialogUnitsToPixels(control.rect, base_);
            gtk_widget_set_size_request(widget, at.width(), at.height());
            gtk_fixed_put(GTK_FIXED(fixed_), widget, at.left, at.top);
            g_object_set_data(G_OBJECT(widget), kIdKey, GINT_TO_POINTER(control.id));
            widgets_.push_back(widget);
            if ((control.style & kStyleTabStop) != 0) {
                chain = g_list_append(chain, widget);
            }
        }
        // Tab order is template order, not the layout's left-to-right order.
        G_GNUC_BEGIN_IGNORE_DEPRECATIONS
        gtk_container_set_focus_chain(GTK_CONTAINER(fixed_), chain);
        G_GNUC_END_IGNORE_DEPRECATIONS
        g_list_free(chain);
    }

    GtkWidget* makeControl(const ControlTemplate& control) {
        const std::string text(control.text);
        switch (control.controlClass) {
        case ControlClass::edit: {
            GtkWidget* entry = gtk_entry_new();
            gtk_entry_set_has_frame(GTK_ENTRY(entry), (control.style & kStyleBorder) != 0);
            gtk_entry_set_width_chars(GTK_ENTRY(entry), 1);
            gtk_entry_set_text(GTK_ENTRY(entry), text.c_str());
            return entry;
        }
        case ControlClass::button: {
            GtkWidget* button = gtk_button_new_with_label(text.c_str());
            g_signal_connect(button, "clicked", G_CALLBACK(Signals::clicked), this);
            if (control.isDefaultButton()) {
                gtk_widget_set_can_default(button, TRUE);
                gtk_window_set_default(GTK_WINDOW(window_), button);
                gtk_style_context_add_class(gtk_widget_get_style_context(button),
                                            "shotstamp-default");
            }
            return button;
        }
        case ControlClass::staticText:
            break;
        }
        if (control.isIcon()) {
            const IconHandle icon = toolkit_.loadIcon(control.iconId);
            GtkWidget* image = icon
                                   ? gtk_image_new_from_pixbuf(static_cast<GdkPixbuf*>(icon.native))
                                   : gtk_image_new();
            gtk_widget_set_halign(image, GTK_ALIGN_START);
            gtk_widget_set_valign(image, GTK_ALIGN_START);
            return image;
        }
        GtkWidget* label = gtk_label_new(text.c_str());
        gtk_label_set_xalign(GTK_LABEL(label), 0.0F);
        gtk_label_set_yalign(GTK_LABEL(label), 0.0F);
        return label;
    }

    GtkToolkit& toolkit_;
    Dialog& dialog_;
    const DialogTemplate& template_;
    GtkWidget* window_ = nullptr;
    GtkWidget* fixed_ = nullptr;
    std::vector<GtkWidget*> widgets_; // template order
    GtkCssProvider* provider_ = nullptr;
    GMainLoop* loop_ = nullptr;
    BaseUnits base_;
    bool ended_ = false;
    int result_ = -1;
    bool waitingForDraw_ = false;
};

void Signals::clicked(GtkButton* button, gpointer host) {
    const int id = GPOINTER_TO_INT(g_object_get_data(G_OBJECT(button), kIdKey));
    static_cast<GtkHost*>(host)->dialog().onCommand(id, kButtonClicked);
}

gboolean Signals::keyPress(GtkWidget*, GdkEventKey* event, gpointer host) {
    GtkHost& self = *static_cast<GtkHost*>(host);
    if ((event->state & (GDK_CONTROL_MASK | GDK_MOD1_MASK)) != 0) {
        return FALSE;
    }
    switch (event->keyval) {
    case GDK_KEY_Escape:
        self.dialog().onCommand(kIdCancel, kButtonClicked);
        return TRUE;
    case GDK_KEY_Return:
    case GDK_KEY_KP_Enter:
    case GDK_KEY_ISO_Enter:
        self.sendEnter();
        return TRUE;
    default:
        return FALSE;
    }
}

gboolean Signals::deleteEvent(GtkWidget*, GdkEvent*, gpointer host) {
    // A close request arrives as the system command to close; its default handling sends the
    // cancel command. The window itself goes only when the dialog ends.
    static_cast<GtkHost*>(host)->dialog().onSystemCommand(kSysCommandClose, 0);
    return TRUE;
}

gboolean Signals::mapEvent(GtkWidget*, GdkEvent*, gpointer host) {
    static_cast<GtkHost*>(host)->mapped();
    return FALSE;
}

gboolean Signals::drawAfter(GtkWidget*, cairo_t*, gpointer host) {
    static_cast<GtkHost*>(host)->drawn();
    return FALSE;
}

void Signals::realize(GtkWidget*, gpointer host) {
    static_cast<GtkHost*>(host)->realized();
}

std::string directoryOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

} // namespace

GtkToolkit::GtkToolkit() : startTime_(g_get_monotonic_time()) {
    const char* report = g_getenv("SHOTSTAMP_REPORT_MAPPED");
    if (report != nullptr) {
        reportPath_ = report;
    }
}

GtkToolkit::~GtkToolkit() {
    if (icon32_ != nullptr) {
        g_object_unref(icon32_);
    }
    if (icon16_ != nullptr) {
        g_object_unref(icon16_);
    }
}

bool GtkToolkit::start() {
    if (!started_ && !startFailed_) {
        // No arguments go to GTK: every argument is a picture, even one that looks like an
        // option.
        if (gtk_init_check(nullptr, nullptr)) {
            started_ = true;
        } else {
            startFailed_ = true;
        }
    }
    return started_;
}

int GtkToolkit::runModal(Dialog& dialog) {
    if (!start()) {
        return -1;
    }
    GtkWindow* parent = static_cast<GtkWindow*>(openWindow_);
    GtkHost host(*this, dialog, parent);
    openWindow_ = host.window();
    const int result = host.run();
    openWindow_ = parent;
    return result;
}

IconHandle GtkToolkit::loadIcon(int resourceId) {
    if (resourceId != 128 || !start()) {
        return {};
    }
    if (icon32_ == nullptr) {
        icon32_ = pixbufFromXpm(shotstamp_32);
        icon16_ = pixbufFromXpm(shotstamp_16);
    }
    return IconHandle{icon32_};
}

std::string GtkToolkit::loadString(int) {
    return {};
}

bool GtkToolkit::showHelp(unsigned command, unsigned data) {
    const std::string path = helpFilePath();
    gchar* uri = g_filename_to_uri(path.c_str(), nullptr, nullptr);
    if (uri == nullptr) {
        return false;
    }
    std::string target(uri);
    g_free(uri);
    if (command == kHelpContext) {
        target += "#context-" + std::to_string(data);
    }
    report("help " + target);
    if (!g_file_test(path.c_str(), G_FILE_TEST_IS_REGULAR)) {
        std::fprintf(stderr, "shotstamp: the help page %s is missing\n", path.c_str());
        return false;
    }
    GError* error = nullptr;
    const gboolean launched = g_app_info_launch_default_for_uri(target.c_str(), nullptr, &error);
    if (error != nullptr) {
        std::fprintf(stderr, "shotstamp: cannot open the help page: %s\n", error->message);
        g_error_free(error);
    }
    return launched != FALSE;
}

std::string GtkToolkit::helpFilePath() const {
    // Beside the program in the build tree; under share/shotstamp when installed.
    const std::string folder = directoryOf(programPath());
    const std::string beside = folder + "/help/shotstamp.html";
    const std::string installed = folder + "/../share/shotstamp/shotstamp.html";
    if (!g_file_test(beside.c_str(), G_FILE_TEST_IS_REGULAR) &&
        g_file_test(installed.c_str(), G_FILE_TEST_IS_REGULAR)) {
        return installed;
    }
    return beside;
}

std::string GtkToolkit::programPath() const {
    return files::runningProgramPath();
}

void GtkToolkit::report(const std::string& line) const {
    if (reportPath_.empty()) {
        return;
    }
    if (reportPath_.rfind("fd:", 0) == 0) {
        // A pipe the test reads: it blocks on it instead of polling a file.
        const int fd = std::atoi(reportPath_.c_str() + 3);
        const std::string text = line + "\n";
        std::size_t done = 0;
        while (fd > 2 && done < text.size()) {
            const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
            if (n <= 0) {
                break;
            }
            done += static_cast<std::size_t>(n);
        }
        return;
    }
    std::FILE* out = std::fopen(reportPath_.c_str(), "a");
    if (out != nullptr) {
        std::fprintf(out, "%s\n", line.c_str());
        std::fclose(out);
    }
}

} // namespace shotstamp::ui
