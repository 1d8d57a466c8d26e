// Feeds arbitrary bytes to the settings store as its preferences file, as a
// property list edited or damaged outside Kindra: every stored setting,
// the audio device choice and the "Midi Device " records are read from it.
#include "VTPreferencesTesting.h"
#include "VTVSTHostRegistry.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace {

// A home of the fuzzer's own, made once: nothing touches the real one.
const std::string& preferencesFile()
{
    static const std::string file = [] {
        char home[] = "/tmp/kindra-fuzz-preferences-XXXXXX";
        if (mkdtemp(home) == nullptr)
            std::abort();
        setenv("HOME", home, 1);
        const std::string library = std::string(home) + "/Library";
        mkdir(library.c_str(), 0700);
        mkdir((library + "/Preferences").c_str(), 0700);
        return library + "/Preferences/com.veltrane.Fuzz.plist";
    }();
    return file;
}

// Device entries the stored names and channels are matched against.
std::vector<VTAudioDevice*>& audioDevices()
{
    static VTAudioDevice input;
    static VTAudioDevice output;
    static std::vector<VTAudioDevice*> devices = [] {
        input.name = output.name = "Interface";
        input.isInput = true;
        input.channels = output.channels = 2;
        output.sampleRate = 48000;
        input.bufferSize = output.bufferSize = 512;
        return std::vector<VTAudioDevice*>{&input, &output};
    }();
    return devices;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FILE* file = std::fopen(preferencesFile().c_str(), "wb");
    if (file == nullptr)
        return 0;
    if (size > 0)
        std::fwrite(data, 1, size, file);
    std::fclose(file);
    vt::testing::forgetPreferencesInMemory();

    VTVSTHostRegistry registry("Fuzz", false);
    registry.readStoredSettings(audioDevices());
    std::string text;
    int number = 0;
    registry.getkeyvalue("contentpath", &text);
    registry.getkeyvalue("InstrumentsPath", &text);
    registry.getkeyvalue("tempoTab", &number);
    // Whatever was read is a usable choice of the entries given.
    for (VTAudioDevice* chosen : {registry.inputDevice, registry.outputDevice})
        if (chosen != nullptr && chosen != audioDevices()[0] && chosen != audioDevices()[1])
            __builtin_trap();
    return 0;
}
