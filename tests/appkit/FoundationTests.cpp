// The Foundation stand-in: formatting, paths, files, defaults, dates and
// the scanner.
#include <CoreFoundation/CoreFoundation.h>
#include <Foundation/Foundation.h>

#include "VTPreferencesTesting.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <string>

namespace fs = std::filesystem;

TEST(StringFormat, FormatsTheSystemsTextsAndGivesNilOnAMismatch)
{
    NSString plugins("/opt/veltrane/Kindra.app/Contents/PlugIns");
    EXPECT_EQ(NSString::stringWithFormat("%@/%@.vst", plugins, NSString("Kindra")).utf8(),
              "/opt/veltrane/Kindra.app/Contents/PlugIns/Kindra.vst");
    EXPECT_EQ(NSString::stringWithFormat("%@ | Tempo: %.2f", NSString("Kindra"), 123.456).utf8(),
              "Kindra | Tempo: 123.46");
    EXPECT_EQ(NSString::stringWithFormat("C#%d", -2).utf8(), "C#-2");
    EXPECT_EQ(NSString::stringWithFormat("%d:0%d / max:", 1, 5).utf8(), "1:05 / max:");
    EXPECT_EQ(NSString::stringWithFormat("%s", "Keystation").utf8(), "Keystation");
    EXPECT_EQ(NSString::stringWithFormat("CC %d 100%%", 7u).utf8(), "CC 7 100%");
    EXPECT_TRUE(NSString::stringWithFormat("%d", 1.5).isNil());      // a double for %d
    EXPECT_TRUE(NSString::stringWithFormat("%@", 3).isNil());        // a number for %@
    EXPECT_TRUE(NSString::stringWithFormat("%d and %d", 1).isNil()); // too few
    EXPECT_TRUE(NSString::stringWithUTF8String("\xC3\x28").isNil()); // not UTF-8
    EXPECT_TRUE(NSString::stringWithUTF8String(nullptr).isNil());
}

TEST(StringPath, SplitsPathsAndCountsUtf16Units)
{
    NSString path("/samples/drums/loop.wav");
    EXPECT_EQ(path.lastPathComponent(), NSString("loop.wav"));
    EXPECT_EQ(path.stringByDeletingLastPathComponent(), NSString("/samples/drums"));
    EXPECT_EQ(path.pathExtension(), NSString("wav"));
    EXPECT_EQ(NSString("/Kindra").stringByDeletingLastPathComponent(), NSString("/"));
    EXPECT_EQ(NSString(".hidden").pathExtension(), NSString(""));
    // An up-arrow character is one UTF-16 unit, three UTF-8 bytes.
    NSString arrow("\xEF\x9C\x80");
    EXPECT_EQ(arrow.length(), 1u);
    EXPECT_EQ(arrow.characterAtIndex(0), 0xF700);
}

TEST(FileManager, EnumeratesWithoutHiddenFilesAndMovesWithoutOverwriting)
{
    fs::path root = fs::path(NSHomeDirectory().utf8()) / "filemanager-test";
    fs::remove_all(root);
    fs::create_directories(root / "sub" / ".hiddenfolder");
    for (const char* name : {"a.wav", ".DS_Store", "sub/b.aif", "sub/.hiddenfolder/c.wav"})
        std::ofstream(root / name) << name;

    std::set<std::string> seen;
    NSDirectoryEnumerator walk = NSFileManager::defaultManager()->enumeratorAtURL(
        NSURL::fileURLWithPath(root.string()), NSDirectoryEnumerationSkipsHiddenFiles);
    while (NSURL url = walk.nextObject())
        seen.insert(fs::relative(url.path().utf8(), root).string());
    EXPECT_EQ(seen, (std::set<std::string>{"a.wav", "sub", "sub/b.aif"}));
    auto contents = NSFileManager::defaultManager()->contentsOfDirectoryAtURL(
        NSURL::fileURLWithPath((root / "sub").string()), NSDirectoryEnumerationSkipsHiddenFiles);
    ASSERT_EQ(contents.size(), 1u);
    EXPECT_EQ(contents[0].lastPathComponent(), NSString("b.aif"));

    NSFileManager* files = NSFileManager::defaultManager();
    NSString source((root / "a.wav").string());
    NSString taken((root / "sub" / "b.aif").string());
    NSString free((root / "moved.wav").string());
    EXPECT_FALSE(files->moveItemAtPath(source, taken)); // something is there
    EXPECT_TRUE(files->fileExistsAtPath(source));
    EXPECT_TRUE(files->moveItemAtPath(source, free));
    EXPECT_FALSE(files->fileExistsAtPath(source));
    bool isDirectory = true;
    EXPECT_TRUE(files->fileExistsAtPath(free, &isDirectory));
    EXPECT_FALSE(isDirectory);
    EXPECT_TRUE(files->removeItemAtPath(NSString(root.string())));
    EXPECT_FALSE(files->fileExistsAtPath(NSString(root.string())));
}

TEST(UserDefaults, ReadsStringsFromTheDomainsPropertyListFile)
{
    CFStringRef domain = CFSTR("com.veltrane.DefaultsTest");
    CFPreferencesSetAppValue(CFSTR("InstrumentsPath"), CFSTR("/Library/Kindra/Instruments/Factory"), domain);
    int number = 42;
    CFNumberRef value = CFNumberCreate(nullptr, kCFNumberIntType, &number);
    CFPreferencesSetAppValue(CFSTR("tempoTab"), value, domain);
    CFRelease(value);
    ASSERT_TRUE(CFPreferencesAppSynchronize(domain));
    EXPECT_TRUE(fs::exists(fs::path(NSHomeDirectory().utf8()) / "Library/Preferences/com.veltrane.DefaultsTest.plist"));
    // What is read comes from the file, as in the uninstaller's own run.
    vt::testing::forgetPreferencesInMemory();

    NSUserDefaults defaults("com.veltrane.DefaultsTest");
    EXPECT_EQ(defaults.stringForKey("InstrumentsPath"), NSString("/Library/Kindra/Instruments/Factory"));
    EXPECT_EQ(defaults.stringForKey("tempoTab"), NSString("42"));
    EXPECT_TRUE(defaults.stringForKey("absent").isNil());
    EXPECT_TRUE(NSUserDefaults("com.veltrane.NoSuchDomain").stringForKey("InstrumentsPath").isNil());
}

TEST(Foundation, DatesTemporaryFolderHomeAndBundle)
{
    NSDateFormatter formatter;
    formatter.setDateFormat("yyyy.MM.dd-HH:mm:ss");
    NSDate now = NSDate::date();
    std::string text = formatter.stringFromDate(now).utf8();
    auto seconds = static_cast<time_t>(now.timeIntervalSince1970());
    char expected[32];
    std::strftime(expected, sizeof expected, "%Y.%m.%d-%H:%M:%S", std::localtime(&seconds));
    EXPECT_EQ(text, expected);

    EXPECT_EQ(NSTemporaryDirectory().utf8().back(), '/');
    EXPECT_EQ(NSHomeDirectory().utf8(), std::getenv("HOME"));
    std::string resources = NSBundle::mainBundle()->resourcePath().utf8();
    EXPECT_EQ(resources.substr(resources.size() - 19), "/Contents/Resources");
    EXPECT_TRUE(NSBundle::mainBundle()->objectForInfoDictionaryKey("NoSuchKey").isNil());
}

struct ScanCase {
    const char* text;
    bool scans;
    int value;
    bool atEnd;
};

TEST(Scanner, ScansAnIntegerAfterBlanksWithAnOptionalSign)
{
    const ScanCase cases[] = {
        {"120", true, 120, true}, {" -45 ", true, -45, true}, {"+7", true, 7, true},
        {"12a", true, 12, false}, {"12.5", true, 12, false},  {"a12", false, 0, false},
        {"", false, 0, true},     {"-", false, 0, false},     {"99999999999", true, 2147483647, true},
    };
    for (const ScanCase& c : cases) {
        SCOPED_TRACE(c.text);
        NSScanner scanner(c.text);
        int value = 0;
        EXPECT_EQ(scanner.scanInt(&value), c.scans);
        EXPECT_EQ(value, c.value);
        EXPECT_EQ(scanner.isAtEnd(), c.atEnd);
    }
}
