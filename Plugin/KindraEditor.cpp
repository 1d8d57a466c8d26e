#include "KindraEditor.h"

#include "KindraEffect.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>

#include <cstdio>
#include <cstring>

namespace {

Display* display(void* p)
{
    return static_cast<Display*>(p);
}

GC gc(void* p)
{
    return static_cast<GC>(p);
}

constexpr unsigned long kBackground = 0x20242a;
constexpr unsigned long kPanel = 0x2e343c;
constexpr unsigned long kText = 0xe8e8e8;
constexpr unsigned long kAccent = 0xe0a030;
constexpr unsigned long kSelected = 0x4a90d9;

// Xlib's own error handler ends the process. While the editor talks to the
// server (a parent that is already gone, a window destroyed under it) errors
// are noted here instead, and the host's handler is restored afterwards.
bool gXError = false;

int noteXError(Display*, XErrorEvent*)
{
    gXError = true;
    return 0;
}

class XErrorTrap {
public:
    explicit XErrorTrap(Display* d) : m_display(d), m_previous(XSetErrorHandler(noteXError)) { gXError = false; }
    ~XErrorTrap() { XSetErrorHandler(m_previous); }
    XErrorTrap(const XErrorTrap&) = delete;
    XErrorTrap& operator=(const XErrorTrap&) = delete;
    // Waits for the server's answers, so that every error has arrived.
    bool failed()
    {
        XSync(m_display, False);
        return gXError;
    }

private:
    Display* m_display;
    XErrorHandler m_previous;
};

void text(Display* d, Window w, GC g, int x, int y, const char* s)
{
    XDrawString(d, w, g, x, y, s, static_cast<int>(std::strlen(s)));
}

} // namespace

bool KindraX11Editor::open(void* parent)
{
    if (m_display != nullptr)
        close();
    const auto parentWindow = static_cast<Window>(reinterpret_cast<uintptr_t>(parent));
    if (parentWindow == 0)
        return false;
    Display* d = XOpenDisplay(nullptr);
    if (d == nullptr)
        return false;
    const KindraEditorState& state = m_effect.editorState();
    XErrorTrap trap(d);
    const Window w = XCreateSimpleWindow(d, parentWindow, 0, 0, static_cast<unsigned>(state.width()),
                                         static_cast<unsigned>(state.height()), 0, 0, kBackground);
    if (w == 0 || trap.failed()) {
        XCloseDisplay(d);
        return false;
    }
    XSelectInput(d, w, ExposureMask | ButtonPressMask | KeyPressMask | StructureNotifyMask);
    XMapWindow(d, w);
    GC g = XCreateGC(d, w, 0, nullptr);
    if (trap.failed()) {
        XCloseDisplay(d);
        return false;
    }
    m_display = d;
    m_window = w;
    m_gc = g;
    m_exposed = true;
    return true;
}

void KindraX11Editor::close()
{
    if (m_display == nullptr)
        return;
    Display* d = display(m_display);
    {
        XErrorTrap trap(d);
        if (m_gc != nullptr)
            XFreeGC(d, gc(m_gc));
        if (m_window != 0)
            XDestroyWindow(d, m_window);
        trap.failed();
    }
    XCloseDisplay(d);
    m_display = nullptr;
    m_window = 0;
    m_gc = nullptr;
}

void KindraX11Editor::resize(int width, int height)
{
    if (m_display == nullptr)
        return;
    XErrorTrap trap(display(m_display));
    XResizeWindow(display(m_display), m_window, static_cast<unsigned>(width), static_cast<unsigned>(height));
    trap.failed();
    m_exposed = true;
}

unsigned long KindraX11Editor::stateStamp() const
{
    // Anything the window shows, folded into one number: a change redraws.
    unsigned long stamp = m_effect.editorState().revision();
    for (int i = 0; i < kParamCount; ++i)
        stamp = stamp * 31 + static_cast<unsigned long>(m_effect.parameter(i) * 1000.0f);
    stamp = stamp * 31 + static_cast<unsigned long>(m_effect.hostTempo() * 100.0);
    return stamp * 2 + (m_effect.hostPlaying() ? 1 : 0);
}

void KindraX11Editor::handleKey(void* rawEvent)
{
    auto* event = static_cast<XKeyEvent*>(rawEvent);
    char buffer[8] = {};
    KeySym sym = 0;
    const int length = XLookupString(event, buffer, sizeof(buffer) - 1, &sym, nullptr);
    int virtualKey = 0;
    switch (sym) {
    case XK_Left:
        virtualKey = kKeyLeft;
        break;
    case XK_Right:
        virtualKey = kKeyRight;
        break;
    case XK_Up:
        virtualKey = kKeyUp;
        break;
    case XK_Down:
        virtualKey = kKeyDown;
        break;
    case XK_Return:
    case XK_KP_Enter:
        virtualKey = kKeyReturn;
        break;
    case XK_Escape:
        virtualKey = kKeyEscape;
        break;
    case XK_BackSpace:
        virtualKey = kKeyBack;
        break;
    default:
        break;
    }
    const int character = length > 0 ? static_cast<unsigned char>(buffer[0]) : 0;
    m_effect.editorState().keyDown(character, virtualKey);
}

void KindraX11Editor::idle()
{
    if (m_display == nullptr)
        return;
    Display* d = display(m_display);
    XErrorTrap trap(d);
    while (XPending(d) > 0) {
        XEvent event;
        XNextEvent(d, &event);
        if (event.xany.window != m_window)
            continue;
        switch (event.type) {
        case Expose:
            m_exposed = true;
            break;
        case ButtonPress:
            XSetInputFocus(d, m_window, RevertToParent, CurrentTime);
            m_effect.editorState().click(event.xbutton.x, event.xbutton.y);
            break;
        case KeyPress:
            handleKey(&event.xkey);
            break;
        default:
            break;
        }
    }
    const unsigned long stamp = stateStamp();
    if (m_exposed || stamp != m_drawnStamp) {
        draw();
        m_drawnStamp = stamp;
        m_exposed = false;
    }
    trap.failed();
}

void KindraX11Editor::draw()
{
    Display* d = display(m_display);
    const Window w = m_window;
    GC g = gc(m_gc);
    const KindraEditorState& state = m_effect.editorState();

    XSetForeground(d, g, kBackground);
    XFillRectangle(d, w, g, 0, 0, static_cast<unsigned>(state.width()), static_cast<unsigned>(state.height()));
    XSetForeground(d, g, kAccent);
    text(d, w, g, 10, 20, "KINDRA");
    char line[96];
    std::snprintf(line, sizeof(line), "Tempo %.2f BPM   %s", m_effect.hostTempo(),
                  m_effect.hostPlaying() ? "Playing" : "Stopped");
    XSetForeground(d, g, kText);
    text(d, w, g, 90, 20, line);

    // --- one row per parameter: name, value with unit, slider
    for (int i = 0; i < kParamCount; ++i) {
        const KindraEditorState::Box box = state.controlBox(i);
        XSetForeground(d, g, i == state.selected() ? kSelected : kPanel);
        XFillRectangle(d, w, g, box.x, box.y, static_cast<unsigned>(box.width), static_cast<unsigned>(box.height));
        char name[8], value[8], unit[8];
        KindraParameters::name(i, name);
        m_effect.parameters().display(i, value);
        KindraParameters::label(i, unit);
        std::snprintf(line, sizeof(line), "%-8s %7s %s", name, value, unit);
        XSetForeground(d, g, kText);
        text(d, w, g, box.x + 4, box.y + box.height - 4, line);
        const int sliderLeft = box.x + box.width / 2;
        const int filled = static_cast<int>(m_effect.parameter(i) * static_cast<float>(box.width / 2 - 1));
        XSetForeground(d, g, kAccent);
        XFillRectangle(d, w, g, sliderLeft, box.y + 4, static_cast<unsigned>(filled > 0 ? filled : 1),
                       static_cast<unsigned>(box.height - 8));
    }

    // --- tempo field, transport and view buttons
    for (int control = kControlTempo; control < kControlCount; ++control) {
        const KindraEditorState::Box box = state.controlBox(control);
        XSetForeground(d, g, control == state.selected() ? kSelected : kPanel);
        XFillRectangle(d, w, g, box.x, box.y, static_cast<unsigned>(box.width), static_cast<unsigned>(box.height));
        if (control == kControlTempo && state.editing())
            std::snprintf(line, sizeof(line), "Tempo: %s_", state.tempoText());
        else if (control == kControlTempo)
            std::snprintf(line, sizeof(line), "Tempo: %.2f", m_effect.hostTempo());
        else if (control == kControlTransport)
            std::snprintf(line, sizeof(line), "%s", m_effect.hostPlaying() ? "Stop" : "Play");
        else
            std::snprintf(line, sizeof(line), "%s", state.largeView() ? "Compact" : "Large");
        XSetForeground(d, g, kText);
        text(d, w, g, box.x + 6, box.y + 16, line);
    }

    // --- about, help or update text, wrapped to the panel
    const char* info = state.infoText();
    if (info[0] != '\0') {
        const KindraEditorState::Box box = state.infoBox();
        XSetForeground(d, g, kPanel);
        XFillRectangle(d, w, g, box.x, box.y, static_cast<unsigned>(box.width), static_cast<unsigned>(box.height));
        XSetForeground(d, g, kText);
        const int perLine = box.width / 7 > 8 ? box.width / 7 : 8;
        int y = box.y + 14;
        const char* p = info;
        while (*p != '\0' && y < box.y + box.height) {
            int take = static_cast<int>(std::strlen(p));
            if (take > perLine) {
                take = perLine;
                while (take > 0 && p[take] != ' ')
                    --take;
                if (take == 0)
                    take = perLine;
            }
            XDrawString(d, w, g, box.x + 6, y, p, take);
            p += take;
            while (*p == ' ')
                ++p;
            y += 14;
        }
    }
    XFlush(d);
}
