// The object model behind every Core Foundation reference of the stand-in.
#pragma once

#include <CoreFoundation/CoreFoundation.h>

#include <atomic>

namespace vt::cf {

enum TypeID : CFTypeID {
    kStringType = 7,
    kNumberType = 22,
    kBooleanType = 21,
    kDataType = 20,
    kDictionaryType = 18,
    kArrayType = 19,
    kURLType = 29,
    kBundleType = 31,
    kRunLoopType = 43,
    kTimerType = 44,
};

// Base of every object. A reference is a pointer to an Object subclass with
// single inheritance, so the CF pointer and the Object pointer coincide.
struct Object {
    explicit Object(CFTypeID type) : typeID(type) {}
    virtual ~Object() = default;
    Object(const Object&) = delete;
    Object& operator=(const Object&) = delete;

    virtual bool equals(const Object& other) const { return this == &other; }
    virtual CFHashCode hash() const { return reinterpret_cast<CFHashCode>(this); }
    // Immortal objects (constants, booleans) ignore retain and release.
    virtual bool immortal() const { return false; }
    // Called when the count reaches zero; bundles override it to leave the
    // bundle cache under its lock before they die.
    virtual void lastReleased() { delete this; }

    std::atomic<CFIndex> retainCount{1};
    const CFTypeID typeID;
};

inline const Object* object(CFTypeRef ref)
{
    return static_cast<const Object*>(ref);
}

// The object when ref is non-null and of the given type, else null.
template <typename T> const T* as(CFTypeRef ref, CFTypeID type)
{
    if (ref == nullptr || object(ref)->typeID != type)
        return nullptr;
    return static_cast<const T*>(object(ref));
}

} // namespace vt::cf
