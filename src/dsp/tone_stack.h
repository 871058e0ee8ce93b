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
#pragma once

namespace vorla {

struct ToneStack
{
    // Components (farads, ohms), stored by designToneStack.  The coefficient
    // formulas are evaluated from these, every product in its written order,
    // so the coefficients are the same bits whenever they are recomputed.
    double C1 = 0.0, C2 = 0.0, C3 = 0.0;
    double R1 = 0.0, R2 = 0.0, R3 = 0.0, R4 = 0.0;

    // Rate terms: w = 2 * rate, w^2, w^3.
    double w = 0.0, w2 = 0.0, w3 = 0.0;

    // Digital coefficients: A0 and the others divided by A0.
    double A0 = 0.0;
    double B0n = 0.0, B1n = 0.0, B2n = 0.0, B3n = 0.0;
    double A1n = 0.0, A2n = 0.0, A3n = 0.0;

    // State (transposed direct form II).
    double s0 = 0.0, s1 = 0.0, s2 = 0.0;

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

// One sample; low, mid, high and contour are the raw knob values (0..1).
// Audio thread; no allocation.
inline void processToneStack(ToneStack& ts, double low, double mid, double high, double contour,
                             double& sample) noexcept;

// ---------------------------------------------------------------------------
// Inline implementation
// ---------------------------------------------------------------------------

inline void processToneStack(ToneStack& ts, double low, double mid, double high, double contour,
                             double& sample) noexcept
{
    if (low != ts.low || mid != ts.mid || high != ts.high || contour != ts.contour)
    {
        // Audio thread: allocation-free coefficient update.
        updateToneStackCoefficients(ts, low, mid, high, contour);
    }
    const double x = sample;
    const double y = ts.B0n * x + ts.s0;
    ts.s0 = ts.B1n * x + ts.s1 - ts.A1n * y;
    ts.s1 = ts.B2n * x + ts.s2 - ts.A2n * y;
    ts.s2 = ts.B3n * x - ts.A3n * y;
    sample = y;
}

} // namespace vorla
