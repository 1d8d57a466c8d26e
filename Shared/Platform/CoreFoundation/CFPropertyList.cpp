// Property-list files through libplist.
#include "CFPropertyListImpl.h"
#include "CFStringImpl.h"

#include <plist/plist.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>

namespace {

struct PlistDeleter {
    void operator()(void* node) const { plist_free(static_cast<plist_t>(node)); }
};
using PlistPtr = std::unique_ptr<void, PlistDeleter>;

constexpr size_t kBinaryHeaderSize = 8;

bool isBinaryList(const std::string& bytes)
{
    return bytes.compare(0, kBinaryHeaderSize, "bplist00") == 0;
}

// Whether a binary list holds UTF-16 text with U+0000 in it.
bool holdsUnicodeNul(const std::string& bytes)
{
    constexpr size_t kTrailerSize = 32;
    const size_t size = bytes.size();
    if (size < kBinaryHeaderSize + kTrailerSize)
        return false;
    const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
    auto bigEndian = [data](size_t at, unsigned width) {
        uint64_t value = 0;
        for (unsigned i = 0; i < width; ++i)
            value = (value << 8) | data[at + i];
        return value;
    };
    const size_t trailer = size - kTrailerSize;
    const unsigned offsetWidth = data[trailer + 6];
    const uint64_t objectCount = bigEndian(trailer + 8, 8);
    const uint64_t tableOffset = bigEndian(trailer + 24, 8);
    if (offsetWidth == 0 || offsetWidth > 8 || tableOffset >= trailer ||
        objectCount > (trailer - tableOffset) / offsetWidth)
        return false;
    for (uint64_t object = 0; object < objectCount; ++object) {
        const uint64_t offset = bigEndian(tableOffset + object * offsetWidth, offsetWidth);
        if (offset >= size || (data[offset] & 0xF0) != 0x60)
            continue;
        uint64_t units = data[offset] & 0x0F;
        size_t text = offset + 1;
        if (units == 0x0F) {
            // A longer string gives its length as an integer object that follows.
            if (text >= size || (data[text] & 0xF0) != 0x10)
                continue;
            const unsigned width = 1u << (data[text] & 0x0F);
            if (width > 8 || width > size - text - 1)
                continue;
            units = bigEndian(text + 1, width);
            text += 1 + width;
        }
        if (units > (size - text) / 2)
            continue;
        for (uint64_t unit = 0; unit < units; ++unit)
            if (data[text + 2 * unit] == 0 && data[text + 2 * unit + 1] == 0)
                return true;
    }
    return false;
}

// libplist asserts, and so aborts the program, when it hands out a string or
// a key whose text holds U+0000. A list that can give one is refused as
// damaged before it is parsed: an XML list with a NUL byte (never
// well-formed XML) or a binary one with U+0000 in UTF-16 text.
bool holdsNulText(const std::string& bytes)
{
    return isBinaryList(bytes) ? holdsUnicodeNul(bytes) : bytes.find('\0') != std::string::npos;
}

CFTypeRef fromPlist(plist_t node, int depth)
{
    // A property list nested this deep is not one the system wrote.
    if (node == nullptr || depth > 64)
        return nullptr;
    switch (plist_get_node_type(node)) {
    case PLIST_STRING: {
        char* text = nullptr;
        plist_get_string_val(node, &text);
        CFStringRef string = text ? vt::cf::createString(text) : nullptr;
        std::free(text);
        return string;
    }
    case PLIST_UINT: {
        uint64_t raw = 0;
        plist_get_uint_val(node, &raw);
        auto value = static_cast<SInt64>(raw);
        return CFNumberCreate(nullptr, kCFNumberSInt64Type, &value);
    }
    case PLIST_REAL: {
        double value = 0;
        plist_get_real_val(node, &value);
        return CFNumberCreate(nullptr, kCFNumberFloat64Type, &value);
    }
    case PLIST_BOOLEAN: {
        uint8_t value = 0;
        plist_get_bool_val(node, &value);
        return value ? kCFBooleanTrue : kCFBooleanFalse;
    }
    case PLIST_DATA: {
        char* bytes = nullptr;
        uint64_t length = 0;
        plist_get_data_val(node, &bytes, &length);
        CFDataRef data = CFDataCreate(nullptr, reinterpret_cast<const UInt8*>(bytes), static_cast<CFIndex>(length));
        std::free(bytes);
        return data;
    }
    case PLIST_ARRAY: {
        CFMutableArrayRef array = CFArrayCreateMutable(nullptr, 0, &kCFTypeArrayCallBacks);
        uint32_t count = plist_array_get_size(node);
        for (uint32_t i = 0; i < count; ++i) {
            CFTypeRef item = fromPlist(plist_array_get_item(node, i), depth + 1);
            if (item != nullptr) {
                CFArrayAppendValue(array, item);
                CFRelease(item);
            }
        }
        return array;
    }
    case PLIST_DICT: {
        CFMutableDictionaryRef dict =
            CFDictionaryCreateMutable(nullptr, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks);
        plist_dict_iter iter = nullptr;
        plist_dict_new_iter(node, &iter);
        for (;;) {
            char* key = nullptr;
            plist_t value = nullptr;
            plist_dict_next_item(node, iter, &key, &value);
            if (value == nullptr) {
                std::free(key);
                break;
            }
            CFStringRef cfKey = key ? vt::cf::createString(key) : nullptr;
            CFTypeRef cfValue = fromPlist(value, depth + 1);
            if (cfKey != nullptr && cfValue != nullptr)
                CFDictionarySetValue(dict, cfKey, cfValue);
            if (cfKey)
                CFRelease(cfKey);
            if (cfValue)
                CFRelease(cfValue);
            std::free(key);
        }
        std::free(iter);
        return dict;
    }
    default:
        // Dates and UIDs are never stored by the system.
        return nullptr;
    }
}

plist_t toPlist(CFTypeRef object, int depth);

struct DictionaryConversion {
    plist_t dict;
    int depth;
    bool ok;
};

void convertEntry(const void* key, const void* value, void* context)
{
    auto* conversion = static_cast<DictionaryConversion*>(context);
    if (!conversion->ok)
        return;
    auto name = CFGetTypeID(key) == CFStringGetTypeID() ? vt::cf::utf8(static_cast<CFStringRef>(key)) : std::nullopt;
    plist_t item = name ? toPlist(value, conversion->depth + 1) : nullptr;
    if (item == nullptr) {
        conversion->ok = false;
        return;
    }
    plist_dict_set_item(conversion->dict, name->c_str(), item);
}

plist_t toPlist(CFTypeRef object, int depth)
{
    if (object == nullptr || depth > 64)
        return nullptr;
    CFTypeID type = CFGetTypeID(object);
    if (type == CFStringGetTypeID()) {
        auto text = vt::cf::utf8(static_cast<CFStringRef>(object));
        return text ? plist_new_string(text->c_str()) : nullptr;
    }
    if (type == CFBooleanGetTypeID())
        return plist_new_bool(CFBooleanGetValue(static_cast<CFBooleanRef>(object)));
    if (type == CFNumberGetTypeID()) {
        auto number = static_cast<CFNumberRef>(object);
        if (CFNumberIsFloatType(number)) {
            double value = 0;
            CFNumberGetValue(number, kCFNumberFloat64Type, &value);
            return plist_new_real(value);
        }
        SInt64 value = 0;
        CFNumberGetValue(number, kCFNumberSInt64Type, &value);
        return plist_new_uint(static_cast<uint64_t>(value));
    }
    if (type == CFDataGetTypeID()) {
        auto data = static_cast<CFDataRef>(object);
        return plist_new_data(reinterpret_cast<const char*>(CFDataGetBytePtr(data)),
                              static_cast<uint64_t>(CFDataGetLength(data)));
    }
    if (type == CFArrayGetTypeID()) {
        auto array = static_cast<CFArrayRef>(object);
        PlistPtr result(plist_new_array());
        for (CFIndex i = 0; i < CFArrayGetCount(array); ++i) {
            plist_t item = toPlist(CFArrayGetValueAtIndex(array, i), depth + 1);
            if (item == nullptr)
                return nullptr;
            plist_array_append_item(result.get(), item);
        }
        return result.release();
    }
    if (type == CFDictionaryGetTypeID()) {
        PlistPtr result(plist_new_dict());
        DictionaryConversion conversion{result.get(), depth, true};
        CFDictionaryApplyFunction(static_cast<CFDictionaryRef>(object), convertEntry, &conversion);
        return conversion.ok ? result.release() : nullptr;
    }
    return nullptr;
}

} // namespace

namespace vt::cf {

PlistReadResult readPropertyListFile(const std::string& path, CFTypeRef* out)
{
    *out = nullptr;
    std::ifstream file(path, std::ios::binary);
    if (!file)
        return PlistReadResult::missing;
    std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    if (file.bad())
        return PlistReadResult::unreadable;
    if (bytes.empty() || bytes.size() > 0x7FFFFFFF || holdsNulText(bytes))
        return PlistReadResult::malformed;
    plist_t root = nullptr;
    plist_from_memory(bytes.data(), static_cast<uint32_t>(bytes.size()), &root);
    if (root == nullptr)
        return PlistReadResult::malformed;
    PlistPtr guard(root);
    *out = fromPlist(root, 0);
    return *out != nullptr ? PlistReadResult::ok : PlistReadResult::malformed;
}

bool propertyListToXML(CFTypeRef root, std::string& xml)
{
    PlistPtr node(toPlist(root, 0));
    if (!node)
        return false;
    char* text = nullptr;
    uint32_t length = 0;
    plist_to_xml(node.get(), &text, &length);
    if (text == nullptr)
        return false;
    xml.assign(text, length);
    plist_to_xml_free(text);
    return true;
}

} // namespace vt::cf
