// SPDX-License-Identifier: GPL-3.0-or-later
// Passive three-knob tone stack (treble, bass, middle) with a contour control.
//
// What it models: the classic passive stack of a treble pot R1, bass pot R2,
// middle pot R3, a fourth resistor R4 and capacitors C1, C2, C3, solved
// symbolically as a third-order transfer function whose coefficients are
// polynomials in the control positions:
//
//   H(s) = (b1 s + b2 s^2 + b3 s^3) / (1 + a1 s + a2 s^2 + a3 s^3)
//
// with t = treble, m = middle, l = 10^(2 (low - 1.001)) (audio-taper bass,
// 0.009954 .. 0.995405) and r4 = contour * R4; contour 0 removes most of the
// insertion loss and the mid scoop, contour 1 is the full stack.  The
// numerator has no constant term: the stack passes no DC.
//
// Discretised by the bilinear transform with w = 2 * rate (no prewarping):
//   B0 = -b1 w - b2 w^2 -   b3 w^3     A0 = -1 - a1 w - a2 w^2 -   a3 w^3
//   B1 = -b1 w + b2 w^2 + 3 b3 w^3     A1 = -3 - a1 w + a2 w^2 + 3 a3 w^3
//   B2 =  b1 w + b2 w^2 - 3 b3 w^3     A2 = -3 + a1 w + a2 w^2 - 3 a3 w^3
//   B3 =  b1 w - b2 w^2 +   b3 w^3     A3 = -1 + a1 w - a2 w^2 +   a3 w^3
// and run in transposed direct form II with coefficients divided by A0.
// State: three doubles; no latency.
//
// The digital coefficients are recomputed inside processToneStack, on the
// audio thread, whenever one of the four controls differs from the cached
// value (exact comparison).  The chain passes block-constant controls, so
// that is at most once per block.
//
// The filter step is written once, as stepToneStack over a lane type
// (dsp/lanes.h), for one stack or several side by side in SIMD lanes.
#pragma once

#include "dsp/lanes.h"

namespace vorla {

/// The normalised digital coefficients of stacks, one per lane.
template <class L> struct ToneStackCoefficients
{
    L B0n{}, B1n{}, B2n{}, B3n{}; // B0/A0 .. B3/A0
    L A1n{}, A2n{}, A3n{};        // A1/A0 .. A3/A0
};

/// The filter state of stacks (transposed direct form II), one per lane.
template <class L> struct ToneStackState
{
    L s0{}, s1{}, s2{};
};

struct ToneStack : ToneStackCoefficients<double>, ToneStackState<double>
{
    // Components (farads, ohms), stored by designToneStack.  The coefficient
    // formulas are evaluated from these, every product in its written order,
    // so the coefficients are the same bits whenever they are recomputed.
    double C1 = 0.0, C2 = 0.0, C3 = 0.0;
    double R1 = 0.0, R2 = 0.0, R3 = 0.0, R4 = 0.0;

    // Rate terms: w = 2 * rate, w^2, w^3.
    double w = 0.0, w2 = 0.0, w3 = 0.0;

    // A0 (the other digital coefficients, divided by it, are in the base).
    double A0 = 0.0;

    // Control cache: the raw 0..1 values the coefficients were made for.
    double low = 10.0, mid = 10.0, high = 10.0, contour = 10.0;
};

// Stores the components and the rate terms (rate = processing rate in
// hertz), clears the state and invalidates the control cache (10.0), so the
// next processToneStack recomputes the coefficients.  Not for the audio
// thread.
void designToneStack(double C1, double C2, double C3, double R1, double R2, double R3, double R4,
                     double rate, ToneStack& ts);

// Recomputes and caches the digital coefficients for the given controls.
// Runs on the audio thread (called from processToneStack when a control
// changed): it must stay allocation-free and lock-free; one pow() and a few
// hundred multiply-adds.
void updateToneStackCoefficients(ToneStack& ts, double low, double mid, double high,
                                 double contour) noexcept;

// True when the controls differ from those the coefficients were made for.
inline bool toneStackControlsChanged(const ToneStack& ts, double low, double mid, double high,
                                     double contour) noexcept
{
    return low != ts.low || mid != ts.mid || high != ts.high || contour != ts.contour;
}

// The filter step of the stacks in the lanes, on coefficients already made
// for the controls.  Audio thread.
template <class L>
VORLA_LANE_INLINE void stepToneStack(const ToneStackCoefficients<L>& k, ToneStackState<L>& state,
                                     L& sample) noexcept;

// One sample; low, mid, high and contour are the raw knob values (0..1).
// Audio thread; no allocation.
inline void processToneStack(ToneStack& ts, double low, double mid, double high, double contour,
                             double& sample) noexcept;

// ---------------------------------------------------------------------------
// Inline implementation
// ---------------------------------------------------------------------------

template <class L>
VORLA_LANE_INLINE void stepToneStack(const ToneStackCoefficients<L>& k, ToneStackState<L>& s,
                                     L& sample) noexcept
{
    const L x = sample;
    const L y = k.B0n * x + s.s0;
    s.s0 = k.B1n * x + s.s1 - k.A1n * y;
    s.s1 = k.B2n * x + s.s2 - k.A2n * y;
    s.s2 = k.B3n * x - k.A3n * y;
    sample = y;
}

inline void processToneStack(ToneStack& ts, double low, double mid, double high, double contour,
                             double& sample) noexcept
{
    if (toneStackControlsChanged(ts, low, mid, high, contour))
    {
        // Audio thread: allocation-free coefficient update.
        updateToneStackCoefficients(ts, low, mid, high, contour);
    }
    stepToneStack<double>(ts, ts, sample);
}

} // namespace vorla
