// SPDX-License-Identifier: GPL-3.0-or-later
// Second-order IIR sections (biquads) for the tone shaping of the chain.
//
// What it models: analogue second-order low-pass, low-shelf, peaking and
// high-pass prototypes, discretised with the bilinear transform and
// frequency prewarping at the processing rate:
//
//   K = tan(0.5 * kModelTwoPi * f / rate)
//   shared denominator:  a0 = K^2 + K/Q + 1  (stored as norm = 1/a0)
//                        a1 = 2 (K^2 - 1),   a2 = K^2 - K/Q + 1
//   low-pass     b = K^2, 2 K^2, K^2                          (DC gain 1)
//   low shelf    b = V K^2 + sqrt(2V) K + 1, 2 (V K^2 - 1),
//                    V K^2 - sqrt(2V) K + 1          (DC gain V, Nyquist 1)
//   peak         b = K^2 + G K/Q + 1, 2 (K^2 - 1), K^2 - G K/Q + 1
//                                               (gain G at f, 1 far away)
//   high-pass    b = 1, -2, 1                           (Nyquist gain 1)
//
// Direct form I, coefficients not normalised except through norm:
//   y = (b0 x + b1 x1 + b2 x2 - a1 y1 - a2 y2) norm
// State: four doubles (x1, x2, y1, y2); no latency.  Double precision.
//
// Every design clears the history.  The high-pass (the DC blocker after the
// power stage) presets its input history to the power stage's rest output,
// kTubeRestOutput, so a silent input starts without a step.
//
// The step is written once, as stepBiquad over a lane type (dsp/lanes.h):
// one section on a double, or several sections side by side in SIMD lanes.
#pragma once

#include "dsp/lanes.h"

namespace vorla {

// Output of the tube transfer curve for zero input: the rest level the DC
// blocker's input history is preset to.  Equals the table's y at x = 0.
inline constexpr double kTubeRestOutput = -0.212997229504;

/// The coefficients of sections, one per lane.
template <class L> struct BiquadCoefficients
{
    L norm{}; // 1 / a0
    L a1{};   // feedback of y[n-1], not normalised
    L a2{};   // feedback of y[n-2], not normalised
    L b0{};
    L b1{};
    L b2{};
};

/// The histories of sections, one per lane.
template <class L> struct BiquadState
{
    L x1{}; // the last two inputs
    L x2{};
    L y1{}; // the last two outputs
    L y2{};
};

struct Biquad : BiquadCoefficients<double>, BiquadState<double>
{
};

// Designs: f in hertz (0 < f < rate / 2), Q > 0, V and G linear gains > 0,
// rate the processing rate in hertz.  They write every coefficient and reset
// the history.  Not for the audio thread (they call libm).
void designLowpass(double f, double Q, double rate, Biquad& bq);
void designLowShelf(double f, double Q, double V, double rate, Biquad& bq);
void designPeak(double f, double Q, double G, double rate, Biquad& bq);
void designHighpass(double f, double Q, double rate, Biquad& bq);

// One sample through the sections in the lanes.  Audio thread.
template <class L>
VORLA_LANE_INLINE void stepBiquad(const BiquadCoefficients<L>& k, BiquadState<L>& state,
                                  L& sample) noexcept;

// One sample through the section.  Audio thread; no allocation.
inline void processBiquad(Biquad& bq, double& sample) noexcept;

// ---------------------------------------------------------------------------
// Inline implementation
// ---------------------------------------------------------------------------

template <class L>
VORLA_LANE_INLINE void stepBiquad(const BiquadCoefficients<L>& k, BiquadState<L>& s,
                                  L& sample) noexcept
{
    const L x = sample;
    const L y = (k.b0 * x + k.b1 * s.x1 + k.b2 * s.x2 - k.a1 * s.y1 - k.a2 * s.y2) * k.norm;
    s.x2 = s.x1;
    s.x1 = x;
    s.y2 = s.y1;
    s.y1 = y;
    sample = y;
}

inline void processBiquad(Biquad& bq, double& sample) noexcept
{
    stepBiquad<double>(bq, bq, sample);
}

} // namespace vorla
