// An engine wired as the main window wires it, with a plug-in bundle loaded
// and a WAV writer open with a 0-frame header, ready for one bounce; and
// the written file read back through libsndfile.
#pragma once

#include "ProbeHost.h"
#include "VTAudioFileWAV.h"
#include "VTAudioLib.h"
#include "VTBounceRender.h"
#include "VTMidiLib.h"
#include "VTTemporaryFolder.h"
#include "VTVSTHostInterface.h"
#include "VTVSTHostRegistry.h"
#include "VTVirtualAudio.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace bouncetest {

// The end flag and offset as the main window keeps them.
struct BounceFlags {
    bool done = false;
    int32_t framesOffset = 0;
};

inline void flagsCallback(bool done, int frames, void* data)
{
    auto* flags = static_cast<BounceFlags*>(data);
    flags->framesOffset = frames;
    flags->done = done;
}

struct RigOptions {
    std::string bundle = probe::bundlePath("Probe");
    double sampleRate = 44100;
    // A virtual device that really streams (started before the bounce);
    // otherwise an output record the audio layer never starts.
    bool liveDevice = false;
};

struct BounceRig {
    explicit BounceRig(RigOptions chosen = RigOptions()) : options(std::move(chosen)), populated(populate())
    {
        lib.loadPlugin(options.bundle.c_str(), nullptr, nullptr, 0, false);
        if (lib.m_plugin != nullptr && lib.m_plugin->numInputs == 2)
            lib.m_plugin->flags |= effFlagsIsSynth; // no input device wanted
        outputRecord.sampleRate = options.sampleRate;
        outputRecord.bufferSize = 512;
        outputRecord.channels = 2;
        engine.m_vstLib = &lib;
        engine.m_audioLib = &audio;
        engine.m_midiLib = &midi;
        engine.m_registry = &registry;
        registry.outputDevice = &outputRecord;
        if (options.liveDevice)
            for (VTAudioDevice* device : audio.m_coreaudio.m_devices)
                if (device->name == "Interface" && !device->isInput)
                    registry.outputDevice = device;
        started = engine.startAudio();
        lib.m_host.m_bounceDoneCallback = flagsCallback;
        lib.m_host.m_bounceDoneCustomData = &flags;
    }
    ~BounceRig()
    {
        engine.stopAudio();
        probe::close(lib);
    }

    probe::ProbeState& plugin() { return *probe::stateOf(lib.m_plugin); }
    std::string path() const { return folder.file("Bounce.wav"); }

    // A writer open on path (or another) with a 0-frame header, then the
    // whole render.
    VTBounceResult bounce(const std::string& target = {})
    {
        VTAudioFileWAV writer;
        opened = writer.writeFile((target.empty() ? path() : target).c_str(), 0,
                                  static_cast<unsigned>(lib.m_host.m_vstTimeInfo.sampleRate), 9);
        VTBounceRender render(lib, engine);
        return render.run(writer, flags.done, flags.framesOffset);
    }

    RigOptions options;
    vt::testing::TemporaryHome home;
    vt::testing::TemporaryFolder folder{"kindra-bounce"};
    vt::testing::VirtualAudioWorld audioWorld;
    bool populated;
    VTVSTHostLib lib;
    VTAudioLib audio;
    VTMidiLib midi;
    VTVSTHostRegistry registry{"Probe", true};
    VTAudioDevice outputRecord; // type 0: never started by the audio layer
    VTVSTHostInterface engine;
    BounceFlags flags;
    bool started = false;
    bool opened = false;

private:
    bool populate()
    {
        vt::testing::VirtualAudioDeviceSpec spec;
        spec.name = "Interface";
        spec.inputBuffers = {2};
        spec.outputBuffers = {2};
        spec.sampleRate = options.sampleRate;
        spec.bufferFrameSize = 512;
        audioWorld.addDevice(spec);
        return true;
    }
};

// A written file as libsndfile reads it, and the raw facts beside it.
struct WrittenFile {
    bool opened = false;
    int channels = 0;
    int sampleRate = 0;
    int format = 0;
    sf_count_t frames = 0;        // what the header states, as libsndfile reads it
    std::vector<short> samples;   // interleaved, every frame libsndfile reads
    uint64_t dataFrames = 0;      // frames of data on disk behind the 44-byte header
    uint32_t headerDataBytes = 0; // the data chunk's size field
};

inline WrittenFile readWritten(const std::string& path)
{
    WrittenFile file;
    std::ifstream raw(path, std::ios::binary | std::ios::ate);
    if (!raw)
        return file;
    const auto size = static_cast<uint64_t>(raw.tellg());
    file.dataFrames = size >= 44 ? (size - 44) / 4 : 0;
    unsigned char field[4] = {};
    raw.seekg(40);
    raw.read(reinterpret_cast<char*>(field), 4);
    file.headerDataBytes = field[0] | field[1] << 8 | field[2] << 16 | static_cast<uint32_t>(field[3]) << 24;

    SF_INFO info{};
    SNDFILE* sound = sf_open(path.c_str(), SFM_READ, &info);
    if (sound == nullptr)
        return file;
    file.opened = true;
    file.channels = info.channels;
    file.sampleRate = info.samplerate;
    file.format = info.format;
    file.frames = info.frames;
    file.samples.resize(static_cast<size_t>(info.frames) * 2);
    const sf_count_t read = sf_readf_short(sound, file.samples.data(), info.frames);
    file.samples.resize(static_cast<size_t>(read) * 2);
    sf_close(sound);
    return file;
}

} // namespace bouncetest
