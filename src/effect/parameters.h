// SPDX-License-Identifier: GPL-3.0-or-later
// parameters.h - the fifteen automatable parameters of the amplifier.
//
// Every parameter is a normalised float 0..1.  Six of them are two-state
// switches (on at 0.5 or more), the other nine are continuous knobs whose
// meaning the amplifier chain gives them.  The index order is what the host
// and the editor see; the current values and the program records keep a
// slightly different storage order (Power Amp last), which is part of the
// stored chunk format and therefore fixed.
//
// The indices (kInput ... kQuality, kNumParams), kNumPrograms and the stored
// record types keep the global names the VST-facing code uses everywhere
// (like AudioEffect and the toolkit's C* classes); the helpers below are
// ours and live in namespace vorla.
#pragma once

#include <cstddef>
#include <cstdint>

/// Parameter indices as the host and the editor's control tags use them.
enum VorlaParameter : int32_t
{
    kInput = 0,
    kChannel = 1,     // switch: Overdrive channel when on
    kCleanCrunch = 2, // switch: Crunch voicing when on
    kBoost = 3,       // switch: Overdrive boost
    kBright = 4,      // switch
    kDrive1 = 5,      // drive of the Crunch voicing
    kDrive2 = 6,      // drive of the Overdrive channel
    kLow = 7,
    kMid = 8,
    kHigh = 9,
    kContour = 10,
    kPowerAmp = 11,
    kVolume = 12,
    kMonoStereo = 13, // switch: stereo when on
    kQuality = 14,    // switch: doubles the oversampling factor when on
    kNumParams = 15,
};

/// Programs in the bank.
constexpr int32_t kNumPrograms = 10;

namespace vorla {

/// A switch parameter is on at this value or above.
constexpr float kSwitchThreshold = 0.5f;

/// Maps a parameter index (0..14) to its slot in the stored value arrays.
/// Indices 0..10 keep their place; Power Amp (11) is stored last and Volume,
/// Mono/Stereo and Quality (12..14) one place earlier than their index.
/// Callers check the range first; the mapping of other numbers is meaningless.
constexpr int storageSlot(int index)
{
    if (index == kPowerAmp)
        return 14;
    if (index > kPowerAmp)
        return index - 1;
    return index;
}

static_assert(storageSlot(kContour) == 10);
static_assert(storageSlot(kPowerAmp) == 14);
static_assert(storageSlot(kVolume) == 11);
static_assert(storageSlot(kMonoStereo) == 12);
static_assert(storageSlot(kQuality) == 13);

/// True for 0..14.
constexpr bool isParameterIndex(int32_t index)
{
    return index >= 0 && index < kNumParams;
}

/// True for the six two-state switches (Channel, Clean/Crunch, Boost,
/// Bright, Mono/Stereo, LowQ/HighQ); false for the knobs and for numbers
/// outside 0..14.
constexpr bool isSwitchParameter(int32_t index)
{
    switch (index)
    {
    case kChannel:
    case kCleanCrunch:
    case kBoost:
    case kBright:
    case kMonoStereo:
    case kQuality: return true;
    default: return false;
    }
}

/// The value every program holds when the bank is created: 0.5 for the
/// knobs, 0.0 (off) for the switches.
constexpr float parameterDefault(int32_t index)
{
    return isSwitchParameter(index) ? 0.0f : 0.5f;
}

/// Room for the longest parameter name ("Overdrive Boost") and its
/// terminator.
constexpr std::size_t kParameterNameSize = 16;

/// The name the host shows for a parameter ("Input", "Overdrive Boost", ...),
/// or null outside 0..14.
const char* parameterName(int32_t index) noexcept;

} // namespace vorla
