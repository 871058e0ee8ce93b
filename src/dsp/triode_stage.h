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
#pragma once

#include <cmath>

namespace vorla {

// Rational plate-to-cathode curve of one tube and load line: even
// coefficients form the numerator, odd ones the denominator, both in rising
// powers of the grid-to-cathode voltage.
struct TriodeCurve
{
    double c0, c1, c2, c3, c4, c5, c6, c7, c8, c9, c10, c11, c12;
};

struct TriodeStage
{
    // Components (ohms, farads, volts).
    double Rg = 0.0; // grid series resistor
    double Rk = 0.0; // cathode resistor
    double Ck = 0.0; // cathode bypass capacitor
    double Vb = 0.0; // supply voltage
    double Rp = 0.0; // plate resistor
    double Ra = 0.0; // coupling network, first resistor
    double Rb = 0.0; // coupling network, second resistor
    double Cc = 0.0; // coupling capacitor (sees Ra + Rb)

    // Curve (copy of the set's TriodeCurve).
    double c0 = 0.0, c1 = 0.0, c2 = 0.0, c3 = 0.0, c4 = 0.0, c5 = 0.0, c6 = 0.0;
    double c7 = 0.0, c8 = 0.0, c9 = 0.0, c10 = 0.0, c11 = 0.0, c12 = 0.0;

    // Derived coefficients.
    double F = 0.0;            // Rg * 0.00375 + 1e-20, grid-current factor
    double halfInvF = 0.0;     // 1 / (2 F)
    double invRg = 0.0;        // 1 / (Rg + 1e-20)
    double invRp = 0.0;        // 1 / (Rp + 1e-20)
    double cathodeCoef = 0.0;  // T Rk / (T + Rk Ck)
    double couplingCoef = 0.0; // tau / (tau + T), tau = (Ra + Rb) Cc

    // State.
    double Vg = 0.0;  // grid voltage after grid-current limiting
    double Vk = 0.0;  // cathode voltage, never negative
    double Vp = 0.0;  // plate voltage
    double Ig = 0.0;  // grid current of the last sample
    double Ip = 0.0;  // plate current of the last sample
    double out = 0.0; // coupling high-pass output (the stage output)
};

// Fills the record and solves the operating point.  rate is the processing
// rate in hertz (host rate times oversampling).  Not for the audio thread.
void initTriodeStage(TriodeStage& stage, double Rg, double Rk, double Ck, double Vb, double Rp,
                     double VpStart, double Ra, double Rb, double Cc, double rate,
                     const TriodeCurve& curve);

// New sample period T = 1 / processRate: recomputes cathodeCoef and
// couplingCoef; voltages, currents and the coupling output are kept.
void updateTriodeStageRate(TriodeStage& stage, double T);

// Plate-to-cathode voltage of the stage's curve at grid-to-cathode voltage v
// (Horner form; one division).
inline double evaluateTriodeCurve(const TriodeStage& s, double v) noexcept;

// One sample: grid drive (volts) in, stage output (volts) out.  rate is the
// current processing rate in hertz.  Audio thread; no allocation.
inline void processTriodeStage(TriodeStage& stage, double& sample, const double& rate) noexcept;

// ---------------------------------------------------------------------------
// Inline implementation
// ---------------------------------------------------------------------------

inline double evaluateTriodeCurve(const TriodeStage& s, double v) noexcept
{
    const double num =
        ((((((s.c12 * v + s.c10) * v + s.c8) * v + s.c6) * v + s.c4) * v + s.c2) * v + s.c0);
    const double den =
        ((((((s.c11 * v + s.c9) * v + s.c7) * v + s.c5) * v + s.c3) * v + s.c1) * v + 1.0);
    return num / den;
}

inline void processTriodeStage(TriodeStage& s, double& sample, const double& rate) noexcept
{
    const double x = sample;
    const double vkOld = s.Vk;

    // 1-2. Grid current: the grid clamps against the cathode through Rg.
    if (x - vkOld >= 0.0)
    {
        s.Vg = (std::sqrt(1.0 + 4.0 * s.F * (x - vkOld)) + 2.0 * s.F * vkOld - 1.0) * s.halfInvF;
    }
    else
    {
        s.Vg = x;
    }
    s.Ig = (x - s.Vg) * s.invRg;

    // 3-5. Plate from the curve, cut off below -10 V, limited by the supply.
    const double v = s.Vg - vkOld;
    const double vpk = (v < -10.0) ? s.Vb : evaluateTriodeCurve(s, v);
    double vpNew = vpk + vkOld;
    if (vpNew > s.Vb + vkOld)
    {
        vpNew = s.Vb + vkOld;
    }
    s.Ip = (s.Vb - vpNew) * s.invRp;

    // 6. Coupling capacitor as a first-order high-pass on the plate swing.
    s.out = s.couplingCoef * (s.out + vpNew - s.Vp);
    s.Vp = vpNew;
    sample = s.out;

    // 7. Cathode: backward Euler of Rk || Ck.
    s.Vk = (s.Ip + s.Ig + s.Ck * vkOld * rate) * s.cathodeCoef;
    if (s.Vk <= 0.0)
    {
        s.Vk = 0.0;
    }
}

} // namespace vorla
