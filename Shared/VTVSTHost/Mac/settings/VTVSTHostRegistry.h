// The settings store: the user's audio, MIDI, tempo and player settings in
// memory, persisted as key/value pairs in the application's preferences
// domain ("com.veltrane." followed by the plug-in's bundle name).
#pragma once

#include "VTAudioDevice.h"
#include "VTMidiDevice.h"

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

class VTVSTHostRegistry {
public:
    // Main thread only. bundleName names the plug-in and the domain;
    // isSynth is the plug-in's effFlagsIsSynth flag, which decides the
    // player's defaults (an effect loops and opens the player by default).
    VTVSTHostRegistry(const std::string& bundleName, bool isSynth);
    // Main thread only. Deletes the records of midiDevices.
    ~VTVSTHostRegistry();
    VTVSTHostRegistry(const VTVSTHostRegistry&) = delete;
    VTVSTHostRegistry& operator=(const VTVSTHostRegistry&) = delete;

    // Main thread only: fills a fresh registry from the stored keys: the audio
    // devices (chosen among audioDevices, the audio layer's list), their
    // channels and buffer sizes, the tempo, the stored MIDI records, the
    // player keys and the learned tap message.
    void readStoredSettings(const std::vector<VTAudioDevice*>& audioDevices);

    // Main thread only: joins the MIDI layer's live devices with the stored
    // records. A known device lends its index to its record and takes the
    // record's active flag; an unknown one gets a new record.
    void mergeMidiDevices(const std::vector<VTMidiDevice*>& liveMidiDevices);

    // Main thread only. Reads a stored string or number (as int); false when
    // the key is absent or holds another type, and the output is untouched.
    bool getkeyvalue(const std::string& key, std::string* value);
    bool getkeyvalue(const std::string& key, int* value);

    // Main thread only. Stores the value and writes the domain to disk at
    // once; false when it could not be stored or written.
    bool setkeyvalue(const std::string& key, const std::string& value);
    bool setkeyvalue(const std::string& key, int value);

    // Main thread only: the first record with the device's name and
    // direction, or null.
    VTMidiDevice* getMidiDevice(const VTMidiDevice* device);

    // Main thread, or the MIDI thread when it learns a tap message: stores
    // every setting and writes the domain to disk in one step.
    void write();

    VTAudioDevice* inputDevice = nullptr;   // owned by the audio layer
    VTAudioDevice* outputDevice = nullptr;  // owned by the audio layer
    std::vector<VTMidiDevice*> midiDevices; // owned; may hold null entries
    int midiType = 2;                       // Core MIDI; never stored
    // Set by the MIDI thread from MIDI clock and tap learning, hence atomic.
    std::atomic<double> tempo{120.0};
    std::atomic<int> tempoTab{0}; // status byte * 256 + first data byte
    std::string samplePath;
    bool sampleLooped;
    bool sampleStartByMidi = false;
    bool sampleCalcTempo;
    int sampleRecordOption = 0;
    int sampleRecordMaxBars = 0;
    bool openPlayerOnStartup;
    bool startPlayerAutomatic = false;
    const std::string appId;

private:
    bool copyNumber(const char* key, double* value);
    void readAudioDevice(const std::vector<VTAudioDevice*>& audioDevices, bool input);
    void readMidiRecords();
    void readPlayerSettings();
    void storeAudioDevice(const VTAudioDevice& device, bool input);
    bool storeMidiRecord(const VTMidiDevice& record, int number);

    // Keeps two writers (main and MIDI thread) from interleaving their keys.
    std::mutex m_writeMutex;
};
