// CFString: UTF-16 text with an optional 8-bit original.
#include "CFStringImpl.h"

#include <cstring>
#include <mutex>
#include <unordered_map>

namespace {

bool isAsciiCompatible(CFStringEncoding encoding)
{
    return encoding == kCFStringEncodingUTF8 || encoding == kCFStringEncodingASCII ||
           encoding == kCFStringEncodingMacRoman || encoding == kCFStringEncodingISOLatin1 ||
           encoding == kCFStringEncodingWindowsLatin1;
}

bool decodeUtf8(const unsigned char* bytes, size_t length, std::u16string& out)
{
    size_t i = 0;
    while (i < length) {
        unsigned char lead = bytes[i];
        char32_t cp = 0;
        size_t extra = 0;
        if (lead < 0x80) {
            cp = lead;
        } else if ((lead & 0xE0) == 0xC0) {
            cp = lead & 0x1F;
            extra = 1;
        } else if ((lead & 0xF0) == 0xE0) {
            cp = lead & 0x0F;
            extra = 2;
        } else if ((lead & 0xF8) == 0xF0) {
            cp = lead & 0x07;
            extra = 3;
        } else {
            return false;
        }
        if (i + extra >= length)
            return false;
        for (size_t k = 1; k <= extra; ++k) {
            unsigned char next = bytes[i + k];
            if ((next & 0xC0) != 0x80)
                return false;
            cp = (cp << 6) | (next & 0x3F);
        }
        // Overlong forms, surrogates and values past Unicode are invalid.
        static const char32_t minimum[] = {0, 0x80, 0x800, 0x10000};
        if (cp < minimum[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(cp));
        }
        i += extra + 1;
    }
    return true;
}

bool encodeUtf8(const std::u16string& units, std::string& out)
{
    for (size_t i = 0; i < units.size(); ++i) {
        char32_t cp = units[i];
        if (cp >= 0xD800 && cp <= 0xDBFF) {
            if (i + 1 >= units.size() || units[i + 1] < 0xDC00 || units[i + 1] > 0xDFFF)
                return false;
            cp = 0x10000 + ((cp - 0xD800) << 10) + (units[i + 1] - 0xDC00);
            ++i;
        } else if (cp >= 0xDC00 && cp <= 0xDFFF) {
            return false;
        }
        if (cp < 0x80) {
            out.push_back(static_cast<char>(cp));
        } else if (cp < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else if (cp < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        }
    }
    return true;
}

// Decodes 8-bit text in one of the supported encodings.
bool decode(const unsigned char* bytes, size_t length, CFStringEncoding encoding, std::u16string& out)
{
    switch (encoding) {
    case kCFStringEncodingUTF8:
        return decodeUtf8(bytes, length, out);
    case kCFStringEncodingASCII:
    case kCFStringEncodingMacRoman:
        // Only the ASCII half of Mac Roman is needed by the system's texts.
        for (size_t i = 0; i < length; ++i) {
            if (bytes[i] >= 0x80)
                return false;
            out.push_back(bytes[i]);
        }
        return true;
    case kCFStringEncodingISOLatin1:
    case kCFStringEncodingWindowsLatin1:
        for (size_t i = 0; i < length; ++i)
            out.push_back(bytes[i]);
        return true;
    default:
        return false;
    }
}

bool encode(const std::u16string& units, CFStringEncoding encoding, std::string& out)
{
    switch (encoding) {
    case kCFStringEncodingUTF8:
        return encodeUtf8(units, out);
    case kCFStringEncodingASCII:
    case kCFStringEncodingMacRoman:
        for (char16_t unit : units) {
            if (unit >= 0x80)
                return false;
            out.push_back(static_cast<char>(unit));
        }
        return true;
    case kCFStringEncodingISOLatin1:
    case kCFStringEncodingWindowsLatin1:
        for (char16_t unit : units) {
            if (unit > 0xFF)
                return false;
            out.push_back(static_cast<char>(unit));
        }
        return true;
    default:
        return false;
    }
}

const __CFString* impl(CFStringRef string)
{
    return vt::cf::as<__CFString>(string, vt::cf::kStringType);
}

char16_t foldCase(char16_t unit)
{
    return (unit >= u'A' && unit <= u'Z') ? static_cast<char16_t>(unit - u'A' + u'a') : unit;
}

} // namespace

namespace vt::cf {

std::optional<std::string> utf8(CFStringRef string)
{
    const __CFString* s = impl(string);
    if (s == nullptr)
        return std::nullopt;
    std::string out;
    if (!encodeUtf8(s->units, out))
        return std::nullopt;
    return out;
}

CFStringRef createString(const std::string& utf8Text)
{
    return CFStringCreateWithBytes(nullptr, reinterpret_cast<const UInt8*>(utf8Text.data()),
                                   static_cast<CFIndex>(utf8Text.size()), kCFStringEncodingUTF8, false);
}

} // namespace vt::cf

extern "C" {

CFTypeID CFStringGetTypeID(void)
{
    return vt::cf::kStringType;
}

CFStringRef CFStringCreateWithBytes(CFAllocatorRef, const UInt8* bytes, CFIndex numBytes, CFStringEncoding encoding,
                                    Boolean)
{
    if (bytes == nullptr && numBytes != 0)
        return nullptr;
    if (numBytes < 0)
        return nullptr;
    auto* string = new __CFString;
    if (!decode(bytes, static_cast<size_t>(numBytes), encoding, string->units)) {
        delete string;
        return nullptr;
    }
    string->cString.emplace(reinterpret_cast<const char*>(bytes), static_cast<size_t>(numBytes));
    string->cStringEncoding = encoding;
    return string;
}

CFStringRef CFStringCreateWithCString(CFAllocatorRef alloc, const char* cStr, CFStringEncoding encoding)
{
    if (cStr == nullptr)
        return nullptr;
    return CFStringCreateWithBytes(alloc, reinterpret_cast<const UInt8*>(cStr), static_cast<CFIndex>(std::strlen(cStr)),
                                   encoding, false);
}

CFStringRef CFStringCreateWithCharacters(CFAllocatorRef, const UniChar* chars, CFIndex numChars)
{
    if ((chars == nullptr && numChars != 0) || numChars < 0)
        return nullptr;
    auto* string = new __CFString;
    string->units.assign(reinterpret_cast<const char16_t*>(chars), static_cast<size_t>(numChars));
    return string;
}

CFStringRef CFStringCreateCopy(CFAllocatorRef, CFStringRef theString)
{
    const __CFString* source = impl(theString);
    if (source == nullptr)
        return nullptr;
    auto* copy = new __CFString;
    copy->units = source->units;
    copy->cString = source->cString;
    copy->cStringEncoding = source->cStringEncoding;
    return copy;
}

CFIndex CFStringGetLength(CFStringRef theString)
{
    const __CFString* s = impl(theString);
    return s == nullptr ? 0 : static_cast<CFIndex>(s->units.size());
}

UniChar CFStringGetCharacterAtIndex(CFStringRef theString, CFIndex idx)
{
    const __CFString* s = impl(theString);
    if (s == nullptr || idx < 0 || static_cast<size_t>(idx) >= s->units.size())
        return 0;
    return s->units[static_cast<size_t>(idx)];
}

void CFStringGetCharacters(CFStringRef theString, CFRange range, UniChar* buffer)
{
    const __CFString* s = impl(theString);
    if (s == nullptr || buffer == nullptr || range.location < 0 || range.length < 0 ||
        static_cast<size_t>(range.location + range.length) > s->units.size())
        return;
    for (CFIndex i = 0; i < range.length; ++i)
        buffer[i] = s->units[static_cast<size_t>(range.location + i)];
}

const char* CFStringGetCStringPtr(CFStringRef theString, CFStringEncoding encoding)
{
    const __CFString* s = impl(theString);
    if (s == nullptr || !s->cString)
        return nullptr;
    if (s->cStringEncoding == encoding)
        return s->cString->c_str();
    // Plain ASCII text reads the same in every ASCII-compatible encoding.
    bool ascii = true;
    for (char16_t unit : s->units)
        ascii = ascii && unit < 0x80 && unit != 0;
    if (ascii && isAsciiCompatible(encoding) && isAsciiCompatible(s->cStringEncoding))
        return s->cString->c_str();
    return nullptr;
}

Boolean CFStringGetCString(CFStringRef theString, char* buffer, CFIndex bufferSize, CFStringEncoding encoding)
{
    const __CFString* s = impl(theString);
    if (s == nullptr || buffer == nullptr || bufferSize <= 0)
        return false;
    std::string out;
    if (!encode(s->units, encoding, out) || out.size() + 1 > static_cast<size_t>(bufferSize))
        return false;
    std::memcpy(buffer, out.c_str(), out.size() + 1);
    return true;
}

CFIndex CFStringGetMaximumSizeForEncoding(CFIndex length, CFStringEncoding encoding)
{
    return encoding == kCFStringEncodingUTF8 ? length * 3 : length;
}

CFComparisonResult CFStringCompare(CFStringRef theString1, CFStringRef theString2, CFOptionFlags compareOptions)
{
    const __CFString* a = impl(theString1);
    const __CFString* b = impl(theString2);
    static const std::u16string empty;
    const std::u16string& x = a ? a->units : empty;
    const std::u16string& y = b ? b->units : empty;
    bool fold = (compareOptions & kCFCompareCaseInsensitive) != 0;
    size_t n = std::min(x.size(), y.size());
    for (size_t i = 0; i < n; ++i) {
        char16_t cx = fold ? foldCase(x[i]) : x[i];
        char16_t cy = fold ? foldCase(y[i]) : y[i];
        if (cx != cy)
            return cx < cy ? kCFCompareLessThan : kCFCompareGreaterThan;
    }
    if (x.size() == y.size())
        return kCFCompareEqualTo;
    return x.size() < y.size() ? kCFCompareLessThan : kCFCompareGreaterThan;
}

Boolean CFStringHasSuffix(CFStringRef theString, CFStringRef suffix)
{
    const __CFString* s = impl(theString);
    const __CFString* t = impl(suffix);
    if (s == nullptr || t == nullptr || t->units.size() > s->units.size())
        return false;
    return s->units.compare(s->units.size() - t->units.size(), t->units.size(), t->units) == 0;
}

CFStringEncoding CFStringGetSystemEncoding(void)
{
    // Linux text is UTF-8 throughout.
    return kCFStringEncodingUTF8;
}

CFStringRef __CFStringMakeConstantString(const char* cStr)
{
    static std::mutex mutex;
    // Constants live as long as the process; the table is never destroyed,
    // so they stay reachable until exit.
    static auto& constants = *new std::unordered_map<std::string, __CFString*>;
    std::lock_guard<std::mutex> lock(mutex);
    auto found = constants.find(cStr);
    if (found != constants.end())
        return found->second;
    auto* string = const_cast<__CFString*>(
        static_cast<const __CFString*>(CFStringCreateWithCString(nullptr, cStr, kCFStringEncodingUTF8)));
    if (string == nullptr)
        return nullptr;
    string->constant = true;
    constants.emplace(cStr, string);
    return string;
}

} // extern "C"
