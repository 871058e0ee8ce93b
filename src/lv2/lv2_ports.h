// SPDX-License-Identifier: GPL-3.0-or-later
// lv2_ports.h - what the LV2 plug-in, its UI and the generator of its Turtle
// files agree on: the URIs, the port indices and symbols, the messages.
//
// Ports, in index order (what hosts connect and what saved sessions name by
// symbol):
//    0..14  the fifteen parameters as control inputs, in the order of
//           effect/parameters.h (kInput .. kQuality), range 0..1
//   15, 16  audio inputs (the second is read in stereo mode only)
//   17, 18  audio outputs
//   19      atom input "control": patch:Get from the UI asks for the memories
//   20      atom output "notify": a kMemoriesMessage object with the program
//           record whenever the voicings' knob memories change, and when
//           asked
//
// State: one property, kProgramKey, holding the 336-byte program record
// (effect/program.h) as a value of type kProgramRecordType.  The type names
// the record's format: a future format gets a type URI of its own, and a
// restore of a type it does not know leaves the amplifier as it was.
#pragma once

#include "effect/parameters.h"

#include <array>
#include <cstdint>

namespace vorla::lv2 {

inline constexpr const char* kPluginUri = "urn:zembo-plugins:vorla";
inline constexpr const char* kUiUri = "urn:zembo-plugins:vorla:ui";
/// The state property (and the key of the record in the notify messages).
inline constexpr const char* kProgramKey = "urn:zembo-plugins:vorla:program";
/// The type of the notify messages.
inline constexpr const char* kMemoriesMessage = "urn:zembo-plugins:vorla:Memories";
/// The datatype of its value: the 336-byte record, format 1.
inline constexpr const char* kProgramRecordType = "urn:zembo-plugins:vorla:ProgramRecordV1";
/// Presets are kPresetUriPrefix followed by the program number, 1..10.
inline constexpr const char* kPresetUriPrefix = "urn:zembo-plugins:vorla:preset:";

/// File names inside the bundle.
inline constexpr const char* kDspBinary = "vorla_dsp.so";
inline constexpr const char* kUiBinary = "vorla_ui.so";

enum PortIndex : uint32_t
{
    kFirstControlPort = 0, // parameter i is port i
    kAudioIn1 = kNumParams,
    kAudioIn2,
    kAudioOut1,
    kAudioOut2,
    kControlIn,
    kNotifyOut,
    kPortCount,
};
static_assert(kAudioIn1 == 15 && kNotifyOut == 20);

/// Port symbols of the fifteen parameters.  Saved sessions and presets refer
/// to ports by symbol, so these never change, whatever a parameter's name
/// becomes.
// clang-format off
inline constexpr std::array<const char*, kNumParams> kParameterSymbols = {
    "input",  "channel", "clean_crunch", "boost", "bright",
    "drive1", "drive2",  "low",          "mid",   "high",
    "contour", "power_amp", "volume",    "stereo", "high_quality",
};
// clang-format on

/// Room the notify port needs for one message (the sequence header, one
/// event with an object carrying the 336-byte record), rounded up.
inline constexpr uint32_t kNotifyMessageBytes = 512;
/// What the notify port asks of the host (rsz:minimumSize).
inline constexpr uint32_t kNotifyBufferBytes = 2048;

} // namespace vorla::lv2
