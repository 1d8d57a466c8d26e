// CFNumber, CFBoolean and CFData.
#include "CFObject.h"

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

namespace {

struct NumberValue {
    bool isFloat = false;
    SInt64 integer = 0;
    double real = 0.0;
};

} // namespace

struct __CFNumber : vt::cf::Object {
    __CFNumber() : Object(vt::cf::kNumberType) {}
    bool equals(const Object& other) const override
    {
        const auto& o = static_cast<const __CFNumber&>(other);
        if (value.isFloat || o.value.isFloat)
            return asDouble() == o.asDouble();
        return value.integer == o.value.integer;
    }
    CFHashCode hash() const override
    {
        double d = asDouble();
        if (d == std::floor(d) && std::fabs(d) < 9.0e18)
            return static_cast<CFHashCode>(static_cast<SInt64>(d));
        return std::hash<double>{}(d);
    }
    double asDouble() const { return value.isFloat ? value.real : static_cast<double>(value.integer); }

    CFNumberType storedType = kCFNumberSInt64Type;
    NumberValue value;
};

struct __CFBoolean : vt::cf::Object {
    explicit __CFBoolean(bool v) : Object(vt::cf::kBooleanType), value(v) {}
    bool equals(const Object& other) const override { return value == static_cast<const __CFBoolean&>(other).value; }
    CFHashCode hash() const override { return value ? 1 : 0; }
    bool immortal() const override { return true; }
    const bool value;
};

struct __CFData : vt::cf::Object {
    __CFData() : Object(vt::cf::kDataType) {}
    bool equals(const Object& other) const override { return bytes == static_cast<const __CFData&>(other).bytes; }
    CFHashCode hash() const override { return bytes.size(); }
    std::vector<UInt8> bytes;
};

namespace {

const __CFBoolean trueObject(true);
const __CFBoolean falseObject(false);

bool isFloatType(CFNumberType type)
{
    return type == kCFNumberFloat32Type || type == kCFNumberFloat64Type || type == kCFNumberFloatType ||
           type == kCFNumberDoubleType || type == kCFNumberCGFloatType;
}

// Width in bytes of an integer number type; 0 for float or unknown types.
size_t integerWidth(CFNumberType type)
{
    switch (type) {
    case kCFNumberSInt8Type:
    case kCFNumberCharType:
        return 1;
    case kCFNumberSInt16Type:
    case kCFNumberShortType:
        return 2;
    case kCFNumberSInt32Type:
    case kCFNumberIntType:
        return 4;
    case kCFNumberSInt64Type:
    case kCFNumberLongType:
    case kCFNumberLongLongType:
    case kCFNumberCFIndexType:
    case kCFNumberNSIntegerType:
        return 8;
    default:
        return 0;
    }
}

bool isKnownType(CFNumberType type)
{
    return type >= kCFNumberSInt8Type && type <= kCFNumberMaxType;
}

template <typename T> SInt64 loadInteger(const void* in)
{
    T value;
    std::memcpy(&value, in, sizeof value);
    return value;
}

template <typename T> bool storeInteger(SInt64 value, void* out)
{
    T narrowed = static_cast<T>(value);
    std::memcpy(out, &narrowed, sizeof narrowed);
    return static_cast<SInt64>(narrowed) == value;
}

template <typename T> bool storeIntegerFromDouble(double value, void* out)
{
    T converted;
    bool exact;
    if (std::isnan(value)) {
        converted = 0;
        exact = false;
    } else if (value >= static_cast<double>(std::numeric_limits<T>::max())) {
        converted = std::numeric_limits<T>::max();
        exact = value == static_cast<double>(converted);
    } else if (value <= static_cast<double>(std::numeric_limits<T>::min())) {
        converted = std::numeric_limits<T>::min();
        exact = value == static_cast<double>(converted);
    } else {
        converted = static_cast<T>(value);
        exact = static_cast<double>(converted) == value;
    }
    std::memcpy(out, &converted, sizeof converted);
    return exact;
}

} // namespace

extern "C" {

const CFBooleanRef kCFBooleanTrue = &trueObject;
const CFBooleanRef kCFBooleanFalse = &falseObject;

CFTypeID CFNumberGetTypeID(void)
{
    return vt::cf::kNumberType;
}
CFTypeID CFBooleanGetTypeID(void)
{
    return vt::cf::kBooleanType;
}
CFTypeID CFDataGetTypeID(void)
{
    return vt::cf::kDataType;
}

CFNumberRef CFNumberCreate(CFAllocatorRef, CFNumberType theType, const void* valuePtr)
{
    if (valuePtr == nullptr || !isKnownType(theType))
        return nullptr;
    auto* number = new __CFNumber;
    number->storedType = theType;
    if (isFloatType(theType)) {
        number->value.isFloat = true;
        if (theType == kCFNumberFloat32Type || theType == kCFNumberFloatType) {
            float f;
            std::memcpy(&f, valuePtr, sizeof f);
            number->value.real = f;
            number->storedType = kCFNumberFloat32Type;
        } else {
            std::memcpy(&number->value.real, valuePtr, sizeof(double));
            number->storedType = kCFNumberFloat64Type;
        }
        return number;
    }
    switch (integerWidth(theType)) {
    case 1:
        number->value.integer = loadInteger<SInt8>(valuePtr);
        number->storedType = kCFNumberSInt8Type;
        break;
    case 2:
        number->value.integer = loadInteger<SInt16>(valuePtr);
        number->storedType = kCFNumberSInt16Type;
        break;
    case 4:
        number->value.integer = loadInteger<SInt32>(valuePtr);
        number->storedType = kCFNumberSInt32Type;
        break;
    default:
        number->value.integer = loadInteger<SInt64>(valuePtr);
        number->storedType = kCFNumberSInt64Type;
        break;
    }
    return number;
}

CFNumberType CFNumberGetType(CFNumberRef number)
{
    const auto* n = vt::cf::as<__CFNumber>(number, vt::cf::kNumberType);
    return n == nullptr ? 0 : n->storedType;
}

Boolean CFNumberIsFloatType(CFNumberRef number)
{
    const auto* n = vt::cf::as<__CFNumber>(number, vt::cf::kNumberType);
    return n != nullptr && n->value.isFloat;
}

Boolean CFNumberGetValue(CFNumberRef number, CFNumberType theType, void* valuePtr)
{
    const auto* n = vt::cf::as<__CFNumber>(number, vt::cf::kNumberType);
    if (n == nullptr || valuePtr == nullptr || !isKnownType(theType))
        return false;
    if (isFloatType(theType)) {
        double d = n->asDouble();
        if (theType == kCFNumberFloat32Type || theType == kCFNumberFloatType) {
            float f = static_cast<float>(d);
            std::memcpy(valuePtr, &f, sizeof f);
            return std::isnan(d) || static_cast<double>(f) == d;
        }
        std::memcpy(valuePtr, &d, sizeof d);
        return n->value.isFloat || static_cast<SInt64>(d) == n->value.integer;
    }
    size_t width = integerWidth(theType);
    if (n->value.isFloat) {
        switch (width) {
        case 1:
            return storeIntegerFromDouble<SInt8>(n->value.real, valuePtr);
        case 2:
            return storeIntegerFromDouble<SInt16>(n->value.real, valuePtr);
        case 4:
            return storeIntegerFromDouble<SInt32>(n->value.real, valuePtr);
        default:
            return storeIntegerFromDouble<SInt64>(n->value.real, valuePtr);
        }
    }
    switch (width) {
    case 1:
        return storeInteger<SInt8>(n->value.integer, valuePtr);
    case 2:
        return storeInteger<SInt16>(n->value.integer, valuePtr);
    case 4:
        return storeInteger<SInt32>(n->value.integer, valuePtr);
    default:
        return storeInteger<SInt64>(n->value.integer, valuePtr);
    }
}

Boolean CFBooleanGetValue(CFBooleanRef boolean)
{
    const auto* b = vt::cf::as<__CFBoolean>(boolean, vt::cf::kBooleanType);
    return b != nullptr && b->value;
}

CFDataRef CFDataCreate(CFAllocatorRef, const UInt8* bytes, CFIndex length)
{
    if (length < 0 || (bytes == nullptr && length > 0))
        return nullptr;
    auto* data = new __CFData;
    if (length > 0)
        data->bytes.assign(bytes, bytes + length);
    return data;
}

CFIndex CFDataGetLength(CFDataRef theData)
{
    const auto* d = vt::cf::as<__CFData>(theData, vt::cf::kDataType);
    return d == nullptr ? 0 : static_cast<CFIndex>(d->bytes.size());
}

const UInt8* CFDataGetBytePtr(CFDataRef theData)
{
    const auto* d = vt::cf::as<__CFData>(theData, vt::cf::kDataType);
    return d == nullptr ? nullptr : d->bytes.data();
}

} // extern "C"
