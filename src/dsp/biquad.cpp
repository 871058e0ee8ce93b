// SPDX-License-Identifier: GPL-3.0-or-later
// Biquad designs: bilinear transform with prewarping.
#include "dsp/biquad.h"

#include <cmath>

#include "dsp/model_constants.h"

namespace vorla {

namespace {

// Prewarped frequency term of every design.
double prewarp(double f, double rate)
{
    return std::tan(((0.5 * kModelTwoPi) * f) / rate);
}

// The denominator shared by all four designs; clears the history.
void setDenominator(Biquad& bq, double K, double K2, double Q)
{
    bq.norm = 1.0 / (K2 + K / Q + 1.0);
    bq.a1 = 2.0 * (K2 - 1.0);
    bq.a2 = K2 - K / Q + 1.0;
    bq.x1 = 0.0;
    bq.x2 = 0.0;
    bq.y1 = 0.0;
    bq.y2 = 0.0;
}

} // namespace

void designLowpass(double f, double Q, double rate, Biquad& bq)
{
    const double K = prewarp(f, rate);
    const double K2 = K * K;
    setDenominator(bq, K, K2, Q);
    bq.b0 = K2;
    bq.b1 = 2.0 * K2;
    bq.b2 = K2;
}

void designLowShelf(double f, double Q, double V, double rate, Biquad& bq)
{
    // The shelf's numerator does not use Q; Q only shapes the denominator.
    const double K = prewarp(f, rate);
    const double K2 = K * K;
    const double root = std::sqrt(2.0 * V);
    setDenominator(bq, K, K2, Q);
    bq.b0 = V * K2 + root * K + 1.0;
    bq.b1 = 2.0 * (V * K2 - 1.0);
    bq.b2 = V * K2 - root * K + 1.0;
}

void designPeak(double f, double Q, double G, double rate, Biquad& bq)
{
    const double K = prewarp(f, rate);
    const double K2 = K * K;
    setDenominator(bq, K, K2, Q);
    bq.b0 = K2 + G * K / Q + 1.0;
    bq.b1 = 2.0 * (K2 - 1.0);
    bq.b2 = K2 - G * K / Q + 1.0;
}

void designHighpass(double f, double Q, double rate, Biquad& bq)
{
    const double K = prewarp(f, rate);
    const double K2 = K * K;
    setDenominator(bq, K, K2, Q);
    bq.b0 = 1.0;
    bq.b1 = -2.0;
    bq.b2 = 1.0;
    // Preset to the power stage's rest output so silence passes as silence.
    bq.x1 = kTubeRestOutput;
    bq.x2 = kTubeRestOutput;
}

} // namespace vorla
