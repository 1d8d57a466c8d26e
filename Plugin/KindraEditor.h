// The editor's X11 window: a child of the window the host passes, drawn
// with Xlib from the editor state, its events handled on the host's idle
// tick. Without a display it opens nothing.
#pragma once

#include "KindraEditorWindow.h"

class KindraEffect;

class KindraX11Editor final : public KindraEditorWindow {
public:
    explicit KindraX11Editor(KindraEffect& effect) : m_effect(effect) {}
    ~KindraX11Editor() override { close(); }
    KindraX11Editor(const KindraX11Editor&) = delete;
    KindraX11Editor& operator=(const KindraX11Editor&) = delete;

    bool open(void* parent) override;
    void close() override;
    void idle() override;
    void resize(int width, int height) override;

private:
    void draw();
    void handleKey(void* event);
    unsigned long stateStamp() const;

    KindraEffect& m_effect;
    void* m_display = nullptr; // Display*, kept opaque so Xlib stays in one file
    unsigned long m_window = 0;
    void* m_gc = nullptr;
    unsigned long m_drawnStamp = 0;
    bool m_exposed = false;
};
