// Loading a sample into the engine's player while audio may be running.
#include "EngineRig.h"
#include "VTAudioFileWAV.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

using enginetest::EngineRig;
using enginetest::Stereo;

namespace {

// A 16-bit stereo WAV of constant values (rate 48000, as the rig's output).
std::string writeWav(const vt::testing::TemporaryFolder& folder, const std::string& name, unsigned frames, float left,
                     float right)
{
    std::vector<float> l(frames, left), r(frames, right);
    float* pair[2] = {l.data(), r.data()};
    VTAudioFileWAV wav;
    const std::string path = folder.file(name);
    wav.writeFile(path.c_str(), frames, 48000, 9);
    wav.setData(pair, frames, true);
    return path;
}

unsigned fileTypeAfterLoading(EngineRig& rig, std::string name)
{
    rig.engine.loadPlayerFile(name.data());
    return rig.engine.m_audioReader.m_audioFile != nullptr ? rig.engine.m_audioReader.m_audioFile->m_fileType : 99;
}

// 16384 / 32767 read back as 16383 / 32768 after the 16-bit round trip.
constexpr float kHalf = 16383.0f / 32768.0f;
constexpr float kMinusQuarter = -8191.0f / 32768.0f;

} // namespace

TEST(PlayerLoad, TheReaderFollowsTheNamesExtensionWhateverItsCase)
{
    EngineRig rig;
    // The files need not exist: the reader stays after a failed open. A
    // Core Audio file ends in 'f' too but is decoded, not read as AIFF.
    EXPECT_EQ(fileTypeAfterLoading(rig, "/nowhere/loop.WAV"), 1u);
    EXPECT_EQ(fileTypeAfterLoading(rig, "/nowhere/loop.aif"), 2u);
    EXPECT_EQ(fileTypeAfterLoading(rig, "/nowhere/loop.AIFF"), 2u);
    for (const char* name : {"/nowhere/loop.m4a", "/nowhere/loop.mp3", "/nowhere/loop.caf"})
        EXPECT_EQ(fileTypeAfterLoading(rig, name), 0u) << name;
}

TEST(PlayerLoad, AFourFrameFileGivesArraysOfFiveWithFrameZeroRepeated)
{
    EngineRig rig;
    vt::testing::TemporaryFolder folder;
    std::vector<float> l{0.25f, 0.5f, -0.5f, -0.25f}, r{0.125f, 0, 0, 0};
    float* pair[2] = {l.data(), r.data()};
    VTAudioFileWAV wav;
    std::string path = folder.file("four.wav");
    wav.writeFile(path.c_str(), 4, 48000, 9);
    wav.setData(pair, 4, true);

    ASSERT_EQ(rig.engine.loadPlayerFile(path.data()), 4u);
    EXPECT_EQ(rig.engine.m_numPlayerFileFrames, 4u);
    // Index 4 exists (AddressSanitizer would stop a read past it) and
    // repeats index 0, so interpolation past the last frame loops cleanly.
    EXPECT_EQ(rig.engine.m_playFrames[0][4], rig.engine.m_playFrames[0][0]);
    EXPECT_EQ(rig.engine.m_playFrames[1][4], rig.engine.m_playFrames[1][0]);
    EXPECT_EQ(rig.engine.m_playFrames[0][1], kHalf);
}

TEST(PlayerLoad, LoadingWhilePlayingKeepsPlayingWithTheNewSample)
{
    EngineRig rig;
    vt::testing::TemporaryFolder folder;
    std::string first = writeWav(folder, "first.wav", 1000, 0.5f, 0.5f);
    std::string second = writeWav(folder, "second.wav", 1000, -0.25f, -0.25f);
    ASSERT_EQ(rig.engine.loadPlayerFile(first.data()), 1000u);
    rig.engine.m_counterInc = 1.0;
    rig.engine.m_playerPlayLooped = true;
    rig.engine.m_playerPlayStatus = 1;
    Stereo output(64);
    rig.cycle(output);
    EXPECT_EQ(output.left[10], kHalf);

    ASSERT_EQ(rig.engine.loadPlayerFile(second.data()), 1000u);
    EXPECT_EQ(rig.engine.m_playerPlayStatus, 1);
    rig.cycle(output);
    // From the current position on, with the new data.
    EXPECT_EQ(output.left[10], kMinusQuarter);
    EXPECT_EQ(rig.engine.m_numPlayerPlayedFrames, 64u);
}

TEST(PlayerLoad, LoadingWhileTheDeviceRunsSwapsTheSampleBetweenTwoCycles)
{
    EngineRig rig(enginetest::RigOptions().audioDevice(enginetest::duplexDevice("Interface", 48000, 64)));
    rig.registry.outputDevice = rig.audioEntry("Interface", false);
    rig.registry.inputDevice = rig.audioEntry("Interface", true);
    vt::testing::TemporaryFolder folder;
    std::string first = writeWav(folder, "first.wav", 1000, 0.5f, 0.5f);
    std::string second = writeWav(folder, "second.wav", 1000, -0.25f, -0.25f);
    ASSERT_TRUE(rig.engine.startAudio());
    ASSERT_EQ(rig.engine.loadPlayerFile(first.data()), 1000u);
    rig.engine.m_playerPlayLooped = true;
    rig.engine.m_playerPlayStatus = 1;

    // The pass-through effect plays the player in place of the silent input.
    auto output = rig.renderRunningStream(64);
    ASSERT_EQ(output.size(), 2u);
    EXPECT_EQ(output[0][10], kHalf);
    EXPECT_EQ(output[1][10], kHalf);

    ASSERT_EQ(rig.engine.loadPlayerFile(second.data()), 1000u);
    EXPECT_EQ(rig.engine.m_playerPlayStatus, 1);
    output = rig.renderRunningStream(64);
    ASSERT_EQ(output.size(), 2u);
    EXPECT_EQ(output[0], std::vector<float>(64, kMinusQuarter));
    EXPECT_EQ(output[1], std::vector<float>(64, kMinusQuarter));
    rig.engine.stopAudio();
}

TEST(PlayerLoad, AFailedLoadWhilePlayingLeavesThePlayerStoppedAndEmpty)
{
    EngineRig rig;
    vt::testing::TemporaryFolder folder;
    std::string good = writeWav(folder, "good.wav", 100, 0.5f, 0.5f);
    ASSERT_EQ(rig.engine.loadPlayerFile(good.data()), 100u);
    rig.engine.m_playerPlayStatus = 1;
    std::string broken = folder.file("broken.wav");
    FILE* file = std::fopen(broken.c_str(), "wb");
    std::fputs("not a sound", file);
    std::fclose(file);
    EXPECT_EQ(rig.engine.loadPlayerFile(broken.data()), 0u);
    EXPECT_EQ(rig.engine.m_playerPlayStatus, 0);
    EXPECT_EQ(rig.engine.m_playFrames[0], nullptr);
    EXPECT_EQ(rig.engine.m_playFrames[1], nullptr);
    // The effect hears silence again, not a freed sample.
    Stereo output(32, 0.7f);
    rig.cycle(output);
    EXPECT_EQ(output.left, std::vector<float>(32, 0.0f));
}

TEST(PlayerLoad, ANullPathEmptiesThePlayer)
{
    EngineRig rig;
    vt::testing::TemporaryFolder folder;
    std::string good = writeWav(folder, "good.wav", 100, 0.5f, 0.5f);
    ASSERT_EQ(rig.engine.loadPlayerFile(good.data()), 100u);
    rig.engine.m_playerPlayStatus = 1;
    EXPECT_EQ(rig.engine.loadPlayerFile(nullptr), 0u);
    EXPECT_EQ(rig.engine.m_playerPlayStatus, 0);
    EXPECT_EQ(rig.engine.m_playFrames[0], nullptr);
    EXPECT_EQ(rig.engine.m_numPlayerPlayedFrames, 0u);
}

TEST(PlayerLoad, WithoutAnOutputDeviceNothingIsLoadedOrChanged)
{
    EngineRig rig;
    vt::testing::TemporaryFolder folder;
    std::string good = writeWav(folder, "good.wav", 100, 0.5f, 0.5f);
    ASSERT_EQ(rig.engine.loadPlayerFile(good.data()), 100u);
    rig.engine.m_playerPlayStatus = 1;
    rig.registry.outputDevice = nullptr;
    std::string other = writeWav(folder, "other.wav", 50, 0.1f, 0.1f);
    EXPECT_EQ(rig.engine.loadPlayerFile(other.data()), 0u);
    EXPECT_EQ(rig.engine.m_playerPlayStatus, 1);
    EXPECT_EQ(rig.engine.m_numPlayerFileFrames, 100u);
    EXPECT_NE(rig.engine.m_playFrames[0], nullptr);
}

TEST(PlayerLoad, ADecodedSampleArrivesAtTheOutputRate)
{
    EngineRig rig; // output at 48000
    vt::testing::TemporaryFolder folder;
    // One second at 44100 Hz, encoded to MP3 by FFmpeg's own encoder.
    std::vector<float> l(44100), r(44100);
    for (size_t i = 0; i < l.size(); ++i)
        l[i] = r[i] = 0.5f * static_cast<float>(std::sin(0.0628 * static_cast<double>(i)));
    float* pair[2] = {l.data(), r.data()};
    VTAudioFileWAV wav;
    wav.writeFile(folder.file("tone.wav").c_str(), 44100, 44100, 9);
    wav.setData(pair, 44100, true);
    const std::string command = "ffmpeg -nostdin -v error -y -i '" + folder.file("tone.wav") +
                                "' -c:a libmp3lame -b:a 192k '" + folder.file("tone.mp3") + "'";
    ASSERT_EQ(std::system(command.c_str()), 0);
    std::string mp3 = folder.file("tone.mp3");
    const unsigned frames = rig.engine.loadPlayerFile(mp3.data());
    EXPECT_NEAR(static_cast<double>(frames), 48000.0, 2.0);
    EXPECT_EQ(rig.engine.m_playFrames[0][frames], rig.engine.m_playFrames[0][0]);
}
