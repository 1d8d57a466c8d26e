#include "KindraEditorState.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr int kRowHeight = 18;
constexpr int kTop = 34;
constexpr int kMargin = 10;

bool isReturn(int character, int virtualKey)
{
    return virtualKey == kKeyReturn || virtualKey == kKeyEnter || character == '\r' || character == '\n';
}

} // namespace

void KindraEditorState::select(int control)
{
    if (control < 0 || control >= kControlCount || control == m_selected)
        return;
    m_editing = false;
    m_selected = control;
    ++m_revision;
}

void KindraEditorState::adjust(int direction)
{
    if (m_selected < kParamCount) {
        const KindraParamSpec* spec = KindraParameters::spec(m_selected);
        const float step = spec->scale == KindraParamScale::Switch ? 1.0f : 0.01f;
        m_host.userSetParameter(m_selected, m_host.parameter(m_selected) + step * static_cast<float>(direction));
    } else if (m_selected == kControlTempo) {
        double tempo = std::floor(m_host.hostTempo()) + direction;
        tempo = tempo < kMinTempo ? kMinTempo : (tempo > kMaxTempo ? kMaxTempo : tempo);
        m_host.requestTempo(tempo);
    }
    ++m_revision;
}

void KindraEditorState::beginEditing()
{
    // The field starts empty: what the user types replaces the tempo.
    m_editing = true;
    m_tempoText[0] = '\0';
    ++m_revision;
}

void KindraEditorState::toggleView()
{
    m_large = !m_large;
    m_host.requestSize(width(), height());
    ++m_revision;
}

void KindraEditorState::activate()
{
    if (m_selected == kControlTempo)
        beginEditing();
    else if (m_selected == kControlTransport)
        m_host.requestTransport(!m_host.hostPlaying());
    else if (m_selected == kControlView)
        toggleView();
    ++m_revision;
}

bool KindraEditorState::editKey(int character, int virtualKey)
{
    const size_t length = std::strlen(m_tempoText);
    if (isReturn(character, virtualKey)) {
        // Hundredths, as the host shows tempi; outside its range the typed
        // text is dropped and the tempo stays.
        char* end = nullptr;
        const double typed = std::strtod(m_tempoText, &end);
        const double tempo = std::floor(typed * 100.0 + 0.5) * 0.01;
        if (end != m_tempoText && tempo >= kMinTempo && tempo <= kMaxTempo)
            m_host.requestTempo(tempo);
        m_editing = false;
    } else if (virtualKey == kKeyEscape || character == 27) {
        m_editing = false;
    } else if (virtualKey == kKeyBack || virtualKey == kKeyDelete || character == 8 || character == 127) {
        if (length > 0)
            m_tempoText[length - 1] = '\0';
    } else if (((character >= '0' && character <= '9') || character == '.') && length < kMaxTempoText) {
        m_tempoText[length] = static_cast<char>(character);
        m_tempoText[length + 1] = '\0';
    }
    // Every key belongs to the text field while it is edited.
    ++m_revision;
    return true;
}

bool KindraEditorState::keyDown(int character, int virtualKey)
{
    if (m_editing)
        return editKey(character, virtualKey);
    switch (virtualKey) {
    case kKeyLeft:
        select((m_selected + kControlCount - 1) % kControlCount);
        return true;
    case kKeyRight:
        select((m_selected + 1) % kControlCount);
        return true;
    case kKeyUp:
        adjust(+1);
        return true;
    case kKeyDown:
        adjust(-1);
        return true;
    default:
        break;
    }
    if (isReturn(character, virtualKey) && m_selected >= kParamCount) {
        activate();
        return true;
    }
    return false;
}

bool KindraEditorState::keyUp(int character, int virtualKey)
{
    // The release of a key the editor uses is the editor's too.
    if (m_editing)
        return true;
    if (virtualKey == kKeyLeft || virtualKey == kKeyRight || virtualKey == kKeyUp || virtualKey == kKeyDown)
        return true;
    return isReturn(character, virtualKey) && m_selected >= kParamCount;
}

KindraEditorState::Box KindraEditorState::controlBox(int control) const
{
    if (control < 0 || control >= kControlCount)
        return Box{0, 0, 0, 0};
    const int column = m_large ? 400 : width() - 2 * kMargin;
    if (control < kParamCount)
        return Box{kMargin, kTop + control * kRowHeight, column, kRowHeight - 2};
    // Tempo, Play and View share the row under the parameters.
    const int y = kTop + kParamCount * kRowHeight + 8;
    const int buttonWidth = (column - 2 * kMargin) / 3;
    return Box{kMargin + (control - kControlTempo) * (buttonWidth + kMargin), y, buttonWidth, 24};
}

KindraEditorState::Box KindraEditorState::infoBox() const
{
    if (m_large)
        return Box{420, kTop, width() - 420 - kMargin, height() - kTop - kMargin};
    const int y = kTop + kParamCount * kRowHeight + 40;
    return Box{kMargin, y, width() - 2 * kMargin, height() - y - kMargin};
}

int KindraEditorState::controlAt(int x, int y) const
{
    for (int control = 0; control < kControlCount; ++control) {
        const Box box = controlBox(control);
        if (x >= box.x && x < box.x + box.width && y >= box.y && y < box.y + box.height)
            return control;
    }
    return -1;
}

void KindraEditorState::click(int x, int y)
{
    const int control = controlAt(x, y);
    if (control < 0) {
        // A click beside the controls closes the text field and the info.
        m_editing = false;
        m_info = KindraInfo::None;
        ++m_revision;
        return;
    }
    select(control);
    if (control < kParamCount) {
        // The right part of a row is its slider: the click sets the value.
        const Box box = controlBox(control);
        const int sliderLeft = box.x + box.width / 2;
        if (x >= sliderLeft) {
            const float value = static_cast<float>(x - sliderLeft) / static_cast<float>(box.width / 2 - 1);
            m_host.userSetParameter(control, value);
        }
    } else {
        activate();
    }
    ++m_revision;
}
