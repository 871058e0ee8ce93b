// SPDX-License-Identifier: GPL-3.0-or-later
#include "dsp/triode_sets.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

#include <gtest/gtest.h>

#include "dsp/triode_stage.h"
#include "test_support.h"

namespace vorla {
namespace {

constexpr double kRate = 176400.0;

// The curve as a plain sum of powers (independent of the Horner code).
double curveByPowers(const TriodeCurve& c, double v)
{
    const double n[7] = {c.c0, c.c2, c.c4, c.c6, c.c8, c.c10, c.c12};
    const double d[7] = {1.0, c.c1, c.c3, c.c5, c.c7, c.c9, c.c11};
    double num = 0.0, den = 0.0;
    for (int p = 0; p < 7; ++p)
    {
        num += n[p] * std::pow(v, p);
        den += d[p] * std::pow(v, p);
    }
    return num / den;
}

// Operating point by bisection: the plate voltage at which the load line
// (Vk = Rk (Vb - Vp) / Rp) meets the curve with the grid at 0 V.
double solvedRestPlate(const TriodeComponentSet& s)
{
    auto g = [&](double vp) {
        const double vk = s.Rk * (s.Vb - vp) / s.Rp;
        return vp - (vk + curveByPowers(s.curve, -vk));
    };
    double lo = 1.0, hi = s.Vb;
    for (int n = 0; n < 200; ++n)
    {
        const double mid = 0.5 * (lo + hi);
        ((g(lo) < 0.0) == (g(mid) < 0.0) ? lo : hi) = mid;
    }
    return 0.5 * (lo + hi);
}

struct SetCase
{
    const char* name;
    const TriodeComponentSet* set;
    double restVp;
    double restVk;
    double smallSignalPeak; // output for 0.01 V peak at 1 kHz
};

const SetCase kCases[] = {
    {"S1", &kTriodeSetS1, 253.38, 2.3456, 0.26},
    {"S2", &kTriodeSetS2, 207.62, 1.2468, 0.66},
    {"S3", &kTriodeSetS3, 245.95, 1.8729, 0.61},
    {"S4", &kTriodeSetS4, 198.05, 1.4723, 0.71},
};

TEST(TriodeStage, InitFindsTheOperatingPoint)
{
    for (const SetCase& c : kCases)
    {
        SCOPED_TRACE(c.name);
        TriodeStage s;
        initTriodeStage(s, *c.set, kRate);
        EXPECT_NEAR(s.Vp, c.restVp, 0.005);
        EXPECT_NEAR(s.Vk, c.restVk, 0.00005);
        EXPECT_NEAR(s.Vp, solvedRestPlate(*c.set), 0.01);
        EXPECT_EQ(s.out, 0.0);
        EXPECT_EQ(s.Vg, 0.0);
        EXPECT_EQ(s.Ig, 0.0);
        // Vk and Ip are those of the start of the last step (Vk = Rk Ip).
        EXPECT_EQ(s.Vk, s.Rk * s.Ip);
        const double T = 1.0 / kRate;
        EXPECT_DOUBLE_EQ(s.cathodeCoef, T * c.set->Rk / (T + c.set->Rk * c.set->Ck));
        const double tau = (c.set->Ra + c.set->Rb) * c.set->Cc;
        EXPECT_DOUBLE_EQ(s.couplingCoef, tau / (tau + T));
        EXPECT_DOUBLE_EQ(s.F, c.set->Rg * 0.00375);
    }
}

TEST(TriodeStage, RestInputKeepsTheOperatingPoint)
{
    for (const SetCase& c : kCases)
    {
        SCOPED_TRACE(c.name);
        TriodeStage s;
        initTriodeStage(s, *c.set, kRate);
        const double vp0 = s.Vp, vk0 = s.Vk;
        for (int n = 0; n < 2000; ++n)
        {
            double x = 0.0;
            processTriodeStage(s, x, kRate);
        }
        EXPECT_NEAR(s.Vp, vp0, 0.05);
        EXPECT_NEAR(s.Vk, vk0, 0.005);
        EXPECT_LT(std::fabs(s.out), 0.05);
    }
}

// Drives a settled stage with a 1 kHz sine and returns the output.
std::vector<double> driveSine(const TriodeComponentSet& set, double peak, int samples)
{
    TriodeStage s;
    initTriodeStage(s, set, kRate);
    for (int n = 0; n < int(kRate); ++n)
    { // one second at rest
        double x = 0.0;
        processTriodeStage(s, x, kRate);
    }
    std::vector<double> out(samples);
    for (int n = 0; n < samples; ++n)
    {
        double x = peak * std::sin(2.0 * std::numbers::pi * 1000.0 * n / kRate);
        processTriodeStage(s, x, kRate);
        out[n] = x;
    }
    return out;
}

TEST(TriodeStage, SmallSignalGainAt1kHz)
{
    for (const SetCase& c : kCases)
    {
        SCOPED_TRACE(c.name);
        const std::vector<double> y = driveSine(*c.set, 0.01, int(kRate / 4));
        const double peak = test::fitSineAmplitude(y, y.size() / 2, 1000.0, kRate);
        EXPECT_NEAR(peak, c.smallSignalPeak, 0.006);
        // The stage inverts: output in antiphase with the grid drive.
        double corr = 0.0;
        for (std::size_t n = y.size() / 2; n < y.size(); ++n)
        {
            corr += y[n] * std::sin(2.0 * std::numbers::pi * 1000.0 * double(n) / kRate);
        }
        EXPECT_LT(corr, 0.0);
    }
}

TEST(TriodeStage, LargeDriveClipsAsymmetrically)
{
    const std::vector<double> y = driveSine(kTriodeSetS1, 20.0, int(kRate / 4));
    const auto [lo, hi] = std::minmax_element(y.begin() + y.size() / 2, y.end());
    EXPECT_NEAR(*lo, -157.0, 1.5);
    EXPECT_NEAR(*hi, 142.0, 1.5);
}

TEST(TriodeStage, DriveFarBelowTheCathodeCutsOff)
{
    TriodeStage s;
    initTriodeStage(s, kTriodeSetS1, kRate);
    const double vk = s.Vk;
    double x = vk - 20.0;
    processTriodeStage(s, x, kRate);
    EXPECT_EQ(s.Vg, vk - 20.0);
    EXPECT_EQ(s.Ig, 0.0);
    EXPECT_EQ(s.Vp, s.Vb + vk);
    EXPECT_NEAR(s.Ip, -vk / s.Rp, 1e-12);
    EXPECT_LT(s.Ip, 0.0);
    // Held in cut-off, the cathode decays towards 0.  (IEEE rounding in the
    // subnormal range may leave it a few subnormals above 0.)
    double previous = s.Vk;
    for (int n = 0; n < 5000; ++n)
    {
        double xn = -20.0;
        processTriodeStage(s, xn, kRate);
        ASSERT_LE(s.Vk, previous);
        ASSERT_GE(s.Vk, 0.0);
        previous = s.Vk;
    }
    EXPECT_LT(s.Vk, 1e-300);
}

TEST(TriodeStage, GridAtCathodeDrawsNoGridCurrent)
{
    for (const SetCase& c : kCases)
    {
        TriodeStage s;
        initTriodeStage(s, *c.set, kRate);
        const double vk = s.Vk;
        double x = vk;
        processTriodeStage(s, x, kRate);
        EXPECT_NEAR(s.Vg, vk, 1e-12) << c.name;
        EXPECT_NEAR(s.Ig, 0.0, 1e-16) << c.name;
    }
}

TEST(TriodeStage, LargePositiveDriveIsLimitedByGridCurrent)
{
    TriodeStage s;
    initTriodeStage(s, kTriodeSetS1, kRate);
    const double vk = s.Vk;
    double x = 100.0;
    processTriodeStage(s, x, kRate);
    EXPECT_NEAR(s.Vg - vk, 0.62, 0.005);
    EXPECT_NEAR(s.Ig, 1.43e-3, 0.01e-3);
    // The defining relation: the drop across Rg equals Rg 0.00375 (Vg - Vk)^2.
    EXPECT_NEAR(100.0 - s.Vg, s.Rg * 0.00375 * (s.Vg - vk) * (s.Vg - vk), 1e-9);
}

TEST(TriodeStage, CathodeNeverGoesNegative)
{
    for (const SetCase& c : kCases)
    {
        TriodeStage s;
        initTriodeStage(s, *c.set, kRate);
        unsigned noise = 12345u;
        for (int n = 0; n < 40000; ++n)
        {
            noise = noise * 1664525u + 1013904223u;
            const double r = double(noise >> 8) / double(1u << 24) - 0.5;
            double x = (n % 7000 < 3500 ? 400.0 : 5.0) * r +
                       150.0 * std::sin(2.0 * std::numbers::pi * 80.0 * n / kRate);
            processTriodeStage(s, x, kRate);
            ASSERT_GE(s.Vk, 0.0) << c.name << " sample " << n;
            ASSERT_TRUE(std::isfinite(x)) << c.name << " sample " << n;
        }
    }
}

// One step written straight from the circuit's formulas, every limit a
// select on every sample.  The stage's step skips the limits no lane
// reaches; it must give these bits everywhere.
void referenceStep(TriodeStage& s, double& sample, double rate)
{
    const double x = sample;
    const double vkOld = s.Vk;
    const double drive = x - vkOld;
    const double Vg =
        drive >= 0.0 ? (std::sqrt(1.0 + 4.0 * s.F * drive) + 2.0 * s.F * vkOld - 1.0) * s.halfInvF
                     : x;
    const double Ig = (x - Vg) * s.invRg;
    const double v = Vg - vkOld;
    const double vpk = v < -10.0 ? s.Vb : evaluateTriodeCurve<double>(s, v);
    const double limit = s.Vb + vkOld;
    const double vpNew = limit < vpk + vkOld ? limit : vpk + vkOld;
    const double Ip = (s.Vb - vpNew) * s.invRp;
    const double out = s.couplingCoef * (s.out + vpNew - s.Vp);
    const double vk = (Ip + Ig + s.Ck * vkOld * rate) * s.cathodeCoef;
    s.Vg = Vg;
    s.Vk = vk <= 0.0 ? 0.0 : vk;
    s.Vp = vpNew;
    s.Ig = Ig;
    s.Ip = Ip;
    s.out = out;
    sample = out;
}

TEST(TriodeStage, EveryLimitGivesTheBitsOfTheStraightFormulas)
{
    // Rest, small and large signals, cut-off, grid current, and drives far
    // beyond the curve's range: each level held for a while (the cathode
    // decays far in cut-off), then a level picked at random every sample.
    const double levels[] = {0.0,   -0.0,   1e-300, 0.5,  -0.5, 3.0,  -3.0, 20.0, -20.0,
                             100.0, -100.0, 1e4,    -1e4, 1e6,  -1e6, 1e30, -1e30};
    constexpr int kHeld = 2000;
    constexpr int kHeldAll = kHeld * int(std::size(levels));
    for (const SetCase& c : kCases)
    {
        SCOPED_TRACE(c.name);
        TriodeStage s;
        initTriodeStage(s, *c.set, kRate);
        TriodeStage r = s;
        unsigned noise = 2024u;
        for (int n = 0; n < kHeldAll + 30000; ++n)
        {
            noise = noise * 1664525u + 1013904223u;
            const double x = n < kHeldAll
                                 ? levels[n / kHeld]
                                 : levels[(noise >> 12) % std::size(levels)] * std::sin(n * 0.01);
            double y = x, yRef = x;
            processTriodeStage(s, y, kRate);
            referenceStep(r, yRef, kRate);
            ASSERT_TRUE(test::sameBits(y, yRef)) << "sample " << n << ", input " << x;
            ASSERT_TRUE(test::sameBytes<TriodeState<double>>(s, r)) << "sample " << n;
        }
    }
}

TEST(TriodeStage, RateUpdateKeepsTheState)
{
    TriodeStage s;
    initTriodeStage(s, kTriodeSetS2, kRate);
    for (int n = 0; n < 100; ++n)
    {
        double x = 0.5 * std::sin(n * 0.1);
        processTriodeStage(s, x, kRate);
    }
    const TriodeStage before = s;
    const double T = 1.0 / 384000.0;
    updateTriodeStageRate(s, T);
    EXPECT_EQ(s.cathodeCoef, T * s.Rk / (T + s.Rk * s.Ck));
    EXPECT_NE(s.cathodeCoef, before.cathodeCoef);
    EXPECT_NE(s.couplingCoef, before.couplingCoef);
    EXPECT_EQ(s.Vp, before.Vp);
    EXPECT_EQ(s.Vk, before.Vk);
    EXPECT_EQ(s.Vg, before.Vg);
    EXPECT_EQ(s.Ig, before.Ig);
    EXPECT_EQ(s.Ip, before.Ip);
    EXPECT_EQ(s.out, before.out);
}

} // namespace
} // namespace vorla
