// The offline render to a WAV file, from the main menu: the render core
// writes a temporary file, the user saves it where they like, and the
// temporary file never stays behind.
#include "PluginWindow.h"
#include "VTAudioFileWAV.h"
#include "VTBounceRender.h"

#include <cmath>
#include <memory>

namespace {

// The bounce's outcome, titled with the plug-in's name.
void showBounceAlert(const NSString& pluginName, const char* text, NSAlertStyle style)
{
    NSAlert alert;
    alert.setMessageText(pluginName);
    alert.setInformativeText(text);
    alert.setAlertStyle(style);
    alert.runModal();
}

unsigned integerRate(double sampleRate)
{
    return std::isfinite(sampleRate) && sampleRate > 0.0 && sampleRate < 4294967296.0
               ? static_cast<unsigned>(sampleRate)
               : 0;
}

} // namespace

bool PluginWindow::canBounce()
{
    return true;
}

void bounceDoneCallback(bool done, int frames, void* window)
{
    auto* self = static_cast<PluginWindow*>(window);
    self->bounceFramesOffset = frames;
    self->bounceDone = done;
}

void PluginWindow::bounce()
{
    // --- the plug-in reports its end to this window
    _hostLib.m_host.m_bounceDoneCallback = bounceDoneCallback;
    _hostLib.m_host.m_bounceDoneCustomData = this;

    // --- the temporary file, opened with a header for 0 frames
    NSDateFormatter formatter;
    formatter.setDateFormat("yyyy.MM.dd-HH:mm:ss");
    const NSString name = NSString::stringWithFormat("Bounce %@.wav", formatter.stringFromDate(NSDate::date()));
    const NSString path = NSString::stringWithFormat("%@/%@", NSTemporaryDirectory(), name);
    NSFileManager* files = NSFileManager::defaultManager();
    auto writer = std::make_unique<VTAudioFileWAV>();
    if (!writer->writeFile(path.UTF8String(), 0, integerRate(_hostLib.m_host.m_vstTimeInfo.sampleRate),
                           VTBounceRender::kEncoding)) {
        // A file that opened but took no header is no use to anyone.
        files->removeItemAtPath(path);
        showBounceAlert(_pluginName, "Error creating temporary file!", NSAlertStyleCritical);
        return;
    }

    // --- the render, live audio stopped meanwhile and running again after
    VTBounceRender render(_hostLib, _interface);
    const VTBounceResult result = render.run(*writer, bounceDone, bounceFramesOffset);

    // --- saving: a file that lost blocks (disk full) is never offered
    if (result.writeFailed) {
        showBounceAlert(_pluginName, "Error saving bounce!", NSAlertStyleCritical);
    } else {
        NSSavePanel panel;
        panel.setNameFieldStringValue(name);
        if (panel.runModal() == NSModalResponseOK) {
            if (files->moveItemAtPath(path, panel.URL().path()))
                showBounceAlert(_pluginName, "Bounce saved successfully!", NSAlertStyleInformational);
            else
                showBounceAlert(_pluginName, "Error saving bounce!", NSAlertStyleCritical);
        }
    }

    // --- the temporary file never stays behind
    files->removeItemAtPath(path);
}
