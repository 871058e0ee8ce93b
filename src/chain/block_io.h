// SPDX-License-Identifier: GPL-3.0-or-later
// block_io.h - what happens to a sample where it crosses between the host
// and the amplifier.
//
// In: a sample that is not finite or beyond +60 dBFS enters as silence, and
// a tiny sine is added (valve-stage states left at exactly zero or in
// subnormals cost dearly).  Out: the decimated sample times the output gain
// and the Volume knob.
#pragma once

#include "chain/amp_controls.h"
#include "dsp/model_constants.h"

#include <atomic>
#include <cmath>
#include <cstdint>

namespace vorla {

/// Phase step of the anti-denormal sine per unit of samplePeriod: a 1 kHz
/// tone at the processing rate, with the model's 2 pi.
inline constexpr double kAntiDenormalPhase = kModelTwoPi * 1000.0;
inline constexpr double kAntiDenormalLevel = 1e-10;
/// Level from the DC blocker to the output before the Volume knob.
inline constexpr double kOutputGain = 3.0;
/// Input samples beyond this magnitude enter as silence, like NaN and
/// infinity.  A thousand times full scale (+60 dBFS) is far beyond anything
/// a guitar, a converter or a sane gain structure delivers, and at that level
/// the input stage is already deep in grid current, so nothing audible is
/// lost.  Larger samples would charge the stages' coupling capacitors in
/// proportion to their size, and the charge drains with the logarithm of it:
/// a burst of 1e30 kept the amplifier muted for four seconds, one at this
/// limit is forgotten in about 0.7 s.
inline constexpr float kInputLimit = 1000.0f;

/// The anti-denormal sine 1e-10 sin(n * phaseStep) for n = 0 .. filled - 1:
/// hosts repeat the same block length, so the values of one block serve the
/// next.  Refilled when the processing rate changes.
struct AntiDenormalTable
{
    static constexpr int32_t kSize = 4096;
    double phaseStep = 0.0;
    int32_t filled = 0;
    double values[kSize] = {};

    /// The sine at count n (n counts down to 0 at a block's last frame).
    double at(int32_t n) const noexcept
    {
        return n < kSize ? values[n]
                         : kAntiDenormalLevel * std::sin(static_cast<double>(n) * phaseStep);
    }
};

/// A host sample as it enters the model: silence if not finite or beyond
/// the limit, plus the anti-denormal sine, rounded to float.
inline float enterSample(float sample, double antiDenormal) noexcept
{
    // The comparison is false for NaN.
    const float accepted = std::fabs(sample) <= kInputLimit ? sample : 0.0f;
    return static_cast<float>(static_cast<double>(accepted) + antiDenormal);
}

/// The output level: the decimated sample times the output gain, times the
/// Volume knob read now.
inline float outputLevel(float y, const std::atomic<float>& volume) noexcept
{
    const double v = static_cast<double>(y) * kOutputGain;
    return static_cast<float>(v * modelValue(volume.load(std::memory_order_relaxed)));
}

} // namespace vorla
