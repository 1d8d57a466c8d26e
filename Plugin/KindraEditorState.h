// What the editor shows and how it reacts, without any window: the
// selected control, the compact or large view, the tempo text field and the
// about, help and update texts. The X11 window draws this state and feeds
// it clicks and keys; the host's key requests reach it directly, open
// window or not. Main thread only, like everything about an editor.
#pragma once

#include "KindraParameters.h"

// The controls in selection order: the parameters, then these three.
enum KindraControl : int { kControlTempo = kParamCount, kControlTransport, kControlView, kControlCount };

enum class KindraInfo { None, About, Help, Update };

// Virtual key codes the host passes with effEditKeyDown / effEditKeyUp.
enum KindraVirtualKey : int {
    kKeyBack = 1,
    kKeyReturn = 4,
    kKeyEscape = 6,
    kKeyLeft = 11,
    kKeyUp = 12,
    kKeyRight = 13,
    kKeyDown = 14,
    kKeyEnter = 19,
    kKeyDelete = 22,
};

// What the editor asks of the instrument it belongs to.
class KindraEditorHost {
public:
    virtual ~KindraEditorHost() = default;
    // Main thread: a parameter change the user made (undoable).
    virtual void userSetParameter(int index, float value) = 0;
    virtual float parameter(int index) const = 0;
    // Main thread: the host's tempo and transport as last seen, and the
    // requests that change them or the editor's size.
    virtual double hostTempo() const = 0;
    virtual bool hostPlaying() const = 0;
    virtual void requestTempo(double bpm) = 0;
    virtual void requestTransport(bool playing) = 0;
    virtual void requestSize(int width, int height) = 0;
};

class KindraEditorState {
public:
    static constexpr const char* kAboutText = "Kindra 1.0 - a polyphonic synthesizer by Veltrane. Sixteen voices, two "
                                              "oscillators, a resonant low-pass filter with its own envelope.";
    static constexpr const char* kHelpText =
        "Left and right select a control, up and down change it. Return on Tempo "
        "types a new tempo (Return applies, Escape cancels), on Play starts or stops "
        "the transport, on View switches between the compact and the large view.";
    static constexpr const char* kUpdateText = "Kindra cannot check for updates: it has no network connection. "
                                               "Look for newer versions on the Veltrane website.";

    static constexpr int kCompactWidth = 420, kCompactHeight = 340;
    static constexpr int kLargeWidth = 680, kLargeHeight = 420;
    // The tempo range the host accepts.
    static constexpr double kMinTempo = 45.0, kMaxTempo = 250.0;
    static constexpr int kMaxTempoText = 7;

    explicit KindraEditorState(KindraEditorHost& host) : m_host(host) {}

    // Main thread. True when the editor used the key (then the host must
    // not); character is the key's text, virtualKey a VST virtual key.
    bool keyDown(int character, int virtualKey);
    bool keyUp(int character, int virtualKey);

    // Main thread: a click at (x, y) inside the editor.
    void click(int x, int y);
    // Main thread: the control drawn at (x, y), or -1.
    int controlAt(int x, int y) const;
    // The rectangle of a control in the current view.
    struct Box {
        int x, y, width, height;
    };
    Box controlBox(int control) const;
    Box infoBox() const;

    // Main thread.
    void showInfo(KindraInfo info)
    {
        m_info = info;
        ++m_revision;
    }
    KindraInfo info() const { return m_info; }
    // The text shown for the current info, empty for none.
    const char* infoText() const
    {
        switch (m_info) {
        case KindraInfo::About:
            return kAboutText;
        case KindraInfo::Help:
            return kHelpText;
        case KindraInfo::Update:
            return kUpdateText;
        case KindraInfo::None:
            break;
        }
        return "";
    }

    void setLargeView(bool large)
    {
        m_large = large;
        ++m_revision;
    }
    bool largeView() const { return m_large; }
    int width() const { return m_large ? kLargeWidth : kCompactWidth; }
    int height() const { return m_large ? kLargeHeight : kCompactHeight; }

    int selected() const { return m_selected; }
    void select(int control);
    // True while the tempo text field is being typed into.
    bool editing() const { return m_editing; }
    const char* tempoText() const { return m_tempoText; }

    // Bumped on every change the window has to redraw.
    unsigned revision() const { return m_revision; }

private:
    void adjust(int direction);
    void activate();
    void beginEditing();
    bool editKey(int character, int virtualKey);
    void toggleView();

    KindraEditorHost& m_host;
    int m_selected = 0;
    bool m_large = false;
    bool m_editing = false;
    char m_tempoText[kMaxTempoText + 1] = {};
    KindraInfo m_info = KindraInfo::None;
    unsigned m_revision = 0;
};
