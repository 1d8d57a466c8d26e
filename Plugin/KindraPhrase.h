// The phrase the instrument plays into an offline render: four bars of
// bass, chords and an arpeggio at the host's tempo. It knows where its
// sound ends: the last note-off plus the release time.
#pragma once

#include <cstdint>

class KindraPhrase {
public:
    static constexpr double kBeats = 16.0; // four bars of 4/4
    static constexpr int kMaxNotes = 128;

    // A note-on (velocity > 0) or note-off (velocity 0) inside one block.
    struct BlockEvent {
        int frame;
        int note;
        int velocity;
    };

    // Main thread, at creation: builds the score.
    KindraPhrase();

    // Audio thread, real-time safe.
    void start();
    void stop() { m_running = false; }
    bool running() const { return m_running; }

    // Audio thread, real-time safe. Plays the next `frames` frames at tempo
    // (BPM) and sampleRate: writes the block's notes into out (at most
    // capacity, in time order) and returns how many. releaseSamples is the
    // release the voices give the final notes. endOffset receives the frame
    // inside this block where the sound has ended (0..frames), or -1.
    int advance(int frames, double tempo, double sampleRate, int releaseSamples, BlockEvent* out, int capacity,
                int& endOffset);

private:
    struct Note {
        double beat;
        int note;
        int velocity; // 0: note-off
    };
    void add(double beat, int note, int velocity);

    Note m_score[kMaxNotes * 2] = {};
    int m_count = 0;
    int m_next = 0;
    double m_beat = 0.0; // beats played before the current block
    int64_t m_frame = 0; // frames played before the current block
    int64_t m_endFrame = -1;
    bool m_running = false;
};
