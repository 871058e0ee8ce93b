// SPDX-License-Identifier: GPL-3.0-or-later
// strip_layout.h - where things are on vorla-live's strip, the 660 x 64 panel
// below the editor.  The artwork (tools/gen_artwork.py --live, STRIP) draws
// the recessed windows at the same places; keep the two in step.
#pragma once

#include "gui/gui_types.h"

namespace vorla::live::strip {

inline constexpr int32_t kWidth = 660;
inline constexpr int32_t kHeight = 64;

inline constexpr CRect kInputDisplay{14, 20, 150, 37};
inline constexpr CRect kInputMeter{14, 42, 150, 50};
inline constexpr CRect kGateDisplay{158, 20, 262, 37};
inline constexpr CRect kCabinetDisplay{270, 20, 410, 37};
inline constexpr CRect kProgramDisplay{418, 20, 560, 37};
inline constexpr CRect kOutputMeter{568, 22, 646, 30};

// Click areas of the switches: the label rows of gate and cabinet, and the
// mute corner with its lamp.
inline constexpr CRect kGateSwitch{158, 3, 262, 19};
inline constexpr CRect kCabinetSwitch{270, 3, 410, 19};
inline constexpr CRect kMuteSwitch{568, 33, 646, 61};
inline constexpr CPoint kGateLamp{168, 8};    // small lamp, 8 x 8
inline constexpr CPoint kCabinetLamp{280, 8}; // small lamp, 8 x 8
inline constexpr CPoint kMuteLamp{622, 33};   // lamp, 12 x 27

// The message line under the displays.
inline constexpr CPoint kMessage{160, 43};
inline constexpr int32_t kMessageChars = 57;

// The meters' scale: -60 dBFS at the left end, 0 dBFS at the right.
inline constexpr float kMeterFloorDb = -60.0f;

} // namespace vorla::live::strip
