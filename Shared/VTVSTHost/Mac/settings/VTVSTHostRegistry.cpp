#include "VTVSTHostRegistry.h"

#include <CoreFoundation/CoreFoundation.h>

#include <cmath>
#include <optional>

namespace {

// Device records of the Core Audio family; other stored families are not
// ours to restore.
constexpr int kCoreAudioType = 16;
constexpr int kDefaultBufferSize = 1024;

// Owns one +1 Core Foundation reference.
class CFRef {
public:
    explicit CFRef(CFTypeRef ref = nullptr) : m_ref(ref) {}
    ~CFRef()
    {
        if (m_ref != nullptr)
            CFRelease(m_ref);
    }
    CFRef(const CFRef&) = delete;
    CFRef& operator=(const CFRef&) = delete;
    CFTypeRef get() const { return m_ref; }
    explicit operator bool() const { return m_ref != nullptr; }

private:
    CFTypeRef m_ref;
};

CFStringRef createString(const std::string& text)
{
    return CFStringCreateWithCString(nullptr, text.c_str(), CFStringGetSystemEncoding());
}

std::optional<std::string> stringValue(CFTypeRef value)
{
    if (value == nullptr || CFGetTypeID(value) != CFStringGetTypeID())
        return std::nullopt;
    auto string = static_cast<CFStringRef>(value);
    CFStringEncoding encoding = CFStringGetSystemEncoding();
    if (const char* direct = CFStringGetCStringPtr(string, encoding))
        return std::string(direct);
    std::string buffer(static_cast<size_t>(CFStringGetMaximumSizeForEncoding(CFStringGetLength(string), encoding)) + 1,
                       '\0');
    if (!CFStringGetCString(string, buffer.data(), static_cast<CFIndex>(buffer.size()), encoding))
        return std::nullopt;
    buffer.resize(std::char_traits<char>::length(buffer.c_str()));
    return buffer;
}

// Numbers are read as int; anything else counts as absent.
std::optional<int> intValue(CFTypeRef value)
{
    if (value == nullptr || CFGetTypeID(value) != CFNumberGetTypeID())
        return std::nullopt;
    int result = 0;
    // A value that is not a whole int still yields its nearest int.
    CFNumberGetValue(static_cast<CFNumberRef>(value), kCFNumberIntType, &result);
    return result;
}

CFTypeRef copyStored(const std::string& key, const std::string& appId)
{
    CFRef cfKey(createString(key));
    CFRef domain(createString(appId));
    if (!cfKey || !domain)
        return nullptr;
    return CFPreferencesCopyAppValue(static_cast<CFStringRef>(cfKey.get()), static_cast<CFStringRef>(domain.get()));
}

bool store(const std::string& key, CFTypeRef value, const std::string& appId)
{
    CFRef cfKey(createString(key));
    CFRef domain(createString(appId));
    if (!cfKey || !domain || value == nullptr)
        return false;
    CFPreferencesSetAppValue(static_cast<CFStringRef>(cfKey.get()), value, static_cast<CFStringRef>(domain.get()));
    return true;
}

bool synchronize(const std::string& appId)
{
    CFRef domain(createString(appId));
    return domain && CFPreferencesAppSynchronize(static_cast<CFStringRef>(domain.get()));
}

CFNumberRef createInt32(int32_t value)
{
    return CFNumberCreate(nullptr, kCFNumberSInt32Type, &value);
}

bool storeInt(const std::string& key, int value, const std::string& appId)
{
    CFRef number(createInt32(value));
    return store(key, number.get(), appId);
}

bool storeString(const std::string& key, const std::string& value, const std::string& appId)
{
    CFRef string(createString(value));
    return store(key, string.get(), appId);
}

// Dictionary entries of a stored MIDI record.
void readFlag(CFDictionaryRef dict, const char* key, std::atomic<bool>& field)
{
    const void* value = nullptr;
    if (CFDictionaryGetValueIfPresent(dict, __CFStringMakeConstantString(key), &value))
        field = value == kCFBooleanTrue;
}

void readInt(CFDictionaryRef dict, const char* key, std::atomic<int32_t>& field)
{
    if (auto number = intValue(CFDictionaryGetValue(dict, __CFStringMakeConstantString(key))))
        field = *number;
}

bool setInt(CFMutableDictionaryRef dict, const char* key, int32_t value)
{
    CFRef number(createInt32(value));
    if (!number)
        return false;
    CFDictionarySetValue(dict, __CFStringMakeConstantString(key), number.get());
    return true;
}

void setFlag(CFMutableDictionaryRef dict, const char* key, bool value)
{
    CFDictionarySetValue(dict, __CFStringMakeConstantString(key), value ? kCFBooleanTrue : kCFBooleanFalse);
}

} // namespace

VTVSTHostRegistry::VTVSTHostRegistry(const std::string& bundleName, bool isSynth)
    : sampleLooped(!isSynth), sampleCalcTempo(!isSynth), openPlayerOnStartup(!isSynth),
      appId("com.veltrane." + bundleName)
{
}

VTVSTHostRegistry::~VTVSTHostRegistry()
{
    for (VTMidiDevice* record : midiDevices)
        delete record;
}

bool VTVSTHostRegistry::getkeyvalue(const std::string& key, std::string* value)
{
    CFRef stored(copyStored(key, appId));
    auto text = stringValue(stored.get());
    if (!text || value == nullptr)
        return false;
    *value = std::move(*text);
    return true;
}

bool VTVSTHostRegistry::getkeyvalue(const std::string& key, int* value)
{
    CFRef stored(copyStored(key, appId));
    auto number = intValue(stored.get());
    if (!number || value == nullptr)
        return false;
    *value = *number;
    return true;
}

bool VTVSTHostRegistry::setkeyvalue(const std::string& key, const std::string& value)
{
    return storeString(key, value, appId) && synchronize(appId);
}

bool VTVSTHostRegistry::setkeyvalue(const std::string& key, int value)
{
    return storeInt(key, value, appId) && synchronize(appId);
}

VTMidiDevice* VTVSTHostRegistry::getMidiDevice(const VTMidiDevice* device)
{
    if (device == nullptr)
        return nullptr;
    for (VTMidiDevice* record : midiDevices) {
        if (record != nullptr && record->name == device->name && record->in == device->in)
            return record;
    }
    return nullptr;
}

bool VTVSTHostRegistry::copyNumber(const char* key, double* value)
{
    CFRef stored(copyStored(key, appId));
    if (!stored || CFGetTypeID(stored.get()) != CFNumberGetTypeID())
        return false;
    CFNumberGetValue(static_cast<CFNumberRef>(stored.get()), kCFNumberFloat64Type, value);
    return true;
}

void VTVSTHostRegistry::readStoredSettings(const std::vector<VTAudioDevice*>& audioDevices)
{
    // ---- audio devices and tempo, only for settings of our driver family
    int deviceType = 0;
    if (getkeyvalue("AudioDeviceType", &deviceType) && deviceType == kCoreAudioType) {
        readAudioDevice(audioDevices, true);
        readAudioDevice(audioDevices, false);
        double stored = 0;
        // A tempo that no transport can run at is no setting.
        if (copyNumber("Tempo", &stored) && std::isfinite(stored) && stored > 0)
            tempo = stored;
    }
    readMidiRecords();
    readPlayerSettings();
}

void VTVSTHostRegistry::readAudioDevice(const std::vector<VTAudioDevice*>& audioDevices, bool input)
{
    const std::string prefix = input ? "AudioDeviceIn " : "AudioDeviceOut ";
    std::string name;
    if (!getkeyvalue(prefix + "Name", &name))
        return;
    VTAudioDevice* chosen = nullptr;
    for (VTAudioDevice* device : audioDevices) {
        if (device != nullptr && device->isInput == input && device->type == kCoreAudioType && device->name == name) {
            chosen = device;
            break;
        }
    }
    if (chosen == nullptr)
        return;
    (input ? inputDevice : outputDevice) = chosen;

    // A channel the device does not have would make the audio layer read
    // past its buffers, so such a stored value is ignored.
    auto usableChannel = [&](int channel) {
        return channel >= 0 && (chosen->channels == 0 || channel < chosen->channels);
    };
    int channel = 0;
    if (getkeyvalue(prefix + "Left", &channel) && usableChannel(channel))
        chosen->left = static_cast<uint32_t>(channel);
    if (getkeyvalue(prefix + "Right", &channel) && usableChannel(channel))
        chosen->right = static_cast<uint32_t>(channel);
    int bufferSize = 0;
    if (!getkeyvalue(prefix + "BufferSize", &bufferSize) || bufferSize <= 0)
        bufferSize = kDefaultBufferSize;
    chosen->bufferSize = static_cast<uint32_t>(bufferSize);
}

void VTVSTHostRegistry::readMidiRecords()
{
    for (int number = 0;; ++number) {
        CFRef stored(copyStored("Midi Device " + std::to_string(number), appId));
        if (!stored || CFGetTypeID(stored.get()) != CFDictionaryGetTypeID())
            return;
        auto dict = static_cast<CFDictionaryRef>(stored.get());
        // The record defaults: no index, Core MIDI, empty name, flags off,
        // full keyboard range.
        auto* record = new VTMidiDevice;
        if (auto name = stringValue(CFDictionaryGetValue(dict, CFSTR("name"))))
            record->name = *name;
        const void* in = nullptr;
        if (CFDictionaryGetValueIfPresent(dict, CFSTR("in"), &in))
            record->in = in == kCFBooleanTrue;
        readFlag(dict, "active", record->active);
        readFlag(dict, "sync", record->sync);
        readFlag(dict, "syncWhilePlaying", record->syncWhilePlaying);
        readInt(dict, "delay", record->delay);
        readFlag(dict, "filterCCMessages", record->filterCCMessages);
        readFlag(dict, "filterProgramChanges", record->filterProgramChanges);
        readInt(dict, "channel", record->channel);
        readInt(dict, "keyboardRangeLeft", record->keyboardRangeLeft);
        readInt(dict, "keyboardRangeRight", record->keyboardRangeRight);
        midiDevices.push_back(record);
    }
}

void VTVSTHostRegistry::readPlayerSettings()
{
    getkeyvalue("samplePath", &samplePath);
    int value = 0;
    auto readBool = [&](const char* key, bool& field) {
        if (getkeyvalue(key, &value))
            field = value != 0;
    };
    readBool("sampleLooped", sampleLooped);
    readBool("sampleStartByMidi", sampleStartByMidi);
    readBool("sampleCalcTempo", sampleCalcTempo);
    getkeyvalue("sampleRecordOption", &sampleRecordOption);
    getkeyvalue("sampleRecordMaxBars", &sampleRecordMaxBars);
    readBool("openPlayerOnStartup", openPlayerOnStartup);
    readBool("startPlayerAutomatic", startPlayerAutomatic);
    if (getkeyvalue("tempoTab", &value))
        tempoTab = value;
}

void VTVSTHostRegistry::mergeMidiDevices(const std::vector<VTMidiDevice*>& liveMidiDevices)
{
    for (VTMidiDevice* live : liveMidiDevices) {
        if (live == nullptr)
            continue;
        if (VTMidiDevice* record = getMidiDevice(live)) {
            record->index = live->index;
            live->active = record->active.load();
            continue;
        }
        auto* record = new VTMidiDevice;
        record->index = live->index;
        record->type = live->type;
        record->name = live->name;
        record->in = live->in;
        record->active = live->active.load();
        midiDevices.push_back(record);
    }
}

void VTVSTHostRegistry::write()
{
    std::lock_guard<std::mutex> lock(m_writeMutex);
    // Every key is stored first and the domain written once, so the file
    // moves from one complete set of settings to the next.
    if (inputDevice != nullptr)
        storeAudioDevice(*inputDevice, true);
    if (outputDevice != nullptr)
        storeAudioDevice(*outputDevice, false);

    double currentTempo = tempo;
    CFRef tempoNumber(CFNumberCreate(nullptr, kCFNumberFloat64Type, &currentTempo));
    store("Tempo", tempoNumber.get(), appId);

    // Numbers count only the records stored, so the reader, which stops at
    // the first missing number, finds them all.
    int number = 0;
    for (const VTMidiDevice* record : midiDevices) {
        if (record != nullptr && storeMidiRecord(*record, number))
            ++number;
    }

    storeString("samplePath", samplePath, appId);
    storeInt("sampleLooped", sampleLooped ? 1 : 0, appId);
    storeInt("sampleStartByMidi", sampleStartByMidi ? 1 : 0, appId);
    storeInt("sampleCalcTempo", sampleCalcTempo ? 1 : 0, appId);
    storeInt("sampleRecordOption", sampleRecordOption, appId);
    storeInt("sampleRecordMaxBars", sampleRecordMaxBars, appId);
    storeInt("openPlayerOnStartup", openPlayerOnStartup ? 1 : 0, appId);
    storeInt("startPlayerAutomatic", startPlayerAutomatic ? 1 : 0, appId);
    storeInt("tempoTab", tempoTab, appId);
    synchronize(appId);
}

void VTVSTHostRegistry::storeAudioDevice(const VTAudioDevice& device, bool input)
{
    const std::string prefix = input ? "AudioDeviceIn " : "AudioDeviceOut ";
    storeInt("AudioDeviceType", static_cast<int>(device.type), appId);
    storeString(prefix + "Name", device.name, appId);
    storeInt(prefix + "Left", static_cast<int>(device.left.load()), appId);
    storeInt(prefix + "Right", static_cast<int>(device.right.load()), appId);
    storeInt(prefix + "BufferSize", static_cast<int>(device.bufferSize), appId);
}

bool VTVSTHostRegistry::storeMidiRecord(const VTMidiDevice& record, int number)
{
    CFRef name(createString(record.name));
    CFMutableDictionaryRef dict =
        CFDictionaryCreateMutable(nullptr, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks);
    CFRef dictHolder(dict);
    if (!name || dict == nullptr)
        return false;
    CFDictionarySetValue(dict, CFSTR("name"), name.get());
    setFlag(dict, "in", record.in);
    setFlag(dict, "active", record.active);
    setFlag(dict, "sync", record.sync);
    setFlag(dict, "syncWhilePlaying", record.syncWhilePlaying);
    setFlag(dict, "filterCCMessages", record.filterCCMessages);
    setFlag(dict, "filterProgramChanges", record.filterProgramChanges);
    if (!setInt(dict, "delay", record.delay) || !setInt(dict, "channel", record.channel) ||
        !setInt(dict, "keyboardRangeLeft", record.keyboardRangeLeft) ||
        !setInt(dict, "keyboardRangeRight", record.keyboardRangeRight))
        return false;
    return store("Midi Device " + std::to_string(number), dict, appId);
}
