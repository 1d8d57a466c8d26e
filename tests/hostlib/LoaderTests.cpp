// Loading the plug-in bundle: entry names, the magic, exceptions, unloading
// by reference count and the instance table.
#include "ProbeHost.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

CFBundleRef openBundle(const std::string& path)
{
    CFStringRef string = CFStringCreateWithCString(nullptr, path.c_str(), kCFStringEncodingUTF8);
    CFURLRef url = CFURLCreateWithFileSystemPath(nullptr, string, kCFURLPOSIXPathStyle, true);
    CFBundleRef bundle = CFBundleCreate(nullptr, url);
    CFRelease(url);
    CFRelease(string);
    return bundle;
}

} // namespace

TEST(Loader, LoadsTheModernEntryAndRegistersTheEffectWithItsHost)
{
    probe::LoadedProbe probe("Probe");
    ASSERT_TRUE(probe.loaded);
    ASSERT_NE(probe.effect(), nullptr);
    EXPECT_EQ(probe.effect()->magic, kEffectMagic);
    EXPECT_NE(probe.lib.m_pluginHelper.m_module, nullptr);
    EXPECT_EQ(StaticHandler3::hostFor(probe.effect()), &probe.lib.m_host);

    // During the entry call the effect was not yet registered: the answers
    // that need no host were given, the time information was not.
    const probe::EntryAnswers& entry = probe.state().entry;
    EXPECT_EQ(entry.version, 2400);
    EXPECT_EQ(entry.timeInfo, 0);
    EXPECT_EQ(entry.vendorResult, 1);
    EXPECT_STREQ(entry.vendor, "Veltrane");
    EXPECT_STREQ(entry.product, "Veltrane Standalone");
}

TEST(Loader, TheHostedCallbackNamesItselfVeltraneHoster)
{
    probe::LoadedProbe probe("Probe", nullptr, nullptr, true);
    ASSERT_TRUE(probe.loaded);
    EXPECT_STREQ(probe.state().entry.product, "Veltrane Hoster");
    EXPECT_STREQ(probe.state().entry.vendor, "Veltrane");
    EXPECT_EQ(probe.state().entry.version, 2400);
}

TEST(Loader, ABundleWithOnlyTheOldEntryNameLoads)
{
    probe::LoadedProbe probe("ProbeOldEntry");
    EXPECT_TRUE(probe.loaded);
    EXPECT_NE(probe.effect(), nullptr);
}

TEST(Loader, WithoutAnyEntryTheLoadFailsButTheBundleStaysLoadedUntilUnload)
{
    VTVSTHostLib lib;
    EXPECT_FALSE(lib.loadPlugin(probe::bundlePath("ProbeNoEntry").c_str(), nullptr, nullptr, 0, false));
    EXPECT_EQ(lib.m_plugin, nullptr);
    ASSERT_NE(lib.m_pluginHelper.m_module, nullptr);
    EXPECT_TRUE(CFBundleIsExecutableLoaded(lib.m_pluginHelper.m_module));
    EXPECT_EQ(StaticHandler3::instancecounter3, 0);

    lib.unloadPlugin();
    EXPECT_EQ(lib.m_pluginHelper.m_module, nullptr);
    CFBundleRef again = openBundle(probe::bundlePath("ProbeNoEntry"));
    EXPECT_FALSE(CFBundleIsExecutableLoaded(again)); // the last reference unloaded it
    EXPECT_EQ(CFGetRetainCount(again), 1);
    CFRelease(again);
}

TEST(Loader, AWrongMagicLeavesModuleAndPluginNullAndUnloadsTheCode)
{
    VTVSTHostLib lib;
    EXPECT_FALSE(lib.loadPlugin(probe::bundlePath("ProbeWrongMagic").c_str(), nullptr, nullptr, 0, false));
    EXPECT_EQ(lib.m_plugin, nullptr);
    EXPECT_EQ(lib.m_pluginHelper.m_module, nullptr);
    EXPECT_EQ(StaticHandler3::instancecounter3, 0);
    CFBundleRef bundle = openBundle(probe::bundlePath("ProbeWrongMagic"));
    EXPECT_FALSE(CFBundleIsExecutableLoaded(bundle));
    CFRelease(bundle);
}

TEST(Loader, AnExceptionOfAnyTypeFromTheEntryIsAFailedLoad)
{
    // A throw escaping into the host's C callers would end the process.
    for (const char* name : {"ProbeThrowStd", "ProbeThrowOther"}) {
        VTVSTHostLib lib;
        EXPECT_FALSE(lib.loadPlugin(probe::bundlePath(name).c_str(), nullptr, nullptr, 0, false)) << name;
        EXPECT_EQ(lib.m_plugin, nullptr) << name;
        lib.unloadPlugin();
    }
    EXPECT_EQ(StaticHandler3::instancecounter3, 0);
}

TEST(Loader, EffOpenIsTheFirstRequestAndIsSentOnce)
{
    probe::LoadedProbe probe("Probe");
    ASSERT_TRUE(probe.loaded);
    ASSERT_EQ(probe.state().dispatches.size(), 1);
    EXPECT_EQ(probe.state().dispatches.items[0].opcode, effOpen);
}

TEST(Loader, AFrameworkPluginThatExportsOnlyMainLoadsAndIsOpened)
{
    probe::LoadedProbe probe("ProbeFramework");
    ASSERT_TRUE(probe.loaded);
    EXPECT_TRUE(probe.state().opened);
    EXPECT_EQ(probe.state().errors.size(), 0);
}

// Effects the host cannot run: each is a failed load, closed again when it
// has a dispatcher to close it with, and leaves no trace in the table.
struct Refused {
    const char* bundle;
    const char* outputs; // PROBE_OUTPUTS at load, or null
    const char* inputs;  // PROBE_INPUTS at load, or null
};

class RefusedEffects : public testing::TestWithParam<Refused> {};

TEST_P(RefusedEffects, AreAFailedLoad)
{
    const Refused refused = GetParam();
    if (refused.outputs != nullptr)
        setenv("PROBE_OUTPUTS", refused.outputs, 1);
    if (refused.inputs != nullptr)
        setenv("PROBE_INPUTS", refused.inputs, 1);
    VTVSTHostLib lib;
    const bool loaded = lib.loadPlugin(probe::bundlePath(refused.bundle).c_str(), nullptr, nullptr, 0, false);
    unsetenv("PROBE_OUTPUTS");
    unsetenv("PROBE_INPUTS");
    EXPECT_FALSE(loaded);
    EXPECT_EQ(lib.m_plugin, nullptr);
    EXPECT_EQ(lib.m_pluginHelper.m_module, nullptr);
    EXPECT_EQ(StaticHandler3::instancecounter3, 0);
}

INSTANTIATE_TEST_SUITE_P(Cases, RefusedEffects,
                         testing::Values(Refused{"ProbeNoProcess", nullptr, nullptr},
                                         Refused{"ProbeNoDispatcher", nullptr, nullptr},
                                         Refused{"Probe", "65", nullptr}, Refused{"Probe", nullptr, "65"},
                                         Refused{"Probe", "-1", nullptr}, Refused{"ProbeFramework", "65", nullptr}));

TEST(Loader, UnloadingSuspendsAndClosesOnceUnlessClosedAlready)
{
    probe::ProbeState::CloseReport report;
    {
        probe::LoadedProbe probe("ProbeFramework");
        ASSERT_TRUE(probe.loaded);
        probe.state().closeReport = &report;
        probe.lib.setBlockSizeAndRate(256, 44100.0f);
        probe.lib.resumePlugin();
        probe.lib.resumePlugin(); // never a second resume
        EXPECT_TRUE(probe.lib.isResumed());
        probe.lib.unloadPlugin();
        EXPECT_EQ(probe.lib.m_plugin, nullptr);
        EXPECT_TRUE(report.closed);
        EXPECT_FALSE(report.wasResumed);
        EXPECT_EQ(report.errors, 0);
        // The scope's own unload finds nothing left to close.
    }

    // Closed by the shut-down sequence first: unloading does not close again.
    report = {};
    probe::LoadedProbe probe("ProbeFramework");
    ASSERT_TRUE(probe.loaded);
    probe.state().closeReport = &report;
    probe.lib.closePlugin();
    ASSERT_TRUE(report.closed);
    report.closed = false;
    probe.lib.unloadPlugin();
    EXPECT_FALSE(report.closed);

    // Nor does the library's end when nobody unloaded it.
    report = {};
    {
        VTVSTHostLib lib;
        ASSERT_TRUE(lib.loadPlugin(probe::bundlePath("Probe").c_str(), nullptr, nullptr, 0, false));
        probe::stateOf(lib.m_plugin)->closeReport = &report;
    }
    EXPECT_TRUE(report.closed);
    EXPECT_EQ(StaticHandler3::instancecounter3, 0);
}

TEST(Loader, MissingBundlesAndPathsFail)
{
    VTVSTHostLib lib;
    EXPECT_FALSE(lib.loadPlugin(probe::bundlePath("NoSuchPlugin").c_str(), nullptr, nullptr, 0, false));
    EXPECT_EQ(lib.m_pluginHelper.m_module, nullptr);
    EXPECT_FALSE(lib.loadPlugin(nullptr, nullptr, nullptr, 0, false));
    EXPECT_FALSE(lib.loadPlugin("bad \x80 utf8", nullptr, nullptr, 0, false));
}

TEST(Loader, UnloadKeepsTheCodeWhileSomeoneElseHoldsTheBundle)
{
    CFBundleRef held = openBundle(probe::bundlePath("Probe"));
    ASSERT_NE(held, nullptr);
    {
        probe::LoadedProbe probe("Probe");
        ASSERT_TRUE(probe.loaded);
        EXPECT_EQ(CFGetRetainCount(held), 2);
    } // closed and unloaded here
    EXPECT_EQ(CFGetRetainCount(held), 1);
    EXPECT_TRUE(CFBundleIsExecutableLoaded(held));
    CFBundleUnloadExecutable(held);
    CFRelease(held);
}

TEST(Loader, TheShellIdIsKeptProcessWideAndAnsweredToOpcodeTwo)
{
    VTVSTHostLib lib;
    ASSERT_TRUE(lib.loadPlugin(probe::bundlePath("Probe").c_str(), nullptr, nullptr, 1234, false));
    EXPECT_EQ(shellPluginId, 1234);
    EXPECT_EQ(probe::stateOf(lib.m_plugin)->host(lib.m_plugin, audioMasterCurrentId, 0, 0, nullptr, 0), 1234);
    probe::close(lib);
    shellPluginId = 0;
}

TEST(InstanceTable, GrowsAndShrinksAcrossSeveralHosts)
{
    ASSERT_EQ(StaticHandler3::instancecounter3, 0);
    std::unique_ptr<probe::LoadedProbe> hosts[3];
    for (int i = 0; i < 3; ++i) {
        hosts[i] = std::make_unique<probe::LoadedProbe>("Probe");
        ASSERT_TRUE(hosts[i]->loaded);
        EXPECT_EQ(StaticHandler3::instancecounter3, i + 1);
    }
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(StaticHandler3::classlist3[i], &hosts[i]->lib.m_host);
        EXPECT_EQ(StaticHandler3::identlist3[i], hosts[i]->effect());
    }

    // Removing the middle host closes the gap, keeping the order.
    AEffect* last = hosts[2]->effect();
    hosts[1].reset();
    ASSERT_EQ(StaticHandler3::instancecounter3, 2);
    EXPECT_EQ(StaticHandler3::classlist3[0], &hosts[0]->lib.m_host);
    EXPECT_EQ(StaticHandler3::classlist3[1], &hosts[2]->lib.m_host);
    EXPECT_EQ(StaticHandler3::identlist3[1], last);
    // The remaining effects still find their own hosts.
    EXPECT_EQ(hosts[2]->callHost(audioMasterGetTime), reinterpret_cast<VstIntPtr>(&hosts[2]->lib.m_host.m_vstTimeInfo));

    hosts[0].reset();
    hosts[2].reset();
    EXPECT_EQ(StaticHandler3::instancecounter3, 0);
    EXPECT_EQ(StaticHandler3::classlist3, nullptr);
    EXPECT_EQ(StaticHandler3::identlist3, nullptr);
}
