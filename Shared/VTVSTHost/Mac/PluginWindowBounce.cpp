// The offline render to a WAV file. This build does not offer it yet: the
// interface keeps the menu item disabled, so no user reaches bounce().
#include "PluginWindow.h"

bool PluginWindow::canBounce()
{
    return false;
}

void PluginWindow::bounce() {}
