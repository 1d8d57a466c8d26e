#include "KindraPhrase.h"

#include <cmath>

namespace {

struct Bar {
    int bass;
    int chord[3];
};

// A minor, F, C, G: one chord to a bar.
constexpr Bar kBars[4] = {{45, {57, 60, 64}}, {41, {53, 57, 60}}, {48, {55, 60, 64}}, {43, {55, 59, 62}}};

} // namespace

void KindraPhrase::add(double beat, int note, int velocity)
{
    if (m_count >= kMaxNotes * 2)
        return;
    // Kept in time order, note-offs before note-ons on the same beat, so
    // a chord tone repeated in the next bar restarts cleanly.
    int at = m_count;
    while (at > 0 && (m_score[at - 1].beat > beat ||
                      (m_score[at - 1].beat == beat && velocity == 0 && m_score[at - 1].velocity > 0))) {
        m_score[at] = m_score[at - 1];
        --at;
    }
    m_score[at] = Note{beat, note, velocity};
    ++m_count;
}

KindraPhrase::KindraPhrase()
{
    for (int b = 0; b < 4; ++b) {
        const double bar = 4.0 * b;
        const Bar& chord = kBars[b];
        for (int half = 0; half < 2; ++half) {
            add(bar + 2.0 * half, chord.bass, 100);
            add(bar + 2.0 * half + 1.9, chord.bass, 0);
        }
        for (int tone : chord.chord) {
            add(bar, tone, 76);
            add(bar + 4.0, tone, 0);
        }
        for (int k = 0; k < 8; ++k) {
            const int tone = chord.chord[k % 3] + 12;
            add(bar + 0.5 * k, tone, k % 2 == 0 ? 90 : 70);
            add(bar + 0.5 * k + 0.45, tone, 0);
        }
    }
}

void KindraPhrase::start()
{
    m_running = true;
    m_next = 0;
    m_beat = 0.0;
    m_frame = 0;
    m_endFrame = -1;
}

int KindraPhrase::advance(int frames, double tempo, double sampleRate, int releaseSamples, BlockEvent* out,
                          int capacity, int& endOffset)
{
    endOffset = -1;
    if (!m_running || frames <= 0)
        return 0;
    if (!(tempo > 0.0) || !std::isfinite(tempo))
        tempo = 120.0;
    if (!(sampleRate > 0.0))
        sampleRate = 44100.0;
    const double beatsPerFrame = tempo / 60.0 / sampleRate;

    // Notes whose beat falls inside this block, at the first frame at or
    // after it (the small margin absorbs rounding of the running beat).
    int written = 0;
    while (m_next < m_count && written < capacity) {
        const Note& note = m_score[m_next];
        double offset = std::ceil((note.beat - m_beat) / beatsPerFrame - 1.0e-6);
        if (offset < 0.0)
            offset = 0.0;
        if (offset >= frames)
            break;
        out[written++] = BlockEvent{static_cast<int>(offset), note.note, note.velocity};
        if (++m_next == m_count)
            m_endFrame = m_frame + static_cast<int64_t>(offset) + releaseSamples;
    }

    // The end is reported in the block it falls in, and again in every
    // later block until the capture stops, so a missed report is repeated.
    if (m_endFrame >= 0 && m_endFrame <= m_frame + frames)
        endOffset = m_endFrame > m_frame ? static_cast<int>(m_endFrame - m_frame) : 0;
    m_beat += frames * beatsPerFrame;
    m_frame += frames;
    return written;
}
