// SPDX-License-Identifier: GPL-3.0-or-later
#include "dsp/tone_stack.h"

#include <cmath>
#include <complex>
#include <numbers>
#include <vector>

#include <gtest/gtest.h>

#include "test_support.h"

namespace vorla {
namespace {

constexpr double kRate = 176400.0;
constexpr double C1 = 4.7e-10, C2 = 2.2e-8, C3 = 2.2e-8;
constexpr double R1 = 250000.0, R2 = 1000000.0, R3 = 25000.0, R4 = 94000.0;

using cd = std::complex<double>;

// Reference: nodal analysis of the stack at complex frequency s, with the
// input driven at 1 V.  Unknown nodes:
//   0 treble top, 1 treble wiper (output), 2 treble bottom = bass top,
//   3 junction of R4, C2 and C3, 4 bass bottom = middle top, 5 middle wiper.
// Treble pot: (1 - t) R1 above the wiper, t R1 below; bass pot as l R2;
// middle pot: (1 - m) R3 above the wiper, m R3 to ground; C3 to the middle
// wiper; R4 scaled by contour from the input to node 3.
cd circuitResponse(double low, double mid, double high, double contour, cd s)
{
    const double l = std::pow(10.0, 2.0 * (low - 1.001));
    const double tiny = 1e-3; // ohms in series, keeps a pot end at zero solvable
    constexpr int n = 6;
    cd Y[n][n + 1] = {};
    auto admit = [&](int a, int b, cd y) { // b == -1: ground; a == -2: input
        if (a >= 0)
            Y[a][a] += y;
        if (b >= 0)
            Y[b][b] += y;
        if (a >= 0 && b >= 0)
        {
            Y[a][b] -= y;
            Y[b][a] -= y;
        }
        if (a == -2 && b >= 0)
            Y[b][n] += y; // driven by 1 V at the input
    };
    admit(-2, 0, s * C1);
    admit(0, 1, 1.0 / ((1.0 - high) * R1 + tiny));
    admit(1, 2, 1.0 / (high * R1 + tiny));
    admit(-2, 3, 1.0 / (contour * R4 + tiny));
    admit(3, 2, s * C2);
    admit(3, 5, s * C3);
    admit(2, 4, 1.0 / (l * R2 + tiny));
    admit(4, 5, 1.0 / ((1.0 - mid) * R3 + tiny));
    admit(5, -1, 1.0 / (mid * R3 + tiny));
    for (int p = 0; p < n; ++p)
    {
        int best = p;
        for (int r = p + 1; r < n; ++r)
        {
            if (std::abs(Y[r][p]) > std::abs(Y[best][p]))
                best = r;
        }
        for (int c = 0; c <= n; ++c)
            std::swap(Y[p][c], Y[best][c]);
        for (int r = 0; r < n; ++r)
        {
            if (r == p)
                continue;
            const cd q = Y[r][p] / Y[p][p];
            for (int c = p; c <= n; ++c)
                Y[r][c] -= q * Y[p][c];
        }
    }
    return Y[1][n] / Y[1][1];
}

// Analogue response at the frequency the bilinear transform maps f to.
double warpedCircuitDb(double low, double mid, double high, double contour, double f)
{
    const double omega = 2.0 * kRate * std::tan(std::numbers::pi * f / kRate);
    return test::toDb(std::abs(circuitResponse(low, mid, high, contour, cd(0.0, omega))));
}

double measuredDb(double low, double mid, double high, double contour, double f)
{
    ToneStack ts;
    designToneStack(C1, C2, C3, R1, R2, R3, R4, kRate, ts);
    std::vector<double> y(60000);
    for (std::size_t n = 0; n < y.size(); ++n)
    {
        y[n] = std::sin(2.0 * std::numbers::pi * f * double(n) / kRate);
        processToneStack(ts, low, mid, high, contour, y[n]);
    }
    return test::toDb(test::fitSineAmplitude(y, 30000, f, kRate));
}

TEST(ToneStack, CoefficientsAtMidSettings)
{
    ToneStack ts;
    designToneStack(C1, C2, C3, R1, R2, R3, R4, kRate, ts);
    double x = 0.0;
    processToneStack(ts, 0.5, 0.5, 0.5, 0.5, x);
    auto rel = [](double got, double want) { return std::fabs(got - want) / std::fabs(want); };
    EXPECT_LT(rel(ts.B0n, 0.6118937217), 1e-9);
    EXPECT_LT(rel(ts.B1n, -1.8174044656), 1e-9);
    EXPECT_LT(rel(ts.B2n, 1.7993760858), 1e-9);
    EXPECT_LT(rel(ts.B3n, -0.5938653419), 1e-9);
    EXPECT_LT(rel(ts.A1n, -2.9442116185), 1e-9);
    EXPECT_LT(rel(ts.A2n, 2.8888408399), 1e-9);
    EXPECT_LT(rel(ts.A3n, -0.9446287720), 1e-9);
}

TEST(ToneStack, MagnitudeMatchesTheCircuit)
{
    struct Point
    {
        double f;
        double db; // full stack, every control at 0.5
    };
    for (const Point& p : {Point{100.0, -4.3}, Point{1000.0, -8.2}, Point{10000.0, -4.2}})
    {
        const double got = measuredDb(0.5, 0.5, 0.5, 0.5, p.f);
        EXPECT_NEAR(got, warpedCircuitDb(0.5, 0.5, 0.5, 0.5, p.f), 1e-4) << p.f;
        EXPECT_NEAR(got, p.db, 0.05) << p.f;
    }
    // Other settings agree with the circuit as well.
    for (double f : {80.0, 700.0, 6000.0})
    {
        EXPECT_NEAR(measuredDb(0.1, 0.9, 0.3, 0.8, f), warpedCircuitDb(0.1, 0.9, 0.3, 0.8, f), 1e-4)
            << f;
        EXPECT_NEAR(measuredDb(1.0, 0.0, 1.0, 0.2, f), warpedCircuitDb(1.0, 0.0, 1.0, 0.2, f), 1e-4)
            << f;
    }
}

TEST(ToneStack, ContourSetsTheScoop)
{
    for (double f : {100.0, 200.0, 500.0, 1000.0, 2000.0, 5000.0, 10000.0})
    {
        EXPECT_LT(std::fabs(measuredDb(0.5, 0.5, 0.5, 0.0, f)), 0.5) << f;
    }
    EXPECT_NEAR(measuredDb(0.5, 0.5, 0.5, 1.0, 1000.0), -9.4, 0.05);
}

TEST(ToneStack, PassesNoDc)
{
    ToneStack ts;
    designToneStack(C1, C2, C3, R1, R2, R3, R4, kRate, ts);
    for (double low : {0.0, 0.3, 1.0})
    {
        for (double mid : {0.0, 0.6, 1.0})
        {
            for (double high : {0.0, 0.5, 1.0})
            {
                for (double contour : {0.0, 0.5, 1.0})
                {
                    double x = 0.0;
                    processToneStack(ts, low, mid, high, contour, x);
                    const double sum = ts.B0n + ts.B1n + ts.B2n + ts.B3n;
                    EXPECT_NEAR(sum, 0.0, 1e-14);
                }
            }
        }
    }
    designToneStack(C1, C2, C3, R1, R2, R3, R4, kRate, ts);
    double y = 1.0;
    for (int n = 0; n < 200000; ++n)
    {
        y = 1.0;
        processToneStack(ts, 0.5, 0.5, 0.5, 0.5, y);
    }
    EXPECT_NEAR(y, 0.0, 1e-6);
}

TEST(ToneStack, RecomputesOnlyWhenAControlChanges)
{
    ToneStack ts;
    designToneStack(C1, C2, C3, R1, R2, R3, R4, kRate, ts);
    EXPECT_EQ(ts.low, 10.0);
    EXPECT_EQ(ts.mid, 10.0);
    EXPECT_EQ(ts.high, 10.0);
    EXPECT_EQ(ts.contour, 10.0);
    double x = 0.0;
    processToneStack(ts, 0.5, 0.5, 0.5, 0.5, x);
    const double designed = ts.B0n;
    // Mark the coefficients: a recompute would overwrite the mark.
    ts.B0n = 123.0;
    processToneStack(ts, 0.5, 0.5, 0.5, 0.5, x);
    EXPECT_EQ(ts.B0n, 123.0);
    processToneStack(ts, 0.5, 0.5, 0.5, 0.6, x);
    EXPECT_NE(ts.B0n, 123.0);
    EXPECT_NE(ts.B0n, designed);
    EXPECT_EQ(ts.contour, 0.6);
}

TEST(ToneStack, ControlChangeKeepsTheStateAndDesignClearsIt)
{
    ToneStack ts;
    designToneStack(C1, C2, C3, R1, R2, R3, R4, kRate, ts);
    for (int n = 0; n < 100; ++n)
    {
        double x = std::sin(n * 0.05);
        processToneStack(ts, 0.5, 0.5, 0.5, 0.5, x);
    }
    const double s0 = ts.s0, s1 = ts.s1, s2 = ts.s2;
    updateToneStackCoefficients(ts, 0.2, 0.5, 0.5, 0.5);
    EXPECT_EQ(ts.s0, s0);
    EXPECT_EQ(ts.s1, s1);
    EXPECT_EQ(ts.s2, s2);
    designToneStack(C1, C2, C3, R1, R2, R3, R4, kRate, ts);
    EXPECT_EQ(ts.s0, 0.0);
    EXPECT_EQ(ts.s1, 0.0);
    EXPECT_EQ(ts.s2, 0.0);
    for (int n = 0; n < 100; ++n)
    {
        double x = 0.0;
        processToneStack(ts, 0.5, 0.5, 0.5, 0.5, x);
        ASSERT_EQ(x, 0.0);
    }
}

} // namespace
} // namespace vorla
