// SPDX-License-Identifier: GPL-3.0-or-later
// amp_controls.h - what the amplifier reads of its controls, and when.
//
// The continuous knobs hold still for a block: the caller takes them once at
// block entry (so the tone stack recomputes at most once per block).  The
// switches and the Volume knob are read where the model tests them - the
// switches at every oversampled pair, the mono/stereo switch and Volume at
// every host sample - so a change made on another thread during a long
// block takes effect within it.  Whoever owns the controls (the effect
// core) keeps them as relaxed atomics and hands the amplifier a view.
//
// Values arrive as the controls store them, which may be outside 0..1 (a
// host reads back what it wrote); the model takes every one within 0..1.
#pragma once

#include "chain/amp_channel.h"

#include <algorithm>
#include <atomic>
#include <cstdint>

namespace vorla {

/// The continuous knobs of one block, as stored (normalised; the drive
/// knobs are Drive1 for Crunch and Drive2 for Overdrive).
struct KnobSettings
{
    float input = 0.5f;
    float drive1 = 0.5f;
    float drive2 = 0.5f;
    float low = 0.5f;
    float mid = 0.5f;
    float high = 0.5f;
    float contour = 0.5f;
    float powerAmp = 0.5f;
};

/// The switches the model tests, each 0 or 1.  Written by any thread,
/// read by the audio thread, all relaxed: each is one value on its own.
struct SwitchFlags
{
    std::atomic<int32_t> channelOverdrive{0};
    std::atomic<int32_t> crunchOn{0};
    std::atomic<int32_t> boostOn{0};
    std::atomic<int32_t> brightOn{0};
    std::atomic<int32_t> stereoOn{0};
};

/// What one block reads: the knobs taken at its entry, and the live
/// switches and Volume (never null).
struct BlockControls
{
    KnobSettings knobs;
    const SwitchFlags* switches = nullptr;
    const std::atomic<float>* volume = nullptr;
};

/// A stored control value as the model reads it: within 0..1, as a double.
inline double modelValue(float value) noexcept
{
    return static_cast<double>(std::clamp(value, 0.0f, 1.0f));
}

/// The block snapshot of the model: the knobs within 0..1 and the laws
/// that follow from them (contour level, power drive, drive gains).
BlockSnapshot makeBlockSnapshot(const KnobSettings& knobs) noexcept;

/// The flags one oversampled pair tests, read now.
inline PairFlags readPairFlags(const SwitchFlags& switches) noexcept
{
    constexpr std::memory_order relaxed = std::memory_order_relaxed;
    PairFlags flags;
    flags.channelOverdrive = switches.channelOverdrive.load(relaxed);
    flags.crunchOn = switches.crunchOn.load(relaxed);
    flags.boostOn = switches.boostOn.load(relaxed);
    flags.brightOn = switches.brightOn.load(relaxed);
    return flags;
}

} // namespace vorla
