#include "VTBounceRender.h"

#include "VTAudioFileBase.h"
#include "VTVSTHostInterface.h"
#include "VTVSTHostLib.h"

#include <algorithm>
#include <cmath>

VTBounceEndPlan planBounceEnd(unsigned framesBefore, unsigned offset, double sampleRate, double tempo)
{
    VTBounceEndPlan plan;
    plan.total = framesBefore + offset;
    const unsigned partial = VTBounceRender::kBlockFrames + offset;

    // The grid is two beats; a tempo out of range (or none) gives no grid,
    // and then nothing is trimmed and the header states every frame.
    const double grid = std::trunc(std::trunc(sampleRate * 120.0) / tempo);
    if (!std::isfinite(grid) || grid < 1.0) {
        plan.lastFrames = partial;
        plan.headerFrames = plan.total;
        plan.rewriteHeader = true;
        return plan;
    }
    if (grid > static_cast<double>(plan.total)) {
        // Shorter than one grid period: M is 0, the header keeps 0 frames.
        plan.grid = grid > 4294967295.0 ? 0xFFFFFFFFu : static_cast<unsigned>(grid);
        plan.lastFrames = partial;
        return plan;
    }
    plan.grid = static_cast<unsigned>(grid);
    plan.gridFrames = plan.total / plan.grid * plan.grid;
    const unsigned remainder = plan.total - plan.gridFrames;
    plan.trim = remainder <= VTBounceRender::kMaxTrimFrames ? remainder : 0;
    plan.lastFrames = partial - plan.trim;
    plan.headerFrames = plan.gridFrames;
    plan.rewriteHeader = plan.gridFrames != 0;
    return plan;
}

VTBounceRender::VTBounceRender(VTVSTHostLib& hostLib, VTVSTHostInterface& engine) : m_hostLib(hostLib), m_engine(engine)
{
}

unsigned VTBounceRender::rollBlocks(double sampleRate)
{
    if (!(sampleRate > 0.0) || !std::isfinite(sampleRate))
        return 0;
    return static_cast<unsigned>(std::ceil(10.0 * sampleRate / kRollFrames));
}

void VTBounceRender::transportStop()
{
    if (m_hostLib.m_host.getPlayStatus())
        m_engine.m_playStatusChanged.exchange(true);
    m_engine.m_playStatus.exchange(false);
}

void VTBounceRender::transportStart()
{
    if (!m_hostLib.m_host.getPlayStatus())
        m_engine.m_playStatusChanged.exchange(true);
    m_engine.m_playStatus.exchange(true);
}

void VTBounceRender::setCaptureParameter(float value)
{
    AEffect* plugin = m_hostLib.m_plugin;
    if (plugin != nullptr && plugin->setParameter != nullptr)
        plugin->setParameter(plugin, kCaptureParameter, value);
}

void VTBounceRender::process(unsigned frames)
{
    float* pair[2] = {m_work[0].data(), m_work[1].data()};
    m_hostLib.processReplacing(pair, pair, static_cast<int>(frames));
}

void VTBounceRender::roll(unsigned blocks, double quartersPerFrame)
{
    double& position = m_hostLib.m_host.m_vstTimeInfo.ppqPos;
    for (unsigned block = 0; block < blocks; ++block) {
        process(kRollFrames);
        position += kRollFrames * quartersPerFrame;
    }
}

bool VTBounceRender::append(unsigned frames)
{
    float* pair[2] = {m_previous[0].data(), m_previous[1].data()};
    return m_writer->setData(pair, frames, false);
}

VTBounceResult VTBounceRender::run(VTAudioFileBase& writer, bool& bounceDone, int32_t& bounceFramesOffset)
{
    VTBounceResult result;
    m_writer = &writer;
    VstTimeInfo& time = m_hostLib.m_host.m_vstTimeInfo;
    const double sampleRate = time.sampleRate;
    const double quartersPerFrame = time.tempo * (1.0 / 60.0) / sampleRate;

    // --- the buffers, cleared so that the plug-in's first input is silence
    for (int channel = 0; channel < 2; ++channel) {
        m_work[channel].assign(kRollFrames, 0.0f);
        m_previous[channel].assign(kRollFrames, 0.0f);
    }

    // --- pre-roll: the plug-in warms up, nothing is kept
    transportStop();
    setCaptureParameter(0.0f);
    m_engine.stopAudio();
    time.ppqPos = 0.0;
    result.preRollBlocks = rollBlocks(sampleRate);
    roll(result.preRollBlocks, quartersPerFrame);

    // --- capture, one block behind: the block that reports the end is
    // only partly kept, and an end reported in the first block is lost
    transportStart();
    setCaptureParameter(1.0f);
    bounceDone = false;
    time.ppqPos = 0.0;
    const double bound =
        std::isfinite(sampleRate) && sampleRate > 0.0 ? std::trunc(sampleRate) * kMaxCaptureSeconds : 0.0;
    const unsigned maxFrames = bound > 4294967040.0 ? 4294967040u : static_cast<unsigned>(bound);
    unsigned frames = 0;
    int64_t offset = 0;
    for (;;) {
        process(kBlockFrames);
        time.ppqPos += kBlockFrames * quartersPerFrame;
        if (bounceDone && frames != 0) {
            offset = bounceFramesOffset;
            result.endReported = true;
            break;
        }
        if (frames != 0 && frames + kBlockFrames > maxFrames) {
            offset = static_cast<int64_t>(maxFrames) - frames;
            break;
        }
        if (frames != 0 && !append(kBlockFrames))
            result.writeFailed = true;
        frames += kBlockFrames;
        std::copy_n(m_work[0].data(), kBlockFrames, m_previous[0].data());
        std::copy_n(m_work[1].data(), kBlockFrames, m_previous[1].data());
        bounceDone = false;
    }

    // --- the end: partial block behind the previous one, trim onto the
    // grid, fade, header. The previous-block buffers hold 512 frames, so an
    // offset the plug-in reports outside 0 ... 256 is clamped into it
    // rather than read or faded past their end.
    const auto partial = static_cast<unsigned>(std::clamp<int64_t>(offset, 0, kBlockFrames));
    std::copy_n(m_work[0].data(), partial, m_previous[0].data() + kBlockFrames);
    std::copy_n(m_work[1].data(), partial, m_previous[1].data() + kBlockFrames);
    const VTBounceEndPlan plan = planBounceEnd(frames, partial, sampleRate, m_engine.m_tempo.load());
    const unsigned fadeStart = plan.lastFrames - kFadeFrames;
    for (unsigned j = 0; j < kFadeFrames; ++j) {
        const float gain = static_cast<float>(kFadeFrames - j) / kFadeFrames;
        m_previous[0][fadeStart + j] *= gain;
        m_previous[1][fadeStart + j] *= gain;
    }
    if (!append(plan.lastFrames))
        result.writeFailed = true;
    if (plan.rewriteHeader && !writer.writeHeader(plan.headerFrames, writer.m_sampleRate, kEncoding))
        result.writeFailed = true;
    writer.closeFile();
    result.capturedFrames = plan.total;
    result.writtenFrames = plan.total - plan.trim;
    result.headerFrames = plan.headerFrames;

    // --- run-out: the plug-in's tails die away, nothing is kept
    transportStop();
    setCaptureParameter(0.0f);
    roll(result.preRollBlocks, quartersPerFrame);

    // --- live audio again; a failed restart is not this render's to report
    for (int channel = 0; channel < 2; ++channel) {
        std::vector<float>().swap(m_work[channel]);
        std::vector<float>().swap(m_previous[channel]);
    }
    m_writer = nullptr;
    m_engine.startAudio();
    return result;
}
