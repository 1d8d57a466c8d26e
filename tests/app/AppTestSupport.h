// The application as a test runs it: a home folder of its own, a virtual
// audio interface that is the system default, the scripted user for
// alerts and keys, and the main interface built the way the program builds
// it. Each test program lies in a bundle folder of its own whose
// Info.plist names the plug-in it finds in Contents/PlugIns.
#pragma once

#include "MainInterface.h"
#include "VTScriptedUser.h"
#include "VTTemporaryFolder.h"
#include "VTVSTHostRegistry.h"
#include "VTVirtualAudio.h"
#include "VTVirtualMidi.h"

#include <CoreFoundation/CoreFoundation.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace apptest {

namespace fs = std::filesystem;

// What the application shows of one plug-in request.
struct Request {
    VstInt32 opcode;
    VstInt32 index;
    VstIntPtr value;
    float opt;
    std::string text; // the capability of effCanDo
    bool operator==(const Request&) const = default;
};

inline void PrintTo(const Request& r, std::ostream* out)
{
    *out << "{" << r.opcode << ", " << r.index << ", " << r.value << ", " << r.opt << ", \"" << r.text << "\"}";
}

// Records every request the main thread sends the plug-in from now on,
// past effClose (after which the plug-in's own records are gone).
class RequestSpy {
public:
    explicit RequestSpy(AEffect* effect)
        : m_effect(effect), m_original(effect->dispatcher), m_main(std::this_thread::get_id())
    {
        s_spy = this;
        effect->dispatcher = &RequestSpy::dispatch;
    }
    ~RequestSpy() { s_spy = nullptr; }
    RequestSpy(const RequestSpy&) = delete;
    RequestSpy& operator=(const RequestSpy&) = delete;

    std::vector<Request> requests;

private:
    static VstIntPtr dispatch(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt)
    {
        RequestSpy* spy = s_spy;
        if (spy->m_main == std::this_thread::get_id()) {
            std::string text = opcode == effCanDo && ptr != nullptr ? static_cast<const char*>(ptr) : "";
            spy->requests.push_back({opcode, index, value, opt, text});
        }
        return spy->m_original(effect, opcode, index, value, ptr, opt);
    }

    AEffect* m_effect;
    AEffectDispatcherProc m_original;
    std::thread::id m_main;
    static inline RequestSpy* s_spy = nullptr;
};

// Ends a loop that the application failed to end, so the test fails
// instead of hanging.
struct GiveUp : NSObject {
    bool fired = false;
    void fire(NSTimer*)
    {
        fired = true;
        NSApp->terminate(nil);
    }
};

class KindraApp : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(home.valid());
        vt::testing::VirtualAudioDeviceSpec spec;
        spec.name = "Studio Interface";
        spec.inputBuffers = {2};
        spec.outputBuffers = {2};
        spec.sampleRate = 48000;
        spec.bufferFrameSize = 256;
        studio = audioWorld.addDevice(spec);
        audioWorld.setDefaultDevices(studio, studio);
    }
    void TearDown() override { app.reset(); }

    // --- the program's steps
    void launch() { app = std::make_unique<MainInterface>(); }
    // The application's first activation (as the window system reports it).
    void activate()
    {
        NSNotificationCenter::defaultCenter()->postNotificationName(NSApplicationWillBecomeActiveNotification, NSApp);
    }
    // The application's will-terminate notification, without ending this
    // process's one application object.
    void quit()
    {
        NSNotificationCenter::defaultCenter()->postNotificationName(NSApplicationWillTerminateNotification, NSApp);
    }
    PluginWindow& window() { return app->window(); }
    AEffect* effect() { return window().getHostLib()->m_plugin; }

    // --- the stored settings, as an earlier run left them
    const std::string domain = "com.veltrane." + bundleName();
    static std::string bundleName()
    {
        NSString name = NSBundle::mainBundle()->objectForInfoDictionaryKey("CFBundleName");
        return name.utf8();
    }
    void store(const char* key, CFPropertyListRef value)
    {
        CFStringRef cfKey = CFStringCreateWithCString(nullptr, key, kCFStringEncodingUTF8);
        CFStringRef cfDomain = CFStringCreateWithCString(nullptr, domain.c_str(), kCFStringEncodingUTF8);
        CFPreferencesSetAppValue(cfKey, value, cfDomain);
        ASSERT_TRUE(CFPreferencesAppSynchronize(cfDomain));
        CFRelease(cfKey);
        CFRelease(cfDomain);
        CFRelease(value);
        vt::testing::forgetPreferencesInMemory();
    }
    void storeInt(const char* key, int value) { store(key, CFNumberCreate(nullptr, kCFNumberIntType, &value)); }
    void storeDouble(const char* key, double value)
    {
        store(key, CFNumberCreate(nullptr, kCFNumberFloat64Type, &value));
    }
    void storeString(const char* key, const std::string& value)
    {
        store(key, CFStringCreateWithCString(nullptr, value.c_str(), kCFStringEncodingUTF8));
    }
    // A stored MIDI input record with its flags.
    void storeMidiInput(int number, const std::string& name, bool active, bool sync)
    {
        CFMutableDictionaryRef record =
            CFDictionaryCreateMutable(nullptr, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks);
        CFStringRef cfName = CFStringCreateWithCString(nullptr, name.c_str(), kCFStringEncodingUTF8);
        CFDictionarySetValue(record, CFSTR("name"), cfName);
        CFRelease(cfName);
        CFDictionarySetValue(record, CFSTR("in"), kCFBooleanTrue);
        CFDictionarySetValue(record, CFSTR("active"), active ? kCFBooleanTrue : kCFBooleanFalse);
        CFDictionarySetValue(record, CFSTR("sync"), sync ? kCFBooleanTrue : kCFBooleanFalse);
        store(("Midi Device " + std::to_string(number)).c_str(), record);
    }
    // A stored string as a new run reads it; empty when absent.
    std::string storedString(const char* key)
    {
        vt::testing::forgetPreferencesInMemory();
        CFStringRef cfKey = CFStringCreateWithCString(nullptr, key, kCFStringEncodingUTF8);
        CFStringRef cfDomain = CFStringCreateWithCString(nullptr, domain.c_str(), kCFStringEncodingUTF8);
        CFPropertyListRef value = CFPreferencesCopyAppValue(cfKey, cfDomain);
        CFRelease(cfKey);
        CFRelease(cfDomain);
        std::string text;
        if (value != nullptr && CFGetTypeID(value) == CFStringGetTypeID()) {
            char buffer[1024] = {};
            if (CFStringGetCString(static_cast<CFStringRef>(value), buffer, sizeof buffer, kCFStringEncodingUTF8))
                text = buffer;
        }
        if (value != nullptr)
            CFRelease(value);
        return text;
    }

    // --- the plug-in's state file in the support folder "contentpath" names
    fs::path contentFolder() const { return home.path() / "Library/Application Support/Veltrane/Kindra"; }
    void useContentFolder()
    {
        fs::create_directories(contentFolder());
        storeString("contentpath", contentFolder().string() + "/");
    }
    fs::path chunkFile() const { return contentFolder() / "saved.chunk"; }
    static void writeBytes(const fs::path& path, const std::string& bytes)
    {
        std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
    }
    static std::string readBytes(const fs::path& path)
    {
        std::ifstream file(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    }

    vt::testing::TemporaryHome home;
    vt::testing::VirtualAudioWorld audioWorld;
    vt::testing::VirtualMidi midiWorld;
    AudioObjectID studio = 0;
    vt::testing::ScriptedUser user;
    std::unique_ptr<MainInterface> app;
};

} // namespace apptest
