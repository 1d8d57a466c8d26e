// The offline render of a bounce: warms the plug-in up, captures its output
// into an open WAV writer until the plug-in reports the end, trims and fades
// that end onto the tempo's two-beat grid, lets the plug-in run out and
// starts live audio again. It shows nothing: the window names the file,
// offers it for saving and reports the outcome.
#pragma once

#include <cstdint>
#include <vector>

class VTAudioFileBase;
class VTVSTHostInterface;
class VTVSTHostLib;

// Where the capture ends and what reaches the file; any thread (pure).
struct VTBounceEndPlan {
    unsigned total = 0;        // T: frames captured up to the reported end
    unsigned grid = 0;         // P: frames in two beats, 0 when the tempo gives none
    unsigned gridFrames = 0;   // M: the largest multiple of P not above T
    unsigned trim = 0;         // t: frames cut from the end (at most 32)
    unsigned lastFrames = 0;   // E: frames of the final write (previous block and partial block)
    unsigned headerFrames = 0; // the frame count the header states at the end
    bool rewriteHeader = false;
};

// F: frames already counted (whole blocks), offset: the reported frame in
// the ending block, already inside 0 ... 256.
VTBounceEndPlan planBounceEnd(unsigned framesBefore, unsigned offset, double sampleRate, double tempo);

// What one render did.
struct VTBounceResult {
    unsigned preRollBlocks = 0;  // 512-frame blocks, and as many in the run-out
    unsigned capturedFrames = 0; // T
    unsigned writtenFrames = 0;  // frames of sample data appended to the file
    unsigned headerFrames = 0;   // frames the file's header states
    bool endReported = false;    // false: the capture stopped at its length bound
    bool writeFailed = false;    // a block or the header did not reach the file
};

class VTBounceRender {
public:
    static constexpr unsigned kRollFrames = 512;  // pre-roll and run-out blocks
    static constexpr unsigned kBlockFrames = 256; // capture blocks: the end's resolution
    static constexpr unsigned kFadeFrames = 64;
    static constexpr unsigned kMaxTrimFrames = 32;
    static constexpr int kCaptureParameter = 82; // 1.0 during the capture, 0.0 around it
    static constexpr unsigned kEncoding = 9;     // 16-bit stereo
    // The recorder's longest take, 16 minutes: a plug-in that never
    // reports its end is cut there.
    static constexpr unsigned kMaxCaptureSeconds = 960;

    VTBounceRender(VTVSTHostLib& hostLib, VTVSTHostInterface& engine);

    // Main thread only; the engine's audio is stopped for its duration and
    // started again at the end. The writer is open with a 0-frame header;
    // bounceDone and bounceFramesOffset are the flag and offset the
    // bounce-done callback sets (inside the plug-in's process calls). The
    // writer is closed afterwards.
    VTBounceResult run(VTAudioFileBase& writer, bool& bounceDone, int32_t& bounceFramesOffset);

    // 512-frame blocks of the pre-roll (and the run-out) at a rate:
    // about ten seconds.
    static unsigned rollBlocks(double sampleRate);

private:
    void transportStop();
    void transportStart();
    void setCaptureParameter(float value);
    void process(unsigned frames);
    void roll(unsigned blocks, double quartersPerFrame);
    bool append(unsigned frames);

    VTVSTHostLib& m_hostLib;
    VTVSTHostInterface& m_engine;
    VTAudioFileBase* m_writer = nullptr;
    // The work pair (the plug-in's input and output, in place) and the
    // previous captured block, allocated once per render.
    std::vector<float> m_work[2];
    std::vector<float> m_previous[2];
};
