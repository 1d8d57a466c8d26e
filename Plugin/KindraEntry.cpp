// The bundle's entry: the host calls it once per instance with its callback.
#include "KindraEditor.h"
#include "KindraEffect.h"

#include <new>

namespace {

AEffect* createEffect(audioMasterCallback host)
{
    // Without a host there is no one to serve; a failed allocation is a
    // failed load, not an exception across the C boundary.
    if (host == nullptr)
        return nullptr;
    auto* effect = new (std::nothrow) KindraEffect(host);
    if (effect == nullptr)
        return nullptr;
    effect->attachWindow(std::unique_ptr<KindraEditorWindow>(new (std::nothrow) KindraX11Editor(*effect)));
    return effect->effect();
}

} // namespace

extern "C" {

__attribute__((visibility("default"))) AEffect* VSTPluginMain(audioMasterCallback host)
{
    return createEffect(host);
}

// The entry name older hosts look for.
__attribute__((visibility("default"))) AEffect* main_macho(audioMasterCallback host)
{
    return createEffect(host);
}
}
