// SPDX-License-Identifier: GPL-3.0-or-later
// vst_key_code.h - a key event as VST 2.4 hosts pass it to an editor.
//
// A leaf of its own: the plug-in interface builds these from effEditKeyDown
// and effEditKeyUp, and the widget toolkit routes them to its views, so both
// include this header and neither needs the other.  The layout is the
// interface's (eight bytes, character first).
#pragma once

#include <cstddef>
#include <cstdint>

/// Key event passed to the editor (effEditKeyDown / effEditKeyUp).
struct VstKeyCode
{
    int32_t character;      // ASCII character, 0 for a virtual key
    unsigned char virt;     // VKEY_* code
    unsigned char modifier; // MODIFIER_* bits
};
static_assert(sizeof(VstKeyCode) == 8);
static_assert(offsetof(VstKeyCode, virt) == 4);
static_assert(offsetof(VstKeyCode, modifier) == 5);

/// Virtual key codes used by the editor.
enum VstVirtualKey : unsigned char
{
    VKEY_BACK = 1,
    VKEY_TAB = 2,
    VKEY_RETURN = 4,
    VKEY_ESCAPE = 10,
    VKEY_LEFT = 11,
    VKEY_UP = 12,
    VKEY_RIGHT = 13,
    VKEY_DOWN = 14,
};

/// Modifier bits of VstKeyCode::modifier.
enum VstModifierKey : unsigned char
{
    MODIFIER_SHIFT = 1 << 0,
    MODIFIER_ALTERNATE = 1 << 1,
    MODIFIER_COMMAND = 1 << 2,
    MODIFIER_CONTROL = 1 << 3,
};
