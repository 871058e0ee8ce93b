// SPDX-License-Identifier: GPL-3.0-or-later
// Common-cathode triode gain stage, simulated at circuit level.
//
// What it models: a triode with a grid series resistor Rg, a cathode
// resistor Rk bypassed by Ck, a supply Vb through the plate resistor Rp, and
// an output coupling capacitor Cc into Ra + Rb.  Per sample:
//
//   grid current   if x - Vk >= 0:
//                    Vg = (sqrt(1 + 4 F (x - Vk)) + 2 F Vk - 1) / (2 F)
//                  (the grid voltage at which x - Vg = Rg 0.00375 (Vg - Vk)^2,
//                  a grid current of 0.00375 (Vg - Vk)^2 A through Rg),
//                  otherwise Vg = x;  F = 0.00375 Rg
//                  Ig = (x - Vg) / Rg
//   plate          v = Vg - Vk;  Vpk = Vb if v < -10 (cut-off), else the
//                  rational curve  Vpk(v) = N(v) / D(v)
//                    N = c0 + c2 v + c4 v^2 + ... + c12 v^6
//                    D = 1  + c1 v + c3 v^2 + ... + c11 v^6
//                  Vp = min(Vpk + Vk, Vb + Vk);  Ip = (Vb - Vp) / Rp
//   coupling       out = tau / (tau + T) (out + Vp - Vp_old),
//                  tau = (Ra + Rb) Cc   (first-order high-pass)
//   cathode        backward Euler of Rk || Ck fed by Ip + Ig:
//                  Vk = (Ip + Ig + Ck Vk_old fs) T Rk / (T + Rk Ck),
//                  clamped at 0 (the cathode never goes negative).
//
// The sample goes in as grid drive (volts) and comes out as the coupling
// high-pass output (volts).  State: six doubles (Vg, Vk, Vp, Ig, Ip, out);
// no latency.  The stage inverts: a rising grid lowers the plate.
//
// The operating point is solved once by initTriodeStage (ten damped fixed-
// point steps of the load line against the curve with the grid at 0 V);
// nothing resets a stage afterwards.  A rate change only touches the two
// rate-dependent coefficients (updateTriodeStageRate).
//
// Arithmetic order is part of the sound: every formula is evaluated left to
// right as written above, the curve in Horner form.
//
// The step is written once, as stepTriodeStage over a lane type (dsp/lanes.h):
// one stage on a double, or two or four stages side by side in SIMD lanes,
// each lane giving the bits of the one-stage step.  What it reads is split
// into TriodeCoefficients (fixed between rate changes) and TriodeState (what
// the step writes); the TriodeStage record is made of their double versions
// plus the components only the set-up uses.
#pragma once

#include "dsp/lanes.h"

namespace vorla {

// Rational plate-to-cathode curve of one tube and load line: even
// coefficients form the numerator, odd ones the denominator, both in rising
// powers of the grid-to-cathode voltage.
struct TriodeCurve
{
    double c0, c1, c2, c3, c4, c5, c6, c7, c8, c9, c10, c11, c12;
};

/// What the step reads of a stage: one lane per stage.
template <class L> struct TriodeCoefficients
{
    // Components the step uses (volts, farads).
    L Vb{}; // supply voltage
    L Ck{}; // cathode bypass capacitor

    // Curve (copy of the set's TriodeCurve).
    L c0{}, c1{}, c2{}, c3{}, c4{}, c5{}, c6{}, c7{}, c8{}, c9{}, c10{}, c11{}, c12{};

    // Derived coefficients.
    L F{};            // Rg * 0.00375 + 1e-20, grid-current factor
    L halfInvF{};     // 1 / (2 F)
    L invRg{};        // 1 / (Rg + 1e-20)
    L invRp{};        // 1 / (Rp + 1e-20)
    L cathodeCoef{};  // T Rk / (T + Rk Ck)
    L couplingCoef{}; // tau / (tau + T), tau = (Ra + Rb) Cc
};

/// What the step writes: one lane per stage.
template <class L> struct TriodeState
{
    L Vg{};  // grid voltage after grid-current limiting
    L Vk{};  // cathode voltage, never negative
    L Vp{};  // plate voltage
    L Ig{};  // grid current of the last sample
    L Ip{};  // plate current of the last sample
    L out{}; // coupling high-pass output (the stage output)
};

struct TriodeStage : TriodeCoefficients<double>, TriodeState<double>
{
    // Components only the set-up reads (ohms, farads).
    double Rg = 0.0; // grid series resistor
    double Rk = 0.0; // cathode resistor
    double Rp = 0.0; // plate resistor
    double Ra = 0.0; // coupling network, first resistor
    double Rb = 0.0; // coupling network, second resistor
    double Cc = 0.0; // coupling capacitor (sees Ra + Rb)
};

// Fills the record and solves the operating point.  rate is the processing
// rate in hertz (host rate times oversampling).  Not for the audio thread.
void initTriodeStage(TriodeStage& stage, double Rg, double Rk, double Ck, double Vb, double Rp,
                     double VpStart, double Ra, double Rb, double Cc, double rate,
                     const TriodeCurve& curve);

// New sample period T = 1 / processRate: recomputes cathodeCoef and
// couplingCoef; voltages, currents and the coupling output are kept.
void updateTriodeStageRate(TriodeStage& stage, double T);

// Plate-to-cathode voltage of the curve `k` at grid-to-cathode voltage v
// (Horner form; one division), per lane.
template <class L>
VORLA_LANE_INLINE L evaluateTriodeCurve(const TriodeCoefficients<L>& k, L v) noexcept;

// One step of the stages in the lanes: grid drive (volts) in `sample`,
// stage output (volts) out; `rate` is the processing rate in hertz.
// Audio thread; no allocation.
template <class L>
VORLA_LANE_INLINE void stepTriodeStage(const TriodeCoefficients<L>& k, TriodeState<L>& state,
                                       L& sample, L rate) noexcept;

// One sample of one stage.  rate is the current processing rate in hertz.
// Audio thread; no allocation.
inline void processTriodeStage(TriodeStage& stage, double& sample, const double& rate) noexcept;

// ---------------------------------------------------------------------------
// Inline implementation
// ---------------------------------------------------------------------------

template <class L>
VORLA_LANE_INLINE L evaluateTriodeCurve(const TriodeCoefficients<L>& k, L v) noexcept
{
    const L one = lanes::splat<L>(1.0);
    const L num =
        ((((((k.c12 * v + k.c10) * v + k.c8) * v + k.c6) * v + k.c4) * v + k.c2) * v + k.c0);
    const L den =
        ((((((k.c11 * v + k.c9) * v + k.c7) * v + k.c5) * v + k.c3) * v + k.c1) * v + one);
    return num / den;
}

template <class L>
VORLA_LANE_INLINE void stepTriodeStage(const TriodeCoefficients<L>& k, TriodeState<L>& s, L& sample,
                                       L rate) noexcept
{
    using namespace lanes;
    const L zero = splat<L>(0.0);
    const L one = splat<L>(1.0);
    const L x = sample;
    const L vkOld = s.Vk;
    const L drive = x - vkOld;

    // The next sample waits on Vk, so everything between vkOld and vk is the
    // stage's latency per sample.  Each limit on that path (grid current,
    // cut-off, supply, cathode at 0) is a branch around its select rather
    // than a select on every sample: whether a limit holds changes seldom
    // from one sample to the next (the grid conducts for whole half-cycles,
    // the others are hardly ever reached), so the branches are predicted,
    // and a select would add its latency to every step.  Where no lane is
    // limited the select would keep every lane anyway, so the bits are the
    // same either way.

    // 1-2. Grid current: where the grid would rise above the cathode, it
    // clamps against it through Rg.
    const Mask<L> conducting = greaterEqual(drive, zero);
    L Vg = x;
    if (any(conducting))
    {
        const L clamped =
            (sqrt(one + splat<L>(4.0) * k.F * drive) + splat<L>(2.0) * k.F * vkOld - one) *
            k.halfInvF;
        Vg = select(conducting, clamped, x);
    }
    const L Ig = (x - Vg) * k.invRg;

    // 3-5. Plate from the curve, cut off below -10 V, limited by the supply:
    // min(limit, vpNew) keeps vpNew unless vpNew > limit.
    const L v = Vg - vkOld;
    L vpk = evaluateTriodeCurve(k, v);
    const Mask<L> cutOff = lessThan(v, splat<L>(-10.0));
    if (any(cutOff))
        vpk = select(cutOff, k.Vb, vpk);
    const L limit = k.Vb + vkOld;
    L vpNew = vpk + vkOld;
    if (any(lessThan(limit, vpNew)))
        vpNew = min(limit, vpNew);
    const L Ip = (k.Vb - vpNew) * k.invRp;

    // 6. Coupling capacitor as a first-order high-pass on the plate swing.
    const L out = k.couplingCoef * (s.out + vpNew - s.Vp);
    sample = out;

    // 7. Cathode: backward Euler of Rk || Ck, never below 0.
    L vk = (Ip + Ig + k.Ck * vkOld * rate) * k.cathodeCoef;
    const Mask<L> belowZero = lessEqual(vk, zero);
    if (any(belowZero))
        vk = select(belowZero, zero, vk);
    s.Vg = Vg;
    s.Vk = vk;
    s.Vp = vpNew;
    s.Ig = Ig;
    s.Ip = Ip;
    s.out = out;
}

inline void processTriodeStage(TriodeStage& stage, double& sample, const double& rate) noexcept
{
    stepTriodeStage<double>(stage, stage, sample, rate);
}

} // namespace vorla
