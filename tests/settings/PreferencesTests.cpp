// The preferences stand-in: domains as property-list files that are never
// lost, half written or silently replaced.
#include "SettingsTestSupport.h"

#include <plist/plist.h>

#include <cstdlib>
#include <fcntl.h>
#include <random>
#include <signal.h>
#include <string_view>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

using settingstest::cfString;
using settingstest::copyValue;
using settingstest::TemporaryHome;

namespace {

const std::string kDomain = "com.veltrane.PrefsProbe";

void setValue(const std::string& key, CFTypeRef value, const std::string& domain = kDomain)
{
    CFStringRef cfKey = cfString(key);
    CFStringRef cfDomain = cfString(domain);
    CFPreferencesSetAppValue(cfKey, value, cfDomain);
    CFRelease(cfKey);
    CFRelease(cfDomain);
}

bool synchronize(const std::string& domain = kDomain)
{
    CFStringRef cfDomain = cfString(domain);
    bool ok = CFPreferencesAppSynchronize(cfDomain);
    CFRelease(cfDomain);
    return ok;
}

void setInt(const std::string& key, SInt32 value)
{
    CFNumberRef number = CFNumberCreate(nullptr, kCFNumberSInt32Type, &value);
    setValue(key, number);
    CFRelease(number);
}

// The int under key as a fresh process reads it from the file; -1 when the
// key is absent or not a number.
SInt32 intFromFile(const std::string& key)
{
    vt::testing::forgetPreferencesInMemory();
    CFTypeRef value = copyValue(key, kDomain);
    SInt32 result = -1;
    if (value != nullptr && CFGetTypeID(value) == CFNumberGetTypeID())
        CFNumberGetValue(static_cast<CFNumberRef>(value), kCFNumberSInt32Type, &result);
    if (value != nullptr)
        CFRelease(value);
    return result;
}

} // namespace

using PreferencesFile = TemporaryHome;
using namespace std::string_view_literals;

// ---------------------------------------------------------------- corrupt

struct CorruptCase {
    const char* label;
    std::string_view bytes;
};

void PrintTo(const CorruptCase& value, std::ostream* out)
{
    *out << value.label;
}

class PreferencesCorruptFile : public TemporaryHome, public ::testing::WithParamInterface<CorruptCase> {};

TEST_P(PreferencesCorruptFile, IsKeptAsideUnderASuffixAndTheDomainStartsEmpty)
{
    const std::string original(GetParam().bytes);
    writeFile(domainFile(kDomain), original);

    EXPECT_EQ(copyValue("Tempo", kDomain), nullptr);
    // The unreadable file now carries the ".corrupt" suffix, byte for byte.
    const auto aside = preferencesFolder() / (kDomain + ".plist.corrupt");
    EXPECT_FALSE(std::filesystem::exists(domainFile(kDomain)));
    EXPECT_EQ(readFile(aside), original);

    // Writing the domain again leaves the kept file alone.
    setInt("Tempo", 90);
    ASSERT_TRUE(synchronize());
    EXPECT_EQ(readFile(aside), original);
    EXPECT_EQ(intFromFile("Tempo"), 90);

    // A second bad file does not replace the first one kept aside.
    writeFile(domainFile(kDomain), "second bad file");
    vt::testing::forgetPreferencesInMemory();
    EXPECT_EQ(copyValue("Tempo", kDomain), nullptr);
    EXPECT_EQ(readFile(aside), original);
    EXPECT_EQ(readFile(preferencesFolder() / (kDomain + ".plist.corrupt.1")), "second bad file");
}

INSTANTIATE_TEST_SUITE_P(
    Contents, PreferencesCorruptFile,
    ::testing::Values(
        CorruptCase{"Garbage", "this is not a property list\x01\x02"}, CorruptCase{"EmptyFile", ""},
        CorruptCase{"TruncatedXML", "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>Tempo</key>"},
        // A readable list whose top is no dictionary holds no settings.
        CorruptCase{"ArrayAtTop", "<?xml version=\"1.0\"?><plist version=\"1.0\"><array><string>a</string></array>"
                                  "</plist>"},
        CorruptCase{"TruncatedBinary", "bplist00\xd1\x01\x02"},
        // Text holding U+0000: a NUL byte in XML, UTF-16 text in binary lists.
        CorruptCase{"NulByteInXML", "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>Tempo</key>"
                                    "<string>a\0b</string></dict></plist>"sv},
        CorruptCase{"UnicodeNulInAString", "bplist00\xd1\x01\x02\x55Tempo\x62\x00\x61\x00\x00\x08\x0b\x11"
                                           "\0\0\0\0\0\0\x01\x01\0\0\0\0\0\0\0\x03\0\0\0\0\0\0\0\0"
                                           "\0\0\0\0\0\0\0\x16"sv},
        CorruptCase{"UnicodeNulInAKey", "bplist00\xd1\x01\x02\x62\x00\x61\x00\x00\x51\x78\x08\x0b\x10"
                                        "\0\0\0\0\0\0\x01\x01\0\0\0\0\0\0\0\x03\0\0\0\0\0\0\0\0"
                                        "\0\0\0\0\0\0\0\x12"sv}),
    [](const auto& info) { return std::string(info.param.label); });

// ----------------------------------------------------------- write failure

std::string stepName(const ::testing::TestParamInfo<vt::testing::PreferencesWriteStep>& info)
{
    switch (info.param) {
    case vt::testing::PreferencesWriteStep::createTemporary:
        return "CreateTemporary";
    case vt::testing::PreferencesWriteStep::writeContents:
        return "WriteContents";
    case vt::testing::PreferencesWriteStep::flushToDisk:
        return "FlushToDisk";
    case vt::testing::PreferencesWriteStep::replaceFile:
        return "ReplaceFile";
    }
    return "Unknown";
}

class PreferencesWriteFailure : public TemporaryHome,
                                public ::testing::WithParamInterface<vt::testing::PreferencesWriteStep> {};

TEST_P(PreferencesWriteFailure, LeavesThePreviousFileIntactAndKeepsTheChangePending)
{
    setInt("Tempo", 100);
    ASSERT_TRUE(synchronize());
    const std::string before = readFile(domainFile(kDomain));
    ASSERT_FALSE(before.empty());

    {
        vt::testing::PreferencesWriteFault fault(GetParam());
        setInt("Tempo", 140);
        EXPECT_FALSE(synchronize());
        // The old file is untouched and no temporary file is left behind.
        EXPECT_EQ(readFile(domainFile(kDomain)), before);
        EXPECT_EQ(preferencesFiles(), std::set<std::string>{kDomain + ".plist"});
        // This run still sees its own change.
        CFTypeRef value = copyValue("Tempo", kDomain);
        SInt32 seen = 0;
        ASSERT_NE(value, nullptr);
        CFNumberGetValue(static_cast<CFNumberRef>(value), kCFNumberSInt32Type, &seen);
        CFRelease(value);
        EXPECT_EQ(seen, 140);
    }

    // Once the disk works again, the pending change reaches the file.
    ASSERT_TRUE(synchronize());
    EXPECT_EQ(intFromFile("Tempo"), 140);
}

INSTANTIATE_TEST_SUITE_P(Steps, PreferencesWriteFailure,
                         ::testing::Values(vt::testing::PreferencesWriteStep::createTemporary,
                                           vt::testing::PreferencesWriteStep::writeContents,
                                           vt::testing::PreferencesWriteStep::flushToDisk,
                                           vt::testing::PreferencesWriteStep::replaceFile),
                         stepName);

// ---------------------------------------------------------------- formats

TEST_F(PreferencesFile, ABinaryPropertyListWrittenByAnotherToolIsRead)
{
    plist_t root = plist_new_dict();
    plist_dict_set_item(root, "Name", plist_new_string("Scarlett 2i2"));
    plist_dict_set_item(root, "Count", plist_new_uint(42));
    plist_dict_set_item(root, "Tempo", plist_new_real(133.25));
    plist_dict_set_item(root, "Flag", plist_new_bool(1));
    plist_t nested = plist_new_dict();
    plist_dict_set_item(nested, "channel", plist_new_uint(9));
    plist_dict_set_item(root, "Nested", nested);
    char* bytes = nullptr;
    uint32_t length = 0;
    plist_to_bin(root, &bytes, &length);
    ASSERT_NE(bytes, nullptr);
    const std::string binary(bytes, length);
    plist_to_bin_free(bytes);
    plist_free(root);
    ASSERT_EQ(binary.rfind("bplist00", 0), 0u);
    writeFile(domainFile(kDomain), binary);

    CFTypeRef name = copyValue("Name", kDomain);
    CFStringRef expectedName = cfString("Scarlett 2i2");
    EXPECT_TRUE(CFEqual(name, expectedName));
    EXPECT_EQ(intFromFile("Count"), 42);
    CFTypeRef tempo = copyValue("Tempo", kDomain);
    double tempoValue = 0;
    ASSERT_NE(tempo, nullptr);
    CFNumberGetValue(static_cast<CFNumberRef>(tempo), kCFNumberFloat64Type, &tempoValue);
    EXPECT_EQ(tempoValue, 133.25);
    EXPECT_EQ(copyValue("Flag", kDomain), kCFBooleanTrue);
    CFTypeRef nestedValue = copyValue("Nested", kDomain);
    ASSERT_NE(nestedValue, nullptr);
    ASSERT_EQ(CFGetTypeID(nestedValue), CFDictionaryGetTypeID());
    SInt32 channel = 0;
    CFNumberGetValue(
        static_cast<CFNumberRef>(CFDictionaryGetValue(static_cast<CFDictionaryRef>(nestedValue), CFSTR("channel"))),
        kCFNumberSInt32Type, &channel);
    EXPECT_EQ(channel, 9);
    // Reading is not a change: the other tool's file stays as it was.
    EXPECT_EQ(readFile(domainFile(kDomain)), binary);
    for (CFTypeRef object : {name, static_cast<CFTypeRef>(expectedName), tempo, nestedValue})
        CFRelease(object);
}

TEST_F(PreferencesFile, TheWrittenFileIsAnXMLPropertyListOnlyItsOwnerMayRead)
{
    setInt("Tempo", 7);
    ASSERT_TRUE(synchronize());
    EXPECT_EQ(readFile(domainFile(kDomain)).rfind("<?xml", 0), 0u);
    auto permissions = std::filesystem::status(domainFile(kDomain)).permissions();
    EXPECT_EQ(permissions & std::filesystem::perms::all,
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
}

// ------------------------------------------------------------ semantics

TEST_F(PreferencesFile, SynchronizeKeepsKeysAnotherProgramStoredAndRemovesKeysSetToNull)
{
    setInt("Kept", 1);
    setInt("Dropped", 2);
    ASSERT_TRUE(synchronize());

    // Another program adds a key behind this process's back.
    writeXMLDomain(kDomain, "<key>Kept</key><integer>1</integer>\n<key>Dropped</key><integer>2</integer>\n"
                            "<key>Theirs</key><integer>3</integer>\n");
    setValue("Dropped", nullptr);
    setInt("Mine", 4);
    ASSERT_TRUE(synchronize());

    EXPECT_EQ(intFromFile("Kept"), 1);
    EXPECT_EQ(intFromFile("Theirs"), 3);
    EXPECT_EQ(intFromFile("Mine"), 4);
    EXPECT_EQ(copyValue("Dropped", kDomain), nullptr);
}

TEST_F(PreferencesFile, ADictionaryChangedAfterStoringDoesNotChangeTheStoredValue)
{
    CFMutableDictionaryRef dict =
        CFDictionaryCreateMutable(nullptr, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks);
    CFDictionarySetValue(dict, CFSTR("in"), kCFBooleanTrue);
    setValue("Midi Device 0", dict);
    CFDictionarySetValue(dict, CFSTR("in"), kCFBooleanFalse);
    CFRelease(dict);

    CFTypeRef stored = copyValue("Midi Device 0", kDomain);
    ASSERT_NE(stored, nullptr);
    EXPECT_EQ(CFDictionaryGetValue(static_cast<CFDictionaryRef>(stored), CFSTR("in")), kCFBooleanTrue);
    CFRelease(stored);
}

TEST_F(PreferencesFile, DomainNamesThatWouldLeaveThePreferencesFolderAreRefused)
{
    for (const char* domain : {"../escaped", "a/b", ".hidden", ""}) {
        SCOPED_TRACE(domain);
        setValue("Tempo", kCFBooleanTrue, domain);
        EXPECT_FALSE(synchronize(domain));
        EXPECT_EQ(copyValue("Tempo", domain), nullptr);
    }
    EXPECT_FALSE(std::filesystem::exists(m_home / "Library" / "escaped.plist"));
    EXPECT_FALSE(std::filesystem::exists(preferencesFolder() / "a"));
}

// ---------------------------------------------------------------- crashes

TEST_F(PreferencesFile, TemporaryFilesOfWritersThatDiedGoWhenTheStoreStartsThoseOfRunningWritersStay)
{
    setInt("Tempo", 1);
    ASSERT_TRUE(synchronize());
    const std::string file = domainFile(kDomain).string();
    writeFile(file + ".Ab12Cd", "half a write of a writer that died");
    writeFile(file + ".Running", "a writer still at work");
    // Not temporary files of this domain.
    writeFile(file + ".corrupt", "kept aside");
    writeFile(preferencesFolder() / "com.veltrane.Other.plist.Ab12Cd", "another domain's");
    // The running writer holds its file locked until it renamed it.
    int held = ::open((file + ".Running").c_str(), O_RDONLY);
    ASSERT_GE(held, 0);
    ASSERT_EQ(flock(held, LOCK_EX), 0);

    EXPECT_EQ(intFromFile("Tempo"), 1);

    const std::set<std::string> expected = {"com.veltrane.PrefsProbe.plist", "com.veltrane.PrefsProbe.plist.Running",
                                            "com.veltrane.PrefsProbe.plist.corrupt", "com.veltrane.Other.plist.Ab12Cd"};
    EXPECT_EQ(preferencesFiles(), expected);
    ::close(held);
}

TEST_F(PreferencesFile, KilledAHundredTimesWhileWritingNeverLeavesACorruptOrTemporaryFileBehind)
{
    const std::filesystem::path file = domainFile(kDomain);
    std::mt19937 random(16);
    std::uniform_int_distribution<int> delayMicroseconds(0, 4000);
    for (int kill = 0; kill < 100; ++kill) {
        const pid_t writer = fork();
        ASSERT_GE(writer, 0);
        if (writer == 0) {
            // The child writes one setting after the other until it is killed.
            vt::testing::forgetPreferencesInMemory();
            for (SInt32 n = 0;; ++n) {
                setInt("Counter", n);
                synchronize();
            }
        }
        // The first kill waits for a first write, so that later ones land
        // anywhere in the writing.
        if (kill == 0) {
            for (int wait = 0; wait < 10000 && !std::filesystem::exists(file); ++wait)
                usleep(1000);
        }
        usleep(static_cast<useconds_t>(delayMicroseconds(random)));
        ::kill(writer, SIGKILL);
        int status = 0;
        ASSERT_EQ(waitpid(writer, &status, 0), writer);

        // The store starts again: the file reads, nothing was kept aside as
        // unreadable, and no temporary file is left.
        EXPECT_GE(intFromFile("Counter"), 0) << "kill " << kill;
        EXPECT_EQ(preferencesFiles(), std::set<std::string>{file.filename().string()}) << "kill " << kill;
    }
}
