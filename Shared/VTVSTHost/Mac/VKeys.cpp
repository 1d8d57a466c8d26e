#include "VKeys.h"

// Row numbers are those the plug-in interface counts; rows 18, 22 to 37, 50,
// 52 and 53 hold no character.
const VKeyRow VKeys[55] = {
    {NSBackspaceCharacter, 1},      // VKEY_BACK
    {NSTabCharacter, 2},            // VKEY_TAB
    {0, 3},                         // VKEY_CLEAR
    {NSEnterCharacter, 4},          // VKEY_RETURN
    {NSPauseFunctionKey, 5},        // VKEY_PAUSE
    {27, 6},                        // VKEY_ESCAPE
    {' ', 7},                       // VKEY_SPACE
    {NSEndFunctionKey, 9},          // VKEY_END
    {NSHomeFunctionKey, 10},        // VKEY_HOME
    {NSLeftArrowFunctionKey, 11},   // VKEY_LEFT
    {NSUpArrowFunctionKey, 12},     // VKEY_UP
    {NSRightArrowFunctionKey, 13},  // VKEY_RIGHT
    {NSDownArrowFunctionKey, 14},   // VKEY_DOWN
    {NSPageUpFunctionKey, 15},      // VKEY_PAGEUP
    {NSPageDownFunctionKey, 16},    // VKEY_PAGEDOWN
    {NSSelectFunctionKey, 17},      // VKEY_SELECT
    {NSPrintScreenFunctionKey, 18}, // VKEY_PRINT
    {NSExecuteFunctionKey, 19},     // VKEY_ENTER
    {0, 20},                        // VKEY_SNAPSHOT
    {NSInsertFunctionKey, 21},      // VKEY_INSERT
    {NSDeleteFunctionKey, 22},      // VKEY_DELETE
    {NSHelpFunctionKey, 23},        // VKEY_HELP
    {0, 24},                        // VKEY_NUMPAD0 ... VKEY_DIVIDE
    {0, 25},
    {0, 26},
    {0, 27},
    {0, 28},
    {0, 29},
    {0, 30},
    {0, 31},
    {0, 32},
    {0, 33},
    {0, 34},
    {0, 35},
    {0, 36},
    {0, 37},
    {0, 38},
    {0, 39},
    {NSF1FunctionKey, 40}, // VKEY_F1 ... VKEY_F12
    {NSF1FunctionKey + 1, 41},
    {NSF1FunctionKey + 2, 42},
    {NSF1FunctionKey + 3, 43},
    {NSF1FunctionKey + 4, 44},
    {NSF1FunctionKey + 5, 45},
    {NSF1FunctionKey + 6, 46},
    {NSF1FunctionKey + 7, 47},
    {NSF1FunctionKey + 8, 48},
    {NSF1FunctionKey + 9, 49},
    {NSF1FunctionKey + 10, 50},
    {NSF12FunctionKey, 51},
    {0, 52},                       // VKEY_NUMLOCK
    {NSScrollLockFunctionKey, 53}, // VKEY_SCROLL
    {0, 54},                       // VKEY_SHIFT
    {0, 55},                       // VKEY_CONTROL
    {NSMenuFunctionKey, 56},       // VKEY_ALT
};

uint8_t vkeyForCharacter(unichar c)
{
    for (const VKeyRow& row : VKeys)
        if (row.character == c)
            return row.virtualKey;
    return 0;
}

int keyIndexForCharacter(unichar c)
{
    return c >= 'A' && c <= 'Z' ? c + 32 : c;
}

float keyModifiersForFlags(NSUInteger modifierFlags)
{
    int modifiers = 0;
    if ((modifierFlags & NSEventModifierFlagShift) != 0)
        modifiers += 1;
    if ((modifierFlags & NSEventModifierFlagOption) != 0)
        modifiers += 2;
    if ((modifierFlags & NSEventModifierFlagCommand) != 0)
        modifiers += 8;
    return static_cast<float>(modifiers);
}
