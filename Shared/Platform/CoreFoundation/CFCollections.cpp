// CFDictionary and CFArray with the standard callback tables.
#include "CFObject.h"

#include <algorithm>
#include <vector>

namespace {

const void* retainType(CFAllocatorRef, const void* value)
{
    return CFRetain(value);
}
void releaseType(CFAllocatorRef, const void* value)
{
    CFRelease(value);
}
Boolean equalType(const void* a, const void* b)
{
    return CFEqual(a, b);
}
CFHashCode hashType(const void* value)
{
    return CFHash(value);
}
const void* copyStringKey(CFAllocatorRef, const void* value)
{
    return CFStringCreateCopy(nullptr, static_cast<CFStringRef>(value));
}

// Callbacks resolved once: a null table means plain pointers, neither
// retained nor compared by content.
struct ElementRules {
    CFDictionaryRetainCallBack retain = nullptr;
    CFDictionaryReleaseCallBack release = nullptr;
    CFDictionaryEqualCallBack equal = nullptr;

    const void* keep(const void* value) const { return retain ? retain(nullptr, value) : value; }
    void drop(const void* value) const
    {
        if (release)
            release(nullptr, value);
    }
    bool same(const void* a, const void* b) const { return a == b || (equal && equal(a, b)); }
};

ElementRules rulesFor(const CFDictionaryKeyCallBacks* callBacks)
{
    if (callBacks == nullptr)
        return {};
    return {callBacks->retain, callBacks->release, callBacks->equal};
}

ElementRules rulesFor(const CFDictionaryValueCallBacks* callBacks)
{
    if (callBacks == nullptr)
        return {};
    return {callBacks->retain, callBacks->release, callBacks->equal};
}

ElementRules rulesFor(const CFArrayCallBacks* callBacks)
{
    if (callBacks == nullptr)
        return {};
    return {callBacks->retain, callBacks->release, callBacks->equal};
}

} // namespace

extern "C" {
const CFDictionaryKeyCallBacks kCFTypeDictionaryKeyCallBacks = {0,       retainType, releaseType,
                                                                nullptr, equalType,  hashType};
const CFDictionaryKeyCallBacks kCFCopyStringDictionaryKeyCallBacks = {0,       copyStringKey, releaseType,
                                                                      nullptr, equalType,     hashType};
const CFDictionaryValueCallBacks kCFTypeDictionaryValueCallBacks = {0, retainType, releaseType, nullptr, equalType};
const CFArrayCallBacks kCFTypeArrayCallBacks = {0, retainType, releaseType, nullptr, equalType};
}

struct __CFDictionary : vt::cf::Object {
    __CFDictionary() : Object(vt::cf::kDictionaryType) {}
    ~__CFDictionary() override { clear(); }

    bool equals(const Object& other) const override
    {
        const auto& o = static_cast<const __CFDictionary&>(other);
        if (entries.size() != o.entries.size())
            return false;
        for (const auto& entry : entries) {
            const Entry* match = o.find(entry.key);
            if (match == nullptr || !valueRules.same(entry.value, match->value))
                return false;
        }
        return true;
    }
    CFHashCode hash() const override { return entries.size(); }

    struct Entry {
        const void* key;
        const void* value;
    };

    const Entry* find(const void* key) const
    {
        for (const auto& entry : entries)
            if (keyRules.same(entry.key, key))
                return &entry;
        return nullptr;
    }
    Entry* find(const void* key) { return const_cast<Entry*>(static_cast<const __CFDictionary*>(this)->find(key)); }

    void set(const void* key, const void* value, bool replace, bool add)
    {
        if (Entry* entry = find(key)) {
            if (!replace)
                return;
            const void* kept = valueRules.keep(value);
            valueRules.drop(entry->value);
            entry->value = kept;
            return;
        }
        if (add)
            entries.push_back({keyRules.keep(key), valueRules.keep(value)});
    }

    void clear()
    {
        for (const auto& entry : entries) {
            keyRules.drop(entry.key);
            valueRules.drop(entry.value);
        }
        entries.clear();
    }

    ElementRules keyRules;
    ElementRules valueRules;
    const CFDictionaryKeyCallBacks* keyCallBacks = nullptr;
    const CFDictionaryValueCallBacks* valueCallBacks = nullptr;
    std::vector<Entry> entries; // insertion order; the system's dictionaries are small
};

struct __CFArray : vt::cf::Object {
    __CFArray() : Object(vt::cf::kArrayType) {}
    ~__CFArray() override { clear(); }

    bool equals(const Object& other) const override
    {
        const auto& o = static_cast<const __CFArray&>(other);
        if (values.size() != o.values.size())
            return false;
        for (size_t i = 0; i < values.size(); ++i)
            if (!rules.same(values[i], o.values[i]))
                return false;
        return true;
    }
    CFHashCode hash() const override { return values.size(); }

    void clear()
    {
        for (const void* value : values)
            rules.drop(value);
        values.clear();
    }

    ElementRules rules;
    std::vector<const void*> values;
};

namespace {

const __CFDictionary* dictionary(CFDictionaryRef ref)
{
    return vt::cf::as<__CFDictionary>(ref, vt::cf::kDictionaryType);
}
__CFDictionary* mutableDictionary(CFMutableDictionaryRef ref)
{
    return const_cast<__CFDictionary*>(dictionary(ref));
}

const __CFArray* array(CFArrayRef ref)
{
    return vt::cf::as<__CFArray>(ref, vt::cf::kArrayType);
}
__CFArray* mutableArray(CFMutableArrayRef ref)
{
    return const_cast<__CFArray*>(array(ref));
}

} // namespace

extern "C" {

CFTypeID CFDictionaryGetTypeID(void)
{
    return vt::cf::kDictionaryType;
}

CFMutableDictionaryRef CFDictionaryCreateMutable(CFAllocatorRef, CFIndex, const CFDictionaryKeyCallBacks* keyCallBacks,
                                                 const CFDictionaryValueCallBacks* valueCallBacks)
{
    auto* dict = new __CFDictionary;
    dict->keyRules = rulesFor(keyCallBacks);
    dict->valueRules = rulesFor(valueCallBacks);
    dict->keyCallBacks = keyCallBacks;
    dict->valueCallBacks = valueCallBacks;
    return dict;
}

CFDictionaryRef CFDictionaryCreate(CFAllocatorRef alloc, const void** keys, const void** values, CFIndex numValues,
                                   const CFDictionaryKeyCallBacks* keyCallBacks,
                                   const CFDictionaryValueCallBacks* valueCallBacks)
{
    if (numValues < 0 || (numValues > 0 && (keys == nullptr || values == nullptr)))
        return nullptr;
    CFMutableDictionaryRef dict = CFDictionaryCreateMutable(alloc, numValues, keyCallBacks, valueCallBacks);
    for (CFIndex i = 0; i < numValues; ++i)
        CFDictionarySetValue(dict, keys[i], values[i]);
    return dict;
}

CFMutableDictionaryRef CFDictionaryCreateMutableCopy(CFAllocatorRef alloc, CFIndex capacity, CFDictionaryRef theDict)
{
    const __CFDictionary* source = dictionary(theDict);
    if (source == nullptr)
        return nullptr;
    CFMutableDictionaryRef copy =
        CFDictionaryCreateMutable(alloc, capacity, source->keyCallBacks, source->valueCallBacks);
    for (const auto& entry : source->entries)
        CFDictionarySetValue(copy, entry.key, entry.value);
    return copy;
}

CFIndex CFDictionaryGetCount(CFDictionaryRef theDict)
{
    const __CFDictionary* d = dictionary(theDict);
    return d == nullptr ? 0 : static_cast<CFIndex>(d->entries.size());
}

const void* CFDictionaryGetValue(CFDictionaryRef theDict, const void* key)
{
    const __CFDictionary* d = dictionary(theDict);
    if (d == nullptr)
        return nullptr;
    const auto* entry = d->find(key);
    return entry == nullptr ? nullptr : entry->value;
}

Boolean CFDictionaryGetValueIfPresent(CFDictionaryRef theDict, const void* key, const void** value)
{
    const __CFDictionary* d = dictionary(theDict);
    if (d == nullptr)
        return false;
    const auto* entry = d->find(key);
    if (entry == nullptr)
        return false;
    if (value != nullptr)
        *value = entry->value;
    return true;
}

Boolean CFDictionaryContainsKey(CFDictionaryRef theDict, const void* key)
{
    const __CFDictionary* d = dictionary(theDict);
    return d != nullptr && d->find(key) != nullptr;
}

void CFDictionaryGetKeysAndValues(CFDictionaryRef theDict, const void** keys, const void** values)
{
    const __CFDictionary* d = dictionary(theDict);
    if (d == nullptr)
        return;
    for (size_t i = 0; i < d->entries.size(); ++i) {
        if (keys != nullptr)
            keys[i] = d->entries[i].key;
        if (values != nullptr)
            values[i] = d->entries[i].value;
    }
}

void CFDictionaryApplyFunction(CFDictionaryRef theDict, CFDictionaryApplierFunction applier, void* context)
{
    const __CFDictionary* d = dictionary(theDict);
    if (d == nullptr || applier == nullptr)
        return;
    for (const auto& entry : d->entries)
        applier(entry.key, entry.value, context);
}

void CFDictionarySetValue(CFMutableDictionaryRef theDict, const void* key, const void* value)
{
    if (__CFDictionary* d = mutableDictionary(theDict))
        d->set(key, value, true, true);
}

void CFDictionaryAddValue(CFMutableDictionaryRef theDict, const void* key, const void* value)
{
    if (__CFDictionary* d = mutableDictionary(theDict))
        d->set(key, value, false, true);
}

void CFDictionaryRemoveValue(CFMutableDictionaryRef theDict, const void* key)
{
    __CFDictionary* d = mutableDictionary(theDict);
    if (d == nullptr)
        return;
    auto it = std::find_if(d->entries.begin(), d->entries.end(),
                           [&](const __CFDictionary::Entry& e) { return d->keyRules.same(e.key, key); });
    if (it == d->entries.end())
        return;
    __CFDictionary::Entry removed = *it;
    d->entries.erase(it);
    d->keyRules.drop(removed.key);
    d->valueRules.drop(removed.value);
}

void CFDictionaryRemoveAllValues(CFMutableDictionaryRef theDict)
{
    if (__CFDictionary* d = mutableDictionary(theDict))
        d->clear();
}

CFTypeID CFArrayGetTypeID(void)
{
    return vt::cf::kArrayType;
}

CFMutableArrayRef CFArrayCreateMutable(CFAllocatorRef, CFIndex, const CFArrayCallBacks* callBacks)
{
    auto* a = new __CFArray;
    a->rules = rulesFor(callBacks);
    return a;
}

CFArrayRef CFArrayCreate(CFAllocatorRef alloc, const void** values, CFIndex numValues,
                         const CFArrayCallBacks* callBacks)
{
    if (numValues < 0 || (numValues > 0 && values == nullptr))
        return nullptr;
    CFMutableArrayRef a = CFArrayCreateMutable(alloc, numValues, callBacks);
    for (CFIndex i = 0; i < numValues; ++i)
        CFArrayAppendValue(a, values[i]);
    return a;
}

CFIndex CFArrayGetCount(CFArrayRef theArray)
{
    const __CFArray* a = array(theArray);
    return a == nullptr ? 0 : static_cast<CFIndex>(a->values.size());
}

const void* CFArrayGetValueAtIndex(CFArrayRef theArray, CFIndex idx)
{
    const __CFArray* a = array(theArray);
    if (a == nullptr || idx < 0 || static_cast<size_t>(idx) >= a->values.size())
        return nullptr;
    return a->values[static_cast<size_t>(idx)];
}

void CFArrayAppendValue(CFMutableArrayRef theArray, const void* value)
{
    if (__CFArray* a = mutableArray(theArray))
        a->values.push_back(a->rules.keep(value));
}

void CFArrayRemoveValueAtIndex(CFMutableArrayRef theArray, CFIndex idx)
{
    __CFArray* a = mutableArray(theArray);
    if (a == nullptr || idx < 0 || static_cast<size_t>(idx) >= a->values.size())
        return;
    const void* removed = a->values[static_cast<size_t>(idx)];
    a->values.erase(a->values.begin() + idx);
    a->rules.drop(removed);
}

void CFArrayRemoveAllValues(CFMutableArrayRef theArray)
{
    if (__CFArray* a = mutableArray(theArray))
        a->clear();
}

} // extern "C"
