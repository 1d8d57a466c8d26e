// The native window an editor draws into. The bundle supplies the X11 one;
// without it (or without a display) the instrument runs with no window.
#pragma once

class KindraEditorWindow {
public:
    virtual ~KindraEditorWindow() = default;
    // Main thread. Opens a child of the parent window; false (nothing
    // opened) when there is no display or no parent.
    virtual bool open(void* parent) = 0;
    // Main thread. Safe whether or not a window is open.
    virtual void close() = 0;
    // Main thread, every 50 ms: handles the window's events and redraws.
    virtual void idle() = 0;
    // Main thread: the editor's size changed.
    virtual void resize(int width, int height) = 0;
};
