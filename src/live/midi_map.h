// SPDX-License-Identifier: GPL-3.0-or-later
// midi_map.h - what vorla-live does with the MIDI it receives: the foot
// controller's map.  One table, read by the audio thread and printed by
// --help, so the two cannot disagree.
//
// Any MIDI channel.  Program Change 0-9 selects programs 0-9 (the numbering
// of --program); higher program numbers are ignored.  Control Changes:
//   20-34  the fifteen amplifier parameters in their order (20 Input ...
//          34 LowQ/HighQ): value / 127; a switch is on from 64
//   85     gate on (64-127) / off (0-63)
//   86     gate threshold: 0 = -96 dBFS ... 127 = 0 dBFS
//   87     cabinet on / off
//   88     cabinet choice: 0 the first of the list in the window (the
//          built-ins, then your own), 1 the next, ...; past the end: the last
//   89     mute on / off
//   120    All Sound Off: the amplifier returns to rest at once (panic)
#pragma once

#include <cstdint>

namespace vorla::live {

inline constexpr int32_t kFirstParameterCc = 20; // CC 20 + index: parameter index
inline constexpr int32_t kGateOnCc = 85;
inline constexpr int32_t kGateThresholdCc = 86;
inline constexpr int32_t kCabinetOnCc = 87;
inline constexpr int32_t kCabinetChoiceCc = 88;
inline constexpr int32_t kMuteCc = 89;
inline constexpr int32_t kAllSoundOffCc = 120;

/// The gate threshold a CC value (0..127) stands for, in dBFS.
constexpr float gateThresholdOfCc(int32_t value)
{
    return -96.0f + 96.0f * static_cast<float>(value) / 127.0f;
}

/// The map as --help and the README print it.
inline constexpr const char* kMidiMapText =
    R"(MIDI (any channel):
  Program Change 0-9   program 0-9 (as --program)
  CC 20-34             the amplifier's parameters in order: 20 Input, 21 Channel,
                       22 Clean/Crunch, 23 Overdrive Boost, 24 Bright/Normal,
                       25 Drive1, 26 Drive2, 27 Low, 28 Mid, 29 High, 30 Contour,
                       31 Power Amp, 32 Volume, 33 Mono/Stereo, 34 LowQ/HighQ
                       (value / 127; a switch is on from 64)
  CC 85                gate on (64-127) or off (0-63)
  CC 86                gate threshold, 0 = -96 dBFS ... 127 = 0 dBFS
  CC 87                cabinet on or off
  CC 88                cabinet: 0 = the first in the window's list, 1 the next, ...
  CC 89                mute on or off
  CC 120               All Sound Off: the amplifier back to rest (panic)
)";

} // namespace vorla::live
