// SPDX-License-Identifier: GPL-3.0-or-later
// noise_gate.h - a noise gate for a guitar's input: quiet between notes,
// untouched while a note sounds.
//
// What it models: the gate of a pedalboard, a level detector driving a gain
// element.
//  - Detector: a peak follower on the absolute input, instant rise and an
//    exponential fall with a time constant of 4 ms (a plucked string decays
//    far slower, so the follower traces the note's envelope; the dips between
//    the peaks of a low string's cycles are bridged by the hold).
//  - Two thresholds (hysteresis): the gate opens when the envelope exceeds
//    the threshold and starts to close only when it has fallen 6 dB below
//    it.  String noise that hovers at the threshold therefore cannot
//    make it chatter.
//  - Hold: once below the closing threshold, the gate stays open 15 ms
//    longer (renewed by every peak above the opening threshold), which
//    bridges the cycles of a low E (12 ms) and the gap between two picks.
//  - Attack: the gain rises linearly from where it is to 1 in 0.5 ms - fast
//    enough to keep the pick's transient, slow enough not to click.
//  - Release: the gain falls exponentially, -60 dB after 50 ms, and is zero
//    once below -100 dB.  With the detector's fall and the hold, a note
//    20 dB above the threshold that stops dead is about 40 dB down 60 ms later:
//    a palm-muted sixteenth-note riff at 160 bpm stays tight.
//
// State: envelope, gain, hold counter, open flag; no latency (the gain
// follows the detector without look-ahead).  The coefficients are designed
// off the audio path (design); process() is one multiply per sample.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace vorla {

struct NoiseGateTimes
{
    double attack = 0.0005;      // seconds from closed to open
    double hold = 0.015;         // seconds kept open after the level fell
    double release = 0.050;      // seconds to -60 dB
    double detectorFall = 0.004; // time constant of the peak follower
    double hysteresisDb = 6.0;   // closing threshold below the opening one
};

struct NoiseGate
{
    // --- Coefficients ---------------------------------------------------------
    float openLevel = 0.0f;  // linear, the opening threshold
    float closeLevel = 0.0f; // linear, the closing threshold
    float detectorDecay = 0.0f;
    float attackStep = 1.0f; // gain added per sample while opening
    float releaseFactor = 0.0f;
    int32_t holdSamples = 0;

    // --- State -----------------------------------------------------------------
    float envelope = 0.0f;
    float gain = 0.0f;
    int32_t holdLeft = 0;
    bool open = false;

    /// Designs for host rate `rate` (Hz) and opening threshold `thresholdDb`
    /// (dBFS); keeps the state.  A rate that is not positive leaves the gate
    /// as it was.
    void design(double rate, double thresholdDb, const NoiseGateTimes& times = {}) noexcept
    {
        if (!(rate > 0.0) || !std::isfinite(thresholdDb))
            return;
        openLevel = static_cast<float>(std::pow(10.0, thresholdDb / 20.0));
        closeLevel = static_cast<float>(std::pow(10.0, (thresholdDb - times.hysteresisDb) / 20.0));
        detectorDecay = static_cast<float>(std::exp(-1.0 / (times.detectorFall * rate)));
        attackStep = static_cast<float>(1.0 / std::max(1.0, times.attack * rate));
        // 60 dB is a factor 1000: (releaseFactor)^(release * rate) = 1e-3.
        releaseFactor =
            static_cast<float>(std::pow(1e-3, 1.0 / std::max(1.0, times.release * rate)));
        holdSamples = static_cast<int32_t>(std::lround(times.hold * rate));
    }

    /// Back to closed and silent, as a new gate.
    void clear() noexcept
    {
        envelope = 0.0f;
        gain = 0.0f;
        holdLeft = 0;
        open = false;
    }

    /// The gain for one sample whose detector level is `level` (the largest
    /// absolute value of the channels at that instant).
    float step(float level) noexcept
    {
        envelope = std::max(level, envelope * detectorDecay);
        if (envelope > openLevel)
        {
            open = true;
            holdLeft = holdSamples;
        }
        else if (open && envelope < closeLevel)
        {
            if (holdLeft > 0)
                --holdLeft;
            else
                open = false;
        }
        if (open)
            gain = std::min(1.0f, gain + attackStep);
        else
        {
            gain *= releaseFactor;
            if (gain < 1e-5f)
                gain = 0.0f;
        }
        return gain;
    }
};

} // namespace vorla
