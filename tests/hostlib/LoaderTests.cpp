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

TEST(Loader, AStandardExceptionFromTheEntryIsAFailedLoadAndAnyOtherPassesThrough)
{
    VTVSTHostLib lib;
    EXPECT_FALSE(lib.loadPlugin(probe::bundlePath("ProbeThrowStd").c_str(), nullptr, nullptr, 0, false));
    EXPECT_EQ(lib.m_plugin, nullptr);
    lib.unloadPlugin();

    VTVSTHostLib other;
    EXPECT_THROW(other.loadPlugin(probe::bundlePath("ProbeThrowOther").c_str(), nullptr, nullptr, 0, false), int);
    EXPECT_EQ(other.m_plugin, nullptr);
    other.unloadPlugin();
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
