// The preferences and tempo windows as the main window wires them: an engine
// over virtual audio devices and MIDI endpoints and a probe plug-in, the
// settings store in a home folder of its own, and every setting read back
// from the preferences file on disk with libplist.
#pragma once

#include "Preferences.h"
#include "ProbeHost.h"
#include "Tempo.h"
#include "VTAudioLib.h"
#include "VTMidiLib.h"
#include "VTScriptedUser.h"
#include "VTVirtualEndpoints.h"
#include "VTVSTHostInterface.h"
#include "VTVSTHostRegistry.h"
#include "VTVirtualAudio.h"
#include "VTVirtualMidi.h"

#include <plist/plist.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace windowtest {

inline vt::testing::VirtualAudioDeviceSpec device(const std::string& name, std::vector<UInt32> inputs,
                                                  std::vector<UInt32> outputs)
{
    vt::testing::VirtualAudioDeviceSpec spec;
    spec.name = name;
    spec.inputBuffers = std::move(inputs);
    spec.outputBuffers = std::move(outputs);
    return spec;
}

struct RigOptions {
    bool synth = false;
    bool sendsMidi = true;
    std::vector<vt::testing::VirtualAudioDeviceSpec> audioDevices;
    std::vector<std::string> midiSources;
    std::vector<std::string> midiDestinations;
};

// One value of the preferences file as it lies on disk.
class StoredFile {
public:
    explicit StoredFile(const std::filesystem::path& path)
    {
        std::ifstream file(path, std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
        if (!bytes.empty())
            plist_from_memory(bytes.data(), static_cast<uint32_t>(bytes.size()), &m_root);
    }
    ~StoredFile() { plist_free(m_root); }
    StoredFile(const StoredFile&) = delete;
    StoredFile& operator=(const StoredFile&) = delete;

    std::optional<std::string> string(const std::string& key, plist_t in = nullptr) const
    {
        plist_t node = item(key, in);
        if (plist_get_node_type(node) != PLIST_STRING)
            return std::nullopt;
        char* text = nullptr;
        plist_get_string_val(node, &text);
        std::string value = text != nullptr ? text : "";
        std::free(text);
        return value;
    }
    // Integers, booleans and reals alike, as numbers.
    std::optional<double> number(const std::string& key, plist_t in = nullptr) const
    {
        plist_t node = item(key, in);
        switch (plist_get_node_type(node)) {
        case PLIST_UINT: {
            uint64_t value = 0;
            plist_get_uint_val(node, &value);
            return static_cast<double>(static_cast<int64_t>(value));
        }
        case PLIST_REAL: {
            double value = 0;
            plist_get_real_val(node, &value);
            return value;
        }
        case PLIST_BOOLEAN: {
            uint8_t value = 0;
            plist_get_bool_val(node, &value);
            return value != 0 ? 1.0 : 0.0;
        }
        default:
            return std::nullopt;
        }
    }
    // The stored "Midi Device " record with that name and direction.
    plist_t midiRecord(const std::string& name, bool in) const
    {
        for (int number = 0;; ++number) {
            plist_t record = item("Midi Device " + std::to_string(number));
            if (record == nullptr)
                return nullptr;
            if (string("name", record) == name && this->number("in", record) == (in ? 1.0 : 0.0))
                return record;
        }
    }

private:
    plist_t item(const std::string& key, plist_t in = nullptr) const
    {
        plist_t dict = in != nullptr ? in : m_root;
        return dict != nullptr && plist_get_node_type(dict) == PLIST_DICT ? plist_dict_get_item(dict, key.c_str())
                                                                          : nullptr;
    }
    plist_t m_root = nullptr;
};

// Everything the windows link to. The virtual devices are made first, so
// the device layers list them when they are constructed.
struct WindowRig : vt::testing::VirtualEndpoints {
    explicit WindowRig(RigOptions chosen = {})
        : VirtualEndpoints(chosen.audioDevices, chosen.midiSources, chosen.midiDestinations), options(std::move(chosen))
    {
        probe.state().sendsMidi = options.sendsMidi;
        if (options.synth) {
            probe.effect()->flags |= effFlagsIsSynth;
            probe.effect()->numInputs = 0;
        }
        registry = std::make_unique<VTVSTHostRegistry>("Probe", options.synth);
        registry->readStoredSettings(audio.devices());
        registry->mergeMidiDevices(midi.m_coremidi.m_devices);
        engine.m_vstLib = &probe.lib;
        engine.m_audioLib = &audio;
        engine.m_midiLib = &midi;
        engine.m_registry = registry.get();
    }

    std::unique_ptr<Preferences> openPreferences()
    {
        auto window = loadPreferencesWindow();
        window->setHostInterface(&engine);
        window->setHostLib(&probe.lib);
        window->setAudioLib(&audio);
        window->setMidiLib(&midi);
        window->setRegistry(registry.get());
        window->initialze();
        window->makeKeyAndOrderFront(nil);
        return window;
    }

    std::unique_ptr<Tempo> openTempo()
    {
        auto window = loadTempoWindow();
        window->setHostInterface(&engine);
        window->setHostLib(&probe.lib);
        window->setAudioLib(&audio);
        window->setMidiLib(&midi);
        window->setRegistry(registry.get());
        window->initialize();
        window->makeKeyAndOrderFront(nil);
        return window;
    }

    // The audio layer's entry of a device in one direction.
    VTAudioDevice* audioEntry(const std::string& name, bool input)
    {
        for (VTAudioDevice* entry : audio.devices())
            if (entry->name == name && entry->isInput == input)
                return entry;
        return nullptr;
    }
    VTMidiDevice* midiEntry(const std::string& name, bool input)
    {
        for (VTMidiDevice* entry : midi.m_coremidi.m_devices)
            if (entry->name == name && entry->in == input)
                return entry;
        return nullptr;
    }
    std::unique_ptr<StoredFile> storedFile() const
    {
        return std::make_unique<StoredFile>(home.path() / "Library" / "Preferences" / "com.veltrane.Probe.plist");
    }

    RigOptions options;
    vt::testing::ScriptedUser user;
    probe::LoadedProbe probe;
    VTAudioLib audio;
    VTMidiLib midi;
    std::unique_ptr<VTVSTHostRegistry> registry;
    VTVSTHostInterface engine;
};

} // namespace windowtest
