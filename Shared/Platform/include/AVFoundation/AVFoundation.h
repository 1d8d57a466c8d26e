// AVFoundation stand-in: the microphone permission request. Whether the
// media asset class exists is asked with NSClassFromString("AVURLAsset")
// (Foundation.h).
#pragma once

#include <Foundation/Foundation.h>

using AVMediaType = NSString;
extern const AVMediaType AVMediaTypeAudio;

class AVCaptureDevice {
public:
    // Any thread: asks for access to the audio input and answers on another
    // thread, as macOS does. Linux has no such permission, so access is
    // granted (tests can make it deny through the scripted user's world).
    static void requestAccessForMediaType(const AVMediaType& mediaType, std::function<void(bool granted)> handler);
};
