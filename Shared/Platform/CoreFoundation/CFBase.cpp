// Reference counting and the generic object calls.
#include "CFObject.h"

using vt::cf::Object;

extern "C" {

CFTypeRef CFRetain(CFTypeRef cf)
{
    if (cf == nullptr)
        return nullptr;
    auto* obj = const_cast<Object*>(vt::cf::object(cf));
    if (!obj->immortal())
        obj->retainCount.fetch_add(1, std::memory_order_relaxed);
    return cf;
}

void CFRelease(CFTypeRef cf)
{
    // macOS crashes on a null release; the stand-in tolerates it so that a
    // failure path never turns into a crash.
    if (cf == nullptr)
        return;
    auto* obj = const_cast<Object*>(vt::cf::object(cf));
    if (obj->immortal())
        return;
    if (obj->retainCount.fetch_sub(1, std::memory_order_acq_rel) == 1)
        obj->lastReleased();
}

CFIndex CFGetRetainCount(CFTypeRef cf)
{
    if (cf == nullptr)
        return 0;
    return vt::cf::object(cf)->retainCount.load(std::memory_order_relaxed);
}

CFTypeID CFGetTypeID(CFTypeRef cf)
{
    return cf == nullptr ? 0 : vt::cf::object(cf)->typeID;
}

Boolean CFEqual(CFTypeRef cf1, CFTypeRef cf2)
{
    if (cf1 == cf2)
        return true;
    if (cf1 == nullptr || cf2 == nullptr)
        return false;
    const Object& a = *vt::cf::object(cf1);
    const Object& b = *vt::cf::object(cf2);
    return a.typeID == b.typeID && a.equals(b);
}

CFHashCode CFHash(CFTypeRef cf)
{
    return cf == nullptr ? 0 : vt::cf::object(cf)->hash();
}

} // extern "C"
