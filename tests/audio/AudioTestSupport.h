// Helpers of the audio layer tests: a recording engine callback, buffers
// for the manual drive, and entry lookup.
#pragma once

#include "VTAudioLib.h"
#include "VTVirtualAudio.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace vt::testing {

// Stands in for the engine's audio cycle: records what it was handed,
// reads the first input sample of each side before it writes, then fills
// the left output with `leftValue` and the right with `rightValue`.
// Allocates nothing.
struct EngineProbe {
    int calls = 0;
    float* in[2] = {nullptr, nullptr};
    float* out[2] = {nullptr, nullptr};
    uint32_t frames = 0;
    float firstInput[2] = {0, 0};
    float leftValue = 0.25f;
    float rightValue = -0.5f;

    static bool cycle(float** in, float** out, uint32_t frames, void* userData)
    {
        auto* probe = static_cast<EngineProbe*>(userData);
        ++probe->calls;
        probe->frames = frames;
        for (int side = 0; side < 2; ++side) {
            probe->in[side] = in[side];
            probe->out[side] = out[side];
            probe->firstInput[side] = in[side] != nullptr ? in[side][0] : 0.0f;
        }
        for (uint32_t i = 0; i < frames; ++i)
            out[0][i] = probe->leftValue;
        for (uint32_t i = 0; i < frames; ++i)
            out[1][i] = probe->rightValue;
        return true;
    }
    void* callback() const { return reinterpret_cast<void*>(&EngineProbe::cycle); }
};

// Channel buffers for one manual-drive cycle. Input channel c holds the
// constant value inputValue(c) = 0.1 * (c + 1).
struct Cycle {
    Cycle(UInt32 inputs, UInt32 outputs, UInt32 frames) : frames(frames)
    {
        input.assign(inputs, std::vector<float>(frames));
        output.assign(outputs, std::vector<float>(frames, 99.0f));
        for (UInt32 c = 0; c < inputs; ++c) {
            std::fill(input[c].begin(), input[c].end(), inputValue(c));
            inputPointers.push_back(input[c].data());
        }
        for (auto& channel : output)
            outputPointers.push_back(channel.data());
    }
    static float inputValue(UInt32 channel) { return 0.1f * static_cast<float>(channel + 1); }

    OSStatus render(const VirtualAudioStream& stream)
    {
        return stream.render(frames, inputPointers.data(), outputPointers.data());
    }
    // Every sample of output channel c equals value.
    bool outputIs(UInt32 channel, float value) const
    {
        for (float sample : output[channel])
            if (sample != value)
                return false;
        return true;
    }

    UInt32 frames;
    std::vector<std::vector<float>> input;
    std::vector<std::vector<float>> output;
    std::vector<const float*> inputPointers;
    std::vector<float*> outputPointers;
};

// The entry of device `id` in one direction, or null.
inline VTAudioDevice* entryOf(VTCoreAudio& audio, AudioObjectID id, bool isInput)
{
    for (VTAudioDevice* device : audio.m_devices)
        if (device->id == id && device->isInput == isInput)
            return device;
    return nullptr;
}

inline VirtualAudioDeviceSpec deviceSpec(const std::string& name, std::vector<UInt32> inputs,
                                         std::vector<UInt32> outputs)
{
    VirtualAudioDeviceSpec spec;
    spec.name = name;
    spec.uid = "uid:" + name;
    spec.inputBuffers = std::move(inputs);
    spec.outputBuffers = std::move(outputs);
    return spec;
}

} // namespace vt::testing
