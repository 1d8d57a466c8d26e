// The Core Foundation stand-in's types: ownership rules and conversions the
// system code relies on.
#include <CoreFoundation/CoreFoundation.h>

#include <gtest/gtest.h>

#include <string>
#include <unistd.h>

namespace {

CFStringRef utf8String(const char* text)
{
    return CFStringCreateWithCString(nullptr, text, kCFStringEncodingUTF8);
}

std::string copyOut(CFStringRef string)
{
    char buffer[512] = {};
    return CFStringGetCString(string, buffer, sizeof buffer, kCFStringEncodingUTF8) ? buffer : "<failed>";
}

} // namespace

TEST(CFOwnership, CreatedObjectsStartWithOneReferenceAndCollectionsRetainWhatTheyHold)
{
    CFStringRef key = utf8String("name");
    SInt32 seven = 7;
    CFNumberRef value = CFNumberCreate(nullptr, kCFNumberSInt32Type, &seven);
    ASSERT_EQ(CFGetRetainCount(key), 1);

    CFMutableDictionaryRef dict =
        CFDictionaryCreateMutable(nullptr, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks);
    CFDictionarySetValue(dict, key, value);
    EXPECT_EQ(CFGetRetainCount(key), 2);
    EXPECT_EQ(CFGetRetainCount(value), 2);

    CFMutableArrayRef array = CFArrayCreateMutable(nullptr, 0, &kCFTypeArrayCallBacks);
    CFArrayAppendValue(array, value);
    EXPECT_EQ(CFGetRetainCount(value), 3);

    CFRelease(dict);
    CFRelease(array);
    EXPECT_EQ(CFGetRetainCount(key), 1);
    EXPECT_EQ(CFGetRetainCount(value), 1);
    CFRelease(key);
    CFRelease(value);
}

TEST(CFOwnership, NullCallbacksKeepPlainPointersAndReplacingAValueReleasesTheOldOne)
{
    static int a = 1, b = 2;
    CFMutableDictionaryRef plain = CFDictionaryCreateMutable(nullptr, 0, nullptr, nullptr);
    CFDictionarySetValue(plain, &a, &b);
    EXPECT_EQ(CFDictionaryGetValue(plain, &a), &b);
    CFRelease(plain);

    CFMutableDictionaryRef dict =
        CFDictionaryCreateMutable(nullptr, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks);
    CFStringRef first = utf8String("first");
    CFStringRef second = utf8String("second");
    CFDictionarySetValue(dict, CFSTR("k"), first);
    CFDictionarySetValue(dict, CFSTR("k"), second);
    EXPECT_EQ(CFGetRetainCount(first), 1);
    EXPECT_EQ(CFGetRetainCount(second), 2);
    EXPECT_EQ(CFDictionaryGetCount(dict), 1);
    CFDictionaryRemoveValue(dict, CFSTR("k"));
    EXPECT_EQ(CFGetRetainCount(second), 1);
    CFRelease(dict);
    CFRelease(first);
    CFRelease(second);
}

TEST(CFString, KeysMatchByContentNotByPointer)
{
    CFMutableDictionaryRef dict =
        CFDictionaryCreateMutable(nullptr, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks);
    CFDictionarySetValue(dict, CFSTR("Tempo"), kCFBooleanTrue);
    CFStringRef lookup = utf8String("Tempo");
    EXPECT_EQ(CFDictionaryGetValue(dict, lookup), kCFBooleanTrue);
    EXPECT_TRUE(CFDictionaryContainsKey(dict, lookup));
    EXPECT_FALSE(CFDictionaryContainsKey(dict, CFSTR("tempo")));
    CFRelease(lookup);
    CFRelease(dict);
}

TEST(CFString, TextMadeFromUtf8KeepsItsPointerAndCopiesOutWhole)
{
    CFStringRef string = utf8String("Caf\xC3\xA9 \xF0\x9F\x8E\xB9"); // "Café 🎹"
    ASSERT_NE(string, nullptr);
    // 4 letters, a space, and the keyboard emoji as a surrogate pair.
    EXPECT_EQ(CFStringGetLength(string), 7);
    ASSERT_NE(CFStringGetCStringPtr(string, kCFStringEncodingUTF8), nullptr);
    EXPECT_STREQ(CFStringGetCStringPtr(string, kCFStringEncodingUTF8), "Caf\xC3\xA9 \xF0\x9F\x8E\xB9");
    EXPECT_EQ(copyOut(string), "Caf\xC3\xA9 \xF0\x9F\x8E\xB9");
    // Non-ASCII text has no pointer in another encoding and cannot become ASCII.
    EXPECT_EQ(CFStringGetCStringPtr(string, kCFStringEncodingASCII), nullptr);
    char ascii[64];
    EXPECT_FALSE(CFStringGetCString(string, ascii, sizeof ascii, kCFStringEncodingASCII));
    CFRelease(string);
}

TEST(CFString, ConversionFailsRatherThanTruncatingOrInventingText)
{
    // Invalid UTF-8 (a lone continuation byte, an overlong slash) makes no string.
    EXPECT_EQ(utf8String("bad \x80 byte"), nullptr);
    EXPECT_EQ(utf8String("\xC0\xAF"), nullptr);

    // Text made from UTF-16 has no internal C string; an unpaired surrogate
    // cannot be converted at all.
    const UniChar broken[] = {'O', 'u', 't', 0xD800};
    CFStringRef unpaired = CFStringCreateWithCharacters(nullptr, broken, 4);
    ASSERT_NE(unpaired, nullptr);
    EXPECT_EQ(CFStringGetCStringPtr(unpaired, kCFStringEncodingUTF8), nullptr);
    char buffer[512];
    EXPECT_FALSE(CFStringGetCString(unpaired, buffer, sizeof buffer, kCFStringEncodingUTF8));
    CFRelease(unpaired);

    const UniChar fine[] = {'I', 'n', ' ', 0x00E9};
    CFStringRef characters = CFStringCreateWithCharacters(nullptr, fine, 4);
    EXPECT_EQ(CFStringGetCStringPtr(characters, kCFStringEncodingUTF8), nullptr);
    EXPECT_EQ(copyOut(characters), "In \xC3\xA9");
    // "In é" needs 6 bytes with its terminator: 5 are too few.
    char small[5];
    EXPECT_FALSE(CFStringGetCString(characters, small, sizeof small, kCFStringEncodingUTF8));
    CFRelease(characters);
}

TEST(CFString, CompareOrdersByUnitsAndCanIgnoreCase)
{
    CFStringRef upper = utf8String("LOOP.WAV");
    CFStringRef lower = utf8String("loop.wav");
    EXPECT_EQ(CFStringCompare(upper, lower, 0), kCFCompareLessThan);
    EXPECT_EQ(CFStringCompare(upper, lower, kCFCompareCaseInsensitive), kCFCompareEqualTo);
    EXPECT_EQ(CFStringCompare(CFSTR("a"), CFSTR("ab"), 0), kCFCompareLessThan);
    EXPECT_TRUE(CFStringHasSuffix(lower, CFSTR(".wav")));
    EXPECT_TRUE(CFEqual(CFSTR("loop.wav"), lower));
    EXPECT_EQ(CFHash(CFSTR("loop.wav")), CFHash(lower));
    CFRelease(upper);
    CFRelease(lower);
}

TEST(CFNumber, ConvertsBetweenTypesAndReportsLoss)
{
    SInt32 small = -5;
    CFNumberRef a = CFNumberCreate(nullptr, kCFNumberSInt32Type, &small);
    SInt64 wide = 0;
    EXPECT_TRUE(CFNumberGetValue(a, kCFNumberSInt64Type, &wide));
    EXPECT_EQ(wide, -5);
    double real = 0;
    EXPECT_TRUE(CFNumberGetValue(a, kCFNumberFloat64Type, &real));
    EXPECT_EQ(real, -5.0);
    EXPECT_FALSE(CFNumberIsFloatType(a));

    Float64 tempo = 133.5;
    CFNumberRef b = CFNumberCreate(nullptr, kCFNumberFloat64Type, &tempo);
    SInt32 truncated = 0;
    EXPECT_FALSE(CFNumberGetValue(b, kCFNumberSInt32Type, &truncated));
    EXPECT_EQ(truncated, 133);
    EXPECT_TRUE(CFNumberIsFloatType(b));

    SInt64 huge = 1LL << 40;
    CFNumberRef c = CFNumberCreate(nullptr, kCFNumberSInt64Type, &huge);
    EXPECT_FALSE(CFNumberGetValue(c, kCFNumberSInt32Type, &truncated));

    // Equal values compare equal whatever type made them.
    double five = -5.0;
    CFNumberRef d = CFNumberCreate(nullptr, kCFNumberDoubleType, &five);
    EXPECT_TRUE(CFEqual(a, d));
    EXPECT_EQ(CFNumberCreate(nullptr, 99, &small), nullptr);
    for (CFNumberRef n : {a, b, c, d})
        CFRelease(n);
}

TEST(CFBoolean, ConstantsAreDistinctTypedAndImmortal)
{
    EXPECT_TRUE(CFBooleanGetValue(kCFBooleanTrue));
    EXPECT_FALSE(CFBooleanGetValue(kCFBooleanFalse));
    EXPECT_EQ(CFGetTypeID(kCFBooleanTrue), CFBooleanGetTypeID());
    EXPECT_NE(CFGetTypeID(kCFBooleanTrue), CFNumberGetTypeID());
    CFRelease(kCFBooleanTrue);
    CFRelease(kCFBooleanTrue);
    EXPECT_TRUE(CFBooleanGetValue(kCFBooleanTrue));
}

TEST(CFArray, RemovesAndAnswersOutOfRangeSafely)
{
    CFMutableArrayRef array = CFArrayCreateMutable(nullptr, 0, &kCFTypeArrayCallBacks);
    CFStringRef item = utf8String("x");
    CFArrayAppendValue(array, item);
    CFArrayAppendValue(array, CFSTR("y"));
    EXPECT_EQ(CFArrayGetCount(array), 2);
    EXPECT_EQ(CFArrayGetValueAtIndex(array, 2), nullptr);
    EXPECT_EQ(CFArrayGetValueAtIndex(array, -1), nullptr);
    CFArrayRemoveValueAtIndex(array, 0);
    EXPECT_EQ(CFGetRetainCount(item), 1);
    EXPECT_TRUE(CFEqual(CFArrayGetValueAtIndex(array, 0), CFSTR("y")));
    CFRelease(array);
    CFRelease(item);
}

TEST(CFURL, FileSystemPathsBecomeAbsoluteAndRoundTrip)
{
    CFURLRef absolute = CFURLCreateWithFileSystemPath(nullptr, CFSTR("/tmp/Kindra.vst/"), kCFURLPOSIXPathStyle, true);
    UInt8 buffer[1024];
    ASSERT_TRUE(CFURLGetFileSystemRepresentation(absolute, true, buffer, sizeof buffer));
    EXPECT_STREQ(reinterpret_cast<char*>(buffer), "/tmp/Kindra.vst");
    UInt8 tiny[4];
    EXPECT_FALSE(CFURLGetFileSystemRepresentation(absolute, true, tiny, sizeof tiny));

    CFURLRef appended = CFURLCreateCopyAppendingPathComponent(nullptr, absolute, CFSTR("Contents"), true);
    CFStringRef path = CFURLCopyFileSystemPath(appended, kCFURLPOSIXPathStyle);
    EXPECT_EQ(copyOut(path), "/tmp/Kindra.vst/Contents");

    char cwd[1024];
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    CFURLRef relative = CFURLCreateWithFileSystemPath(nullptr, CFSTR("loop.wav"), kCFURLPOSIXPathStyle, false);
    ASSERT_TRUE(CFURLGetFileSystemRepresentation(relative, true, buffer, sizeof buffer));
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer)), std::string(cwd) + "/loop.wav");

    EXPECT_EQ(CFURLCreateWithFileSystemPath(nullptr, CFSTR(""), kCFURLPOSIXPathStyle, false), nullptr);
    for (CFTypeRef object : {(CFTypeRef)absolute, (CFTypeRef)appended, (CFTypeRef)path, (CFTypeRef)relative})
        CFRelease(object);
}
