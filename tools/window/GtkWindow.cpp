// The window with GTK 4. Two threads, two kinds of state:
// - DeviceSide: the main run loop's (session, events); reached from the GTK
//   thread only through calls posted to the main run loop;
// - Ui: the GTK thread's (widgets, the frame shown); reached from the main
//   thread only through its inbox, woken with an idle source on GTK's
//   default context. The thread holds it until it ends; wake-ups
//   after that are never dispatched.
// Neither thread ever waits for the other once the window is open.
#include <gtk/gtk.h>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <deque>
#include <future>
#include <iostream>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/runloop/RunLoop.h"
#include "platform/runloop/Timer.h"
#include "platform/ui/Interaction.h"
#include "platform/ui/Screen.h"
#include "platform/ui/ScreenChanges.h"
#include "tools/window/DeviceControls.h"
#include "tools/window/WindowFrontend.h"

namespace murmelo::window {

namespace {

// How long opening the window may take before the command gives up.
constexpr auto kOpenTimeout = std::chrono::seconds(15);
constexpr std::size_t kPanelEvents = 200;

struct DeviceSide {
    bool alive = true; // main thread
    driver::Session* session = nullptr;
    std::function<std::vector<std::string>(std::uint64_t after, std::uint64_t& last)> events;
    std::uint64_t lastEvent = 0;
    std::deque<std::string> recentEvents;
};

// One frame on its way to the window.
struct Frame {
    std::optional<Bitmap> bitmap;
    std::string screenText;
    std::string eventsText;
};

struct Ui {
    double zoom = 1;
    double scale = 1;
    SidePanel panel = SidePanel::Hidden;
    RunLoopHandle device;
    std::shared_ptr<DeviceSide> deviceSide;

    GMainLoop* loop = nullptr;
    GtkWidget* window = nullptr;
    GtkWidget* area = nullptr;
    GtkTextBuffer* screenText = nullptr;
    GtkTextBuffer* eventsText = nullptr;
    GtkWidget* eventsView = nullptr;
    std::optional<Bitmap> shown;
    cairo_surface_t* surface = nullptr;
    bool requestInFlight = false;
    bool changedMeanwhile = false;
    std::optional<Point> pointer; // device points
    bool closing = false;

    // Calls from the main thread (invokeOnUi).
    std::mutex inboxLock;
    std::deque<std::function<void(Ui&)>> inbox;
};

using UiPtr = std::shared_ptr<Ui>;

// Runs `work` on the GTK thread; safe from any thread. The calls wait in
// the window's inbox, behind our own lock, so the hand-over is visible to
// thread checkers; GLib only carries the wake-up.
void invokeOnUi(const UiPtr& ui, std::function<void(Ui&)> work) {
    {
        std::lock_guard lock(ui->inboxLock);
        ui->inbox.push_back(std::move(work));
    }
    // An idle source, never a direct call: g_main_context_invoke would run
    // the work right here whenever the GTK thread does not hold the context.
    g_idle_add_full(
        G_PRIORITY_DEFAULT,
        [](gpointer data) -> gboolean {
            Ui& self = *static_cast<Ui*>(data);
            std::deque<std::function<void(Ui&)>> calls;
            {
                std::lock_guard lock(self.inboxLock);
                calls.swap(self.inbox);
            }
            for (auto& call : calls) {
                call(self);
            }
            return G_SOURCE_REMOVE;
        },
        ui.get(), nullptr);
}

// Runs `work` on the main run loop while the window's session lasts.
void postToDevice(Ui& ui, std::function<void(DeviceSide&)> work) {
    (void)ui.device.post([device = ui.deviceSide, work = std::move(work)] {
        if (device->alive) {
            work(*device);
        }
    });
}

void report(const char* what, const Result<void>& done) {
    if (!done) {
        std::cerr << "murmelo window: " << what << ": " << done.error().localizedDescription() << "\n";
    }
}

// The servers' events since the window opened (the last few hundred).
std::string eventsText(DeviceSide& device) {
    if (!device.events) {
        return "(no reference servers in this run)\n";
    }
    std::uint64_t last = device.lastEvent;
    for (std::string& line : device.events(device.lastEvent, last)) {
        device.recentEvents.push_back(std::move(line));
        if (device.recentEvents.size() > kPanelEvents) {
            device.recentEvents.pop_front();
        }
    }
    device.lastEvent = last;
    std::string text;
    for (const std::string& line : device.recentEvents) {
        text += line + "\n";
    }
    return text;
}

void requestFrame(const UiPtr& ui);

void showFrame(Ui& ui, Frame& frame, const UiPtr& self) {
    if (!ui.area) {
        return; // the window is gone
    }
    if (frame.bitmap) {
        if (ui.surface) {
            cairo_surface_destroy(ui.surface);
            ui.surface = nullptr;
        }
        ui.shown = std::move(frame.bitmap);
        ui.surface = cairo_image_surface_create_for_data(
            reinterpret_cast<unsigned char*>(ui.shown->mutablePixels()), CAIRO_FORMAT_ARGB32,
            int(ui.shown->width()), int(ui.shown->height()), int(ui.shown->stride()));
        gtk_drawing_area_set_content_width(GTK_DRAWING_AREA(ui.area), int(ui.shown->width() * ui.zoom + 0.5));
        gtk_drawing_area_set_content_height(GTK_DRAWING_AREA(ui.area),
                                            int(ui.shown->height() * ui.zoom + 0.5));
        gtk_widget_queue_draw(ui.area);
    }
    if (ui.screenText) {
        gtk_text_buffer_set_text(ui.screenText, frame.screenText.c_str(), int(frame.screenText.size()));
        gtk_text_buffer_set_text(ui.eventsText, frame.eventsText.c_str(), int(frame.eventsText.size()));
        // The newest event in sight.
        GtkTextIter end;
        gtk_text_buffer_get_end_iter(ui.eventsText, &end);
        gtk_text_view_scroll_to_iter(GTK_TEXT_VIEW(ui.eventsView), &end, 0, FALSE, 0, 1);
    }
    ui.requestInFlight = false;
    if (ui.changedMeanwhile) {
        ui.changedMeanwhile = false;
        requestFrame(self);
    }
}

// Asks the device for a frame; one request at a time, and one more when the
// screen changed while it was being drawn.
void requestFrame(const UiPtr& ui) {
    if (ui->closing) {
        return;
    }
    if (ui->requestInFlight) {
        ui->changedMeanwhile = true;
        return;
    }
    ui->requestInFlight = true;
    const bool withPanel = ui->panel == SidePanel::Shown;
    postToDevice(*ui, [ui, withPanel](DeviceSide& device) {
        // Laying out for the picture and the dump is no change to show.
        ScreenChanges::Quiet quiet;
        auto frame = std::make_shared<Frame>();
        if (auto rendered = renderFrame()) {
            frame->bitmap = std::move(*rendered);
        } else {
            std::cerr << "murmelo window: no frame: " << rendered.error().localizedDescription() << "\n";
        }
        if (withPanel) {
            frame->screenText = Interaction::dump();
            frame->eventsText = eventsText(device);
        }
        invokeOnUi(ui, [frame, ui](Ui& self) { showFrame(self, *frame, ui); });
    });
}

void endSession(Ui& ui) {
    if (ui.closing) {
        return;
    }
    ui.closing = true;
    gtk_widget_set_visible(ui.window, FALSE);
    postToDevice(ui, [](DeviceSide& device) {
        if (device.session) {
            device.session->end(0);
        }
    });
}

// ---- GTK callbacks; `data` is the thread's UiPtr.

UiPtr& uiOf(gpointer data) {
    return *static_cast<UiPtr*>(data);
}

void draw(GtkDrawingArea*, cairo_t* cr, int width, int height, gpointer data) {
    Ui& ui = *uiOf(data);
    cairo_set_source_rgb(cr, 0, 0, 0);
    cairo_rectangle(cr, 0, 0, width, height);
    cairo_fill(cr);
    if (!ui.surface) {
        return;
    }
    cairo_scale(cr, ui.zoom, ui.zoom);
    cairo_set_source_surface(cr, ui.surface, 0, 0);
    // Whole zooms keep the renderer's pixels crisp.
    cairo_pattern_set_filter(cairo_get_source(cr), ui.zoom >= 1 && ui.zoom == double(int(ui.zoom))
                                                       ? CAIRO_FILTER_NEAREST
                                                       : CAIRO_FILTER_GOOD);
    cairo_paint(cr);
}

void clicked(GtkGestureClick*, int, double x, double y, gpointer data) {
    Ui& ui = *uiOf(data);
    Point at = pointForWindowPosition(x, y, ui.zoom, ui.scale);
    postToDevice(ui, [at](DeviceSide&) { report("tap", tapAt(at)); });
}

void moved(GtkEventControllerMotion*, double x, double y, gpointer data) {
    Ui& ui = *uiOf(data);
    ui.pointer = pointForWindowPosition(x, y, ui.zoom, ui.scale);
}

gboolean scrolled(GtkEventControllerScroll* controller, double, double dy, gpointer data) {
    Ui& ui = *uiOf(data);
    if (!ui.pointer || dy == 0) {
        return FALSE;
    }
    // A wheel step moves a few lines; a touchpad moves with the fingers.
    double points = gtk_event_controller_scroll_get_unit(controller) == GDK_SCROLL_UNIT_WHEEL
                        ? dy * 40
                        : dy / (ui.zoom * ui.scale);
    Point at = *ui.pointer;
    postToDevice(ui, [at, points](DeviceSide&) { (void)scrollAt(at, points); });
    return TRUE;
}

std::optional<WindowKey> keyFor(guint keyval, GdkModifierType state) {
    const bool control = state & GDK_CONTROL_MASK;
    const bool alt = state & GDK_ALT_MASK;
    if (alt && (keyval == GDK_KEY_Left || keyval == GDK_KEY_KP_Left)) {
        return WindowKey::Back;
    }
    if (control && (keyval == GDK_KEY_m || keyval == GDK_KEY_M)) {
        return WindowKey::MemoryWarning;
    }
    if (control || alt) {
        return std::nullopt;
    }
    switch (keyval) {
    case GDK_KEY_Return:
    case GDK_KEY_KP_Enter:
    case GDK_KEY_ISO_Enter:
        return WindowKey::Return;
    case GDK_KEY_Escape:
        return WindowKey::Escape;
    case GDK_KEY_BackSpace:
        return WindowKey::Backspace;
    case GDK_KEY_Up:
        return WindowKey::ScrollUp;
    case GDK_KEY_Down:
        return WindowKey::ScrollDown;
    case GDK_KEY_Page_Up:
        return WindowKey::PageUp;
    case GDK_KEY_Page_Down:
        return WindowKey::PageDown;
    default:
        return std::nullopt;
    }
}

gboolean keyPressed(GtkEventControllerKey*, guint keyval, guint, GdkModifierType state, gpointer data) {
    Ui& ui = *uiOf(data);
    if ((state & GDK_CONTROL_MASK) && (keyval == GDK_KEY_q || keyval == GDK_KEY_Q)) {
        endSession(ui);
        return TRUE;
    }
    if (auto key = keyFor(keyval, state)) {
        std::optional<Point> at = ui.pointer;
        postToDevice(ui, [key = *key, at](DeviceSide&) { report("key", pressKey(key, at)); });
        return TRUE;
    }
    if (state & (GDK_CONTROL_MASK | GDK_ALT_MASK)) {
        return FALSE;
    }
    gunichar character = gdk_keyval_to_unicode(keyval);
    if (character < 0x20 || character == 0x7f) {
        return FALSE;
    }
    char utf8[8] = {};
    int length = g_unichar_to_utf8(character, utf8);
    std::string text(utf8, std::size_t(length));
    postToDevice(ui, [text](DeviceSide&) { report("typing", typeText(text)); });
    return TRUE;
}

gboolean closeRequested(GtkWindow*, gpointer data) {
    endSession(*uiOf(data));
    return TRUE; // hidden now; closed when the session ends
}

void buildWindow(const UiPtr& ui, UiPtr* data) {
    ui->window = gtk_window_new();
    gtk_window_set_title(GTK_WINDOW(ui->window), "Murmelo");
    gtk_window_set_resizable(GTK_WINDOW(ui->window), FALSE);
    GtkWidget* box = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 0);
    ui->area = gtk_drawing_area_new();
    Rect screen = Screen::mainScreen().bounds();
    gtk_drawing_area_set_content_width(GTK_DRAWING_AREA(ui->area),
                                       int(screen.width() * ui->scale * ui->zoom + 0.5));
    gtk_drawing_area_set_content_height(GTK_DRAWING_AREA(ui->area),
                                        int(screen.height() * ui->scale * ui->zoom + 0.5));
    gtk_drawing_area_set_draw_func(GTK_DRAWING_AREA(ui->area), draw, data, nullptr);
    gtk_widget_set_focusable(ui->area, TRUE);
    gtk_box_append(GTK_BOX(box), ui->area);

    GtkGesture* click = gtk_gesture_click_new();
    gtk_gesture_single_set_button(GTK_GESTURE_SINGLE(click), GDK_BUTTON_PRIMARY);
    g_signal_connect(click, "released", G_CALLBACK(clicked), data);
    gtk_widget_add_controller(ui->area, GTK_EVENT_CONTROLLER(click));
    GtkEventController* motion = gtk_event_controller_motion_new();
    g_signal_connect(motion, "motion", G_CALLBACK(moved), data);
    g_signal_connect(motion, "enter", G_CALLBACK(moved), data);
    gtk_widget_add_controller(ui->area, motion);
    GtkEventController* scroll = gtk_event_controller_scroll_new(GTK_EVENT_CONTROLLER_SCROLL_VERTICAL);
    g_signal_connect(scroll, "scroll", G_CALLBACK(scrolled), data);
    gtk_widget_add_controller(ui->area, scroll);

    if (ui->panel == SidePanel::Shown) {
        // The screen as text above, the servers' events below.
        auto textPane = [](GtkTextBuffer*& buffer, GtkWidget** view) {
            GtkWidget* text = gtk_text_view_new();
            gtk_text_view_set_editable(GTK_TEXT_VIEW(text), FALSE);
            gtk_text_view_set_cursor_visible(GTK_TEXT_VIEW(text), FALSE);
            gtk_text_view_set_monospace(GTK_TEXT_VIEW(text), TRUE);
            gtk_widget_set_focusable(text, FALSE);
            buffer = gtk_text_view_get_buffer(GTK_TEXT_VIEW(text));
            if (view) {
                *view = text;
            }
            GtkWidget* scrolledText = gtk_scrolled_window_new();
            gtk_scrolled_window_set_child(GTK_SCROLLED_WINDOW(scrolledText), text);
            return scrolledText;
        };
        GtkWidget* panes = gtk_paned_new(GTK_ORIENTATION_VERTICAL);
        gtk_paned_set_start_child(GTK_PANED(panes), textPane(ui->screenText, nullptr));
        gtk_paned_set_end_child(GTK_PANED(panes), textPane(ui->eventsText, &ui->eventsView));
        gtk_paned_set_position(GTK_PANED(panes), int(screen.height() * ui->scale * ui->zoom * 0.6));
        gtk_widget_set_size_request(panes, 460, -1);
        gtk_box_append(GTK_BOX(box), panes);
    }
    gtk_window_set_child(GTK_WINDOW(ui->window), box);

    GtkEventController* keys = gtk_event_controller_key_new();
    g_signal_connect(keys, "key-pressed", G_CALLBACK(keyPressed), data);
    gtk_widget_add_controller(ui->window, keys);
    g_signal_connect(ui->window, "close-request", G_CALLBACK(closeRequested), data);
    gtk_window_present(GTK_WINDOW(ui->window));
    gtk_widget_grab_focus(ui->area);
}

// The GTK thread: opens the window, tells `opened` ("" or why not), runs
// until quit.
void runUi(UiPtr ui, std::promise<std::string> opened) {
    if (!gtk_init_check()) {
        opened.set_value("cannot open a window: no display (is DISPLAY set?)");
        return;
    }
    auto* data = new UiPtr(ui);
    ui->loop = g_main_loop_new(nullptr, FALSE);
    buildWindow(ui, data);
    opened.set_value("");
    requestFrame(ui);
    g_main_loop_run(ui->loop);
    ui->closing = true;
    gtk_window_destroy(GTK_WINDOW(ui->window));
    ui->window = nullptr;
    ui->area = nullptr;
    ui->screenText = ui->eventsText = nullptr;
    ui->eventsView = nullptr;
    if (ui->surface) {
        cairo_surface_destroy(ui->surface);
        ui->surface = nullptr;
    }
    while (g_main_context_pending(nullptr)) {
        g_main_context_iteration(nullptr, FALSE);
    }
    g_main_loop_unref(ui->loop);
    delete data;
}

// The open window, held by the driver on the main thread.
class WindowHandle {
public:
    WindowHandle(std::shared_ptr<DeviceSide> device, UiPtr ui)
        : m_device(std::move(device)), m_ui(std::move(ui)) {}

    ~WindowHandle() {
        m_device->alive = false;
        m_observation.reset();
        m_clock = Timer();
        if (m_thread.joinable()) {
            invokeOnUi(m_ui, [](Ui& ui) { g_main_loop_quit(ui.loop); });
            m_thread.join();
        }
    }

    Result<void> open() {
        std::promise<std::string> opened;
        auto answer = opened.get_future();
        m_thread = std::thread(runUi, m_ui, std::move(opened));
        if (answer.wait_for(kOpenTimeout) != std::future_status::ready) {
            m_thread.detach();
            return Error("MurmeloWindow", 1, "the window did not open within 15 s");
        }
        if (std::string why = answer.get(); !why.empty()) {
            m_thread.join();
            return Error("MurmeloWindow", 1, why);
        }
        UiPtr ui = m_ui;
        m_observation = ScreenChanges::observe([ui] { invokeOnUi(ui, [ui](Ui&) { requestFrame(ui); }); });
        armClock();
        return {};
    }

private:
    // The status bar's clock: one change a minute, at the minute.
    void armClock() {
        std::time_t now = std::time(nullptr);
        double untilNextMinute = 60.0 - double(now % 60) + 0.05;
        m_clock = Timer(untilNextMinute, Timer::Repeats::No, [this] {
            ScreenChanges::note();
            armClock();
        });
    }

    std::shared_ptr<DeviceSide> m_device;
    UiPtr m_ui;
    std::thread m_thread;
    ScreenChanges::Observation m_observation;
    Timer m_clock;
};

} // namespace

bool hasWindow() {
    return true;
}

Result<std::shared_ptr<void>> openWindow(const WindowOptions& options, driver::SessionContext& context) {
    // Without a session bus GTK's accessibility bridge only complains.
    if (!std::getenv("DBUS_SESSION_BUS_ADDRESS")) {
        ::setenv("GTK_A11Y", "none", 0);
    }
    auto device = std::make_shared<DeviceSide>();
    device->session = &context.session;
    device->events = context.events;
    auto ui = std::make_shared<Ui>();
    ui->zoom = options.zoom;
    ui->scale = deviceScale();
    ui->panel = options.panel;
    ui->device = RunLoop::main().handle();
    ui->deviceSide = device;
    auto handle = std::make_shared<WindowHandle>(device, ui);
    if (auto opened = handle->open(); !opened) {
        return opened.error();
    }
    return std::shared_ptr<void>(handle);
}

} // namespace murmelo::window
