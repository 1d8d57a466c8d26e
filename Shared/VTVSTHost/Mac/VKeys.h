// The computer keyboard as the plug-in's editor reads it: the first
// character of a key event mapped to a VST 2 virtual key, and the index and
// modifiers that go with it in effEditKeyDown and effEditKeyUp.
//
// Thread contract: any thread (constant data and pure functions).
#pragma once

#include <AppKit/AppKit.h>

#include <cstdint>

struct VKeyRow {
    unichar character; // 0 in the placeholder rows
    uint8_t virtualKey;
};

// 55 rows; only the first placeholder (virtual key 3) can match, for the
// character 0.
extern const VKeyRow VKeys[55];

// The virtual key of the first row whose character is c; 0 when none is.
uint8_t vkeyForCharacter(unichar c);
// The index sent with the key: upper-case ASCII letters as lower case.
int keyIndexForCharacter(unichar c);
// The editor's modifier bits: 1 Shift, 2 Option, 8 Command (Control is not
// passed).
float keyModifiersForFlags(NSUInteger modifierFlags);
