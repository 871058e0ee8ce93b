// SPDX-License-Identifier: GPL-3.0-or-later
#include "dsp/biquad.h"

#include <cmath>
#include <complex>
#include <numbers>
#include <vector>

#include <gtest/gtest.h>

#include "test_support.h"

namespace vorla {
namespace {

constexpr double kRate = 176400.0;

// Steady-state output for a constant (dc) or alternating (nyquist) input.
double settle(Biquad bq, bool alternating, int samples = 400000)
{
    double y = 0.0;
    for (int n = 0; n < samples; ++n)
    {
        y = (alternating && (n & 1)) ? -1.0 : 1.0;
        processBiquad(bq, y);
    }
    return alternating ? std::fabs(y) : y;
}

// Measured gain of a sine at f.
double sineGain(Biquad bq, double f)
{
    std::vector<double> y(40000);
    for (std::size_t n = 0; n < y.size(); ++n)
    {
        y[n] = std::sin(2.0 * std::numbers::pi * f * double(n) / kRate);
        processBiquad(bq, y[n]);
    }
    return test::fitSineAmplitude(y, 20000, f, kRate);
}

// Analogue prototype magnitude at its own corner (s = j after prewarping).
double prototypeAtCorner(std::complex<double> b2, std::complex<double> b1, std::complex<double> b0,
                         double Q)
{
    const std::complex<double> s(0.0, 1.0);
    return std::abs((b2 * s * s + b1 * s + b0) / (s * s + s / Q + 1.0));
}

TEST(Biquad, LowpassPassesDcStopsNyquistAndPeaksAtQ)
{
    Biquad bq;
    designLowpass(4800.0, 0.85, kRate, bq);
    const double K = std::tan(0.5 * 6.28319304 * 4800.0 / kRate);
    EXPECT_EQ(bq.b0, K * K);
    EXPECT_NEAR(settle(bq, false), 1.0, 1e-12);
    EXPECT_NEAR(settle(bq, true), 0.0, 1e-12);
    EXPECT_NEAR(sineGain(bq, 4800.0), prototypeAtCorner(0.0, 0.0, 1.0, 0.85), 1e-4);
}

TEST(Biquad, LowShelfHasGainVAtDcAndOneAtNyquist)
{
    for (double V : {0.25, 0.35, 0.45, 0.5})
    {
        Biquad bq;
        designLowShelf(600.0, 0.7, V, kRate, bq);
        EXPECT_NEAR(settle(bq, false), V, 1e-9) << V;
        EXPECT_NEAR(settle(bq, true), 1.0, 1e-9) << V;
        EXPECT_NEAR(sineGain(bq, 600.0), prototypeAtCorner(1.0, std::sqrt(2.0 * V), V, 0.7), 1e-4)
            << V;
    }
}

TEST(Biquad, PeakHasGainGAtItsFrequencyAndOneFarAway)
{
    Biquad bq;
    designPeak(4500.0, 0.7, 1.6, kRate, bq);
    EXPECT_NEAR(settle(bq, false), 1.0, 1e-12);
    EXPECT_NEAR(settle(bq, true), 1.0, 1e-12);
    EXPECT_NEAR(sineGain(bq, 4500.0), 1.6, 1e-4);
}

TEST(Biquad, HighpassBlocksDcAndPassesNyquist)
{
    Biquad bq;
    designHighpass(2.0, 0.7, kRate, bq);
    EXPECT_NEAR(settle(bq, false, 2000000), 0.0, 1e-9);
    // Poles this close to z = 1 turn rounding into a DC offset of about 1e-9.
    EXPECT_NEAR(settle(bq, true, 2000000), 1.0, 1e-8);
    EXPECT_NEAR(sineGain(bq, 1000.0), 1.0, 1e-4);
}

TEST(Biquad, HighpassIsPresetToTheTubeRestLevel)
{
    Biquad bq;
    designHighpass(2.0, 0.7, kRate, bq);
    EXPECT_EQ(bq.x1, -0.212997229504);
    EXPECT_EQ(bq.x2, -0.212997229504);
    EXPECT_EQ(bq.y1, 0.0);
    EXPECT_EQ(bq.y2, 0.0);
    for (int n = 0; n < 100000; ++n)
    {
        double y = kTubeRestOutput;
        processBiquad(bq, y);
        ASSERT_EQ(y, 0.0) << "sample " << n;
    }
}

TEST(Biquad, DesignClearsHistoryAndSilenceGivesExactZeros)
{
    Biquad bq;
    designPeak(4500.0, 0.7, 1.6, kRate, bq);
    for (int n = 0; n < 50; ++n)
    {
        double y = std::sin(n * 0.3);
        processBiquad(bq, y);
    }
    designLowpass(2257.0, 0.85, kRate, bq);
    EXPECT_EQ(bq.x1, 0.0);
    EXPECT_EQ(bq.x2, 0.0);
    EXPECT_EQ(bq.y1, 0.0);
    EXPECT_EQ(bq.y2, 0.0);
    for (int n = 0; n < 1000; ++n)
    {
        double y = 0.0;
        processBiquad(bq, y);
        ASSERT_EQ(y, 0.0);
    }
}

} // namespace
} // namespace vorla
