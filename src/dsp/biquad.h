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
#pragma once

namespace vorla {

// Output of the tube transfer curve for zero input: the rest level the DC
// blocker's input history is preset to.  Equals the table's y at x = 0.
inline constexpr double kTubeRestOutput = -0.212997229504;

struct Biquad
{
    // Coefficients.
    double norm = 0.0; // 1 / a0
    double a1 = 0.0;   // feedback of y[n-1], not normalised
    double a2 = 0.0;   // feedback of y[n-2], not normalised
    double b0 = 0.0;
    double b1 = 0.0;
    double b2 = 0.0;
    // State.
    double x1 = 0.0;
    double x2 = 0.0;
    double y1 = 0.0;
    double y2 = 0.0;
};

// Designs: f in hertz (0 < f < rate / 2), Q > 0, V and G linear gains > 0,
// rate the processing rate in hertz.  They write every coefficient and reset
// the history.  Not for the audio thread (they call libm).
void designLowpass(double f, double Q, double rate, Biquad& bq);
void designLowShelf(double f, double Q, double V, double rate, Biquad& bq);
void designPeak(double f, double Q, double G, double rate, Biquad& bq);
void designHighpass(double f, double Q, double rate, Biquad& bq);

// One sample through the section.  Audio thread; no allocation.
inline void processBiquad(Biquad& bq, double& sample) noexcept;

// ---------------------------------------------------------------------------
// Inline implementation
// ---------------------------------------------------------------------------

inline void processBiquad(Biquad& bq, double& sample) noexcept
{
    const double x = sample;
    const double y =
        (bq.b0 * x + bq.b1 * bq.x1 + bq.b2 * bq.x2 - bq.a1 * bq.y1 - bq.a2 * bq.y2) * bq.norm;
    bq.x2 = bq.x1;
    bq.x1 = x;
    bq.y2 = bq.y1;
    bq.y1 = y;
    sample = y;
}

} // namespace vorla
