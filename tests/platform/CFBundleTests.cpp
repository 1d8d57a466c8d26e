// Bundles: Info.plist, the shared object per folder, loading code.
#include <CoreFoundation/CoreFoundation.h>

#include <plist/plist.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace fs = std::filesystem;

namespace {

CFBundleRef createBundle(const std::string& path)
{
    CFStringRef string = CFStringCreateWithCString(nullptr, path.c_str(), kCFStringEncodingUTF8);
    CFURLRef url = CFURLCreateWithFileSystemPath(nullptr, string, kCFURLPOSIXPathStyle, true);
    CFRelease(string);
    CFBundleRef bundle = CFBundleCreate(nullptr, url);
    CFRelease(url);
    return bundle;
}

std::string infoString(CFBundleRef bundle, CFStringRef key)
{
    CFTypeRef value = CFBundleGetValueForInfoDictionaryKey(bundle, key);
    if (value == nullptr || CFGetTypeID(value) != CFStringGetTypeID())
        return "<absent>";
    char buffer[256];
    return CFStringGetCString(static_cast<CFStringRef>(value), buffer, sizeof buffer, kCFStringEncodingUTF8)
               ? buffer
               : "<unconvertible>";
}

std::string probePath(const char* name)
{
    return std::string(KINDRA_FIXTURES_DIR) + "/" + name + ".vst";
}

} // namespace

TEST(CFBundle, ReadsInfoPlistOfABundleFolder)
{
    CFBundleRef bundle = createBundle(probePath("Probe"));
    ASSERT_NE(bundle, nullptr);
    EXPECT_EQ(infoString(bundle, kCFBundleNameKey), "Probe");
    EXPECT_EQ(infoString(bundle, kCFBundleExecutableKey), "Probe");
    EXPECT_EQ(infoString(bundle, CFSTR("NoSuchKey")), "<absent>");
    CFRelease(bundle);
}

TEST(CFBundle, CreatingTwiceGivesTheSameObjectWithOneMoreReference)
{
    CFBundleRef first = createBundle(probePath("Probe"));
    CFBundleRef second = createBundle(probePath("Probe") + "/");
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first, second);
    EXPECT_EQ(CFGetRetainCount(first), 2);
    CFRelease(second);
    EXPECT_EQ(CFGetRetainCount(first), 1);
    CFRelease(first);

    // Once the last reference went, a new create starts afresh.
    CFBundleRef again = createBundle(probePath("Probe"));
    EXPECT_EQ(CFGetRetainCount(again), 1);
    CFRelease(again);
}

TEST(CFBundle, LoadsTheExecutableAndFindsFunctionsByName)
{
    CFBundleRef bundle = createBundle(probePath("ProbeOldEntry"));
    ASSERT_NE(bundle, nullptr);
    EXPECT_FALSE(CFBundleIsExecutableLoaded(bundle));
    ASSERT_TRUE(CFBundleLoadExecutable(bundle));
    EXPECT_TRUE(CFBundleIsExecutableLoaded(bundle));
    EXPECT_NE(CFBundleGetFunctionPointerForName(bundle, CFSTR("main_macho")), nullptr);
    EXPECT_EQ(CFBundleGetFunctionPointerForName(bundle, CFSTR("VSTPluginMain")), nullptr);
    CFBundleUnloadExecutable(bundle);
    EXPECT_FALSE(CFBundleIsExecutableLoaded(bundle));
    CFRelease(bundle);
}

TEST(CFBundle, MissingFoldersAndExecutablesFailCleanly)
{
    EXPECT_EQ(createBundle(probePath("NoSuchProbe")), nullptr);

    // A folder without Info.plist or code is a bundle whose code cannot load.
    fs::path folder = fs::temp_directory_path() / "kindra-empty-bundle.vst";
    fs::create_directories(folder / "Contents");
    CFBundleRef empty = createBundle(folder.string());
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(CFDictionaryGetCount(CFBundleGetInfoDictionary(empty)), 0);
    EXPECT_FALSE(CFBundleLoadExecutable(empty));
    EXPECT_EQ(CFBundleGetFunctionPointerForName(empty, CFSTR("VSTPluginMain")), nullptr);
    CFRelease(empty);
    fs::remove_all(folder);
}

TEST(CFBundle, ReadsABinaryInfoPlist)
{
    fs::path folder = fs::temp_directory_path() / "kindra-binary-plist.vst";
    fs::create_directories(folder / "Contents");
    plist_t dict = plist_new_dict();
    plist_dict_set_item(dict, "CFBundleName", plist_new_string("Binary"));
    plist_dict_set_item(dict, "Count", plist_new_uint(3));
    char* bytes = nullptr;
    uint32_t length = 0;
    plist_to_bin(dict, &bytes, &length);
    FILE* file = std::fopen((folder / "Contents/Info.plist").c_str(), "wb");
    ASSERT_NE(file, nullptr);
    std::fwrite(bytes, 1, length, file);
    std::fclose(file);
    plist_to_bin_free(bytes);
    plist_free(dict);

    CFBundleRef bundle = createBundle(folder.string());
    ASSERT_NE(bundle, nullptr);
    EXPECT_EQ(infoString(bundle, kCFBundleNameKey), "Binary");
    SInt32 count = 0;
    auto number = static_cast<CFNumberRef>(CFBundleGetValueForInfoDictionaryKey(bundle, CFSTR("Count")));
    ASSERT_TRUE(CFNumberGetValue(number, kCFNumberSInt32Type, &count));
    EXPECT_EQ(count, 3);
    CFRelease(bundle);
    fs::remove_all(folder);
}

TEST(CFBundle, MainBundleOfABareExecutableIsItsFolder)
{
    CFBundleRef main = CFBundleGetMainBundle();
    ASSERT_NE(main, nullptr);
    EXPECT_EQ(main, CFBundleGetMainBundle());
    CFURLRef plugins = CFBundleCopyBuiltInPlugInsURL(main);
    UInt8 path[4096];
    ASSERT_TRUE(CFURLGetFileSystemRepresentation(plugins, true, path, sizeof path));
    fs::path expected = fs::read_symlink("/proc/self/exe").parent_path() / "Contents/PlugIns";
    EXPECT_EQ(std::string(reinterpret_cast<char*>(path)), expected.string());
    CFRelease(plugins);
}
