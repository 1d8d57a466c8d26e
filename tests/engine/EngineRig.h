// An engine wired as the main window wires it, over virtual devices and a
// probe plug-in, in a home folder of its own.
#pragma once

#include "ProbeHost.h"
#include "VTAudioLib.h"
#include "VTMidiLib.h"
#include "VTMidiMsg.h"
#include "VTStereoBuffers.h"
#include "VTVirtualEndpoints.h"
#include "VTVSTHostInterface.h"
#include "VTVSTHostRegistry.h"
#include "VTVirtualAudio.h"
#include "VTVirtualMidi.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace enginetest {

using vt::testing::TemporaryHome;

// Channel buffers of one cycle.
using Stereo = vt::testing::StereoBuffers;

// A virtual interface with two inputs and two outputs in one buffer each.
inline vt::testing::VirtualAudioDeviceSpec duplexDevice(const std::string& name, Float64 sampleRate = 44100,
                                                        UInt32 bufferFrames = 256)
{
    vt::testing::VirtualAudioDeviceSpec spec;
    spec.name = name;
    spec.inputBuffers = {2};
    spec.outputBuffers = {2};
    spec.sampleRate = sampleRate;
    spec.bufferFrameSize = bufferFrames;
    return spec;
}

// What a rig's plug-in is and which virtual devices exist before the
// device layers list them.
struct RigOptions {
    RigOptions& instrument()
    {
        synth = true;
        inputs = 0;
        return *this;
    }
    RigOptions& midiSource(std::string name)
    {
        midiSources.push_back(std::move(name));
        return *this;
    }
    RigOptions& midiDestination(std::string name)
    {
        midiDestinations.push_back(std::move(name));
        return *this;
    }
    RigOptions& audioDevice(vt::testing::VirtualAudioDeviceSpec spec)
    {
        audioDevices.push_back(std::move(spec));
        return *this;
    }

    RigOptions& plugInBundle(std::string name)
    {
        bundle = std::move(name);
        return *this;
    }

    std::string bundle = "Probe";
    bool synth = false;
    int inputs = 2;
    std::vector<std::string> midiSources;
    std::vector<std::string> midiDestinations;
    std::vector<vt::testing::VirtualAudioDeviceSpec> audioDevices;
};

// Everything the engine links to. The virtual endpoints are made first, so
// the device layers list them when they are constructed.
struct EngineRig : vt::testing::VirtualEndpoints {
    explicit EngineRig(RigOptions chosen = RigOptions())
        : VirtualEndpoints(chosen.audioDevices, chosen.midiSources, chosen.midiDestinations), options(std::move(chosen))
    {
        outputRecord.type = 16;
        outputRecord.sampleRate = 48000;
        outputRecord.bufferSize = 512;
        outputRecord.channels = 2;
        probe.effect()->numInputs = options.inputs;
        if (options.synth)
            probe.effect()->flags |= effFlagsIsSynth;
        engine.m_vstLib = &probe.lib;
        engine.m_audioLib = &audio;
        engine.m_midiLib = &midi;
        engine.m_registry = &registry;
        registry.outputDevice = &outputRecord;
    }

    probe::ProbeState& plugin() { return probe.state(); }
    // One audio cycle as the audio layer runs it, input optional.
    bool cycle(Stereo& output, Stereo* input = nullptr)
    {
        float* none[2] = {nullptr, nullptr};
        return VTVSTHostInterface::audiocallback(input ? input->pair() : none, output.pair(),
                                                 static_cast<unsigned>(output.left.size()), &engine);
    }
    // One buffer rendered by the running stream in manual drive, as the
    // device plays it, with the given input channels (silence where none is
    // given); every output channel, or nothing when no stream runs or the
    // render failed.
    std::vector<std::vector<float>> renderRunningStream(unsigned frames, std::vector<std::vector<float>> in = {})
    {
        vt::testing::VirtualAudioStream stream = audioWorld.runningStream();
        if (!stream.valid())
            return {};
        in.resize(stream.inputChannels(), std::vector<float>(frames));
        for (auto& channel : in)
            channel.resize(frames);
        std::vector<std::vector<float>> out(stream.outputChannels(), std::vector<float>(frames, 9.0f));
        std::vector<const float*> inPointers;
        std::vector<float*> outPointers;
        for (auto& channel : in)
            inPointers.push_back(channel.data());
        for (auto& channel : out)
            outPointers.push_back(channel.data());
        if (stream.render(frames, inPointers.data(), outPointers.data()) != noErr)
            return {};
        return out;
    }
    // What the plug-in received in its effProcessEvents calls, in order.
    std::vector<std::vector<unsigned char>> receivedEvents()
    {
        std::vector<std::vector<unsigned char>> events;
        for (int i = 0; i < plugin().events.size(); ++i) {
            const auto& event = plugin().events.items[i];
            events.push_back({event.bytes[0], event.bytes[1], event.bytes[2]});
        }
        return events;
    }
    // The audio layer's entry of a device in one direction.
    VTAudioDevice* audioEntry(const std::string& name, bool input)
    {
        for (VTAudioDevice* device : audio.m_coreaudio.m_devices)
            if (device->name == name && device->isInput == input)
                return device;
        return nullptr;
    }

    RigOptions options;
    probe::LoadedProbe probe{options.bundle.c_str()};
    VTAudioLib audio;
    VTMidiLib midi;
    VTVSTHostRegistry registry{"Probe", false};
    VTAudioDevice outputRecord; // a device the cycle tests need not start
    VTVSTHostInterface engine;
};

} // namespace enginetest
