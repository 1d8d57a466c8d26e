// The player and recorder window built directly on an engine whose output
// is a virtual interface in manual drive: the test renders the buffers the
// audio thread would, and the scripted user answers panels and alerts.
#pragma once

#include "EngineRig.h"
#include "PlayerRecorder.h"
#include "VTScriptedUser.h"
#include "VTTemporaryFolder.h"

#include <sndfile.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace playertest {

using enginetest::EngineRig;
using enginetest::RigOptions;

// A stereo file written by libsndfile (format: SF_FORMAT_WAV |
// SF_FORMAT_PCM_16, ...); sample(frame, channel) gives each value.
inline std::string writeSample(const std::string& path, int format, unsigned frames, int rate,
                               const std::function<float(unsigned, int)>& sample = nullptr)
{
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = 2;
    info.format = format;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    EXPECT_NE(file, nullptr) << path;
    if (file == nullptr)
        return path;
    std::vector<float> data(2 * static_cast<size_t>(frames));
    for (unsigned i = 0; i < frames; ++i)
        for (int c = 0; c < 2; ++c)
            data[2 * i + c] = sample ? sample(i, c) : 0.25f;
    sf_command(file, SFC_SET_CLIPPING, nullptr, SF_FALSE);
    EXPECT_EQ(sf_writef_float(file, data.data(), frames), static_cast<sf_count_t>(frames));
    sf_close(file);
    return path;
}

inline std::string writeWav(const std::string& path, unsigned frames, int rate)
{
    return writeSample(path, SF_FORMAT_WAV | SF_FORMAT_PCM_16, frames, rate);
}

// A compressed file of a stereo tone, made by the ffmpeg tool.
inline std::string encodeTone(const std::string& path, double seconds, int rate)
{
    const std::string command =
        "ffmpeg -nostdin -loglevel error -y -f lavfi -i sine=frequency=440:sample_rate=" + std::to_string(rate) +
        ":duration=" + std::to_string(seconds) + " -ac 2 '" + path + "'";
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    return path;
}

class PlayerWindowTest : public ::testing::Test {
protected:
    static constexpr unsigned kBuffer = 512;

    // The engine on a running virtual interface at 48000 Hz; the settings
    // store is the rig's, to be filled in before openWindow.
    void startEngine(RigOptions options = RigOptions())
    {
        options.audioDevice(enginetest::duplexDevice("Interface", 48000, kBuffer));
        rig = std::make_unique<EngineRig>(std::move(options));
        rig->registry.outputDevice = rig->audioEntry("Interface", false);
        rig->registry.inputDevice = rig->audioEntry("Interface", true);
        ASSERT_TRUE(rig->engine.startAudio());
    }
    // The engine with an output device record that runs no stream (the
    // test calls the cycle itself), at any rate.
    void startEngineWithoutStream(double rate)
    {
        rig = std::make_unique<EngineRig>();
        rig->outputRecord.sampleRate = rate;
    }
    // Builds the window unless the test already has, hands it the engine's
    // objects and opens it.
    void openWindow()
    {
        if (window == nullptr)
            window = loadPlayerRecorderWindow();
        window->setHostInterface(&rig->engine);
        window->setHostLib(&rig->probe.lib);
        window->setRegistry(&rig->registry);
        window->initialize();
    }
    void TearDown() override
    {
        window.reset();
        if (rig != nullptr)
            rig->engine.stopAudio();
        rig.reset();
    }

    // Plays the audio thread for at least this many frames, in buffers.
    void render(unsigned frames)
    {
        for (unsigned done = 0; done < frames; done += kBuffer)
            ASSERT_EQ(rig->renderRunningStream(kBuffer).size(), 2u);
    }
    void tick() { window->idleTimer(nullptr); }
    VTVSTHostInterface& engine() { return rig->engine; }
    std::vector<vt::testing::ShownModal::Kind> shownKinds() const
    {
        std::vector<vt::testing::ShownModal::Kind> kinds;
        for (const auto& modal : user.shown())
            kinds.push_back(modal.kind);
        return kinds;
    }

    vt::testing::ScriptedUser user;
    vt::testing::TemporaryFolder folder;
    std::unique_ptr<EngineRig> rig;
    std::unique_ptr<PlayerRecorder> window;
};

} // namespace playertest
