// SPDX-License-Identifier: GPL-3.0-or-later
#include "dsp/halfband.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstring>
#include <numbers>
#include <vector>

#include <gtest/gtest.h>

#include "test_support.h"

namespace vorla {
namespace {

using cd = std::complex<double>;

template <std::size_t N> HalfbandFilter<N> loadedFilter()
{
    HalfbandFilter<N> f;
    resetHalfband(f);
    loadHalfbandCoefficients(f);
    return f;
}

// Reference: the half-band response 0.5 (A(z^2) + z^-1 B(z^2)) written
// directly from the allpass pair, with the coefficients as the filter holds
// them (rounded to float).  w in radians per high-rate sample.
template <std::size_t N> cd referenceResponse(const HalfbandFilter<N>& f, double w)
{
    const cd z1 = std::polar(1.0, -w);     // z^-1 at the high rate
    const cd z2 = std::polar(1.0, -2 * w); // z^-2 = z^-1 at the low rate
    cd a = 1.0, b = 1.0;
    for (std::size_t k = 0; k < N; ++k)
    {
        const double c = f.c[k];
        const cd section = (c + z2) / (1.0 + c * z2);
        (k % 2 == 0 ? a : b) *= section;
    }
    return 0.5 * (a + z1 * b);
}

// Measured: the impulse response of the up-sampling path pair (path A's
// outputs at even, path B's at odd high-rate positions), halved.
template <std::size_t N> std::vector<double> upsamplerImpulse(int lowSamples)
{
    HalfbandFilter<N> f = loadedFilter<N>();
    std::vector<double> h;
    for (int n = 0; n < lowSamples; ++n)
    {
        float e = 0.0f, l = 0.0f;
        processHalfband(f, n == 0 ? 1.0f : 0.0f, e, l);
        h.push_back(0.5 * e);
        h.push_back(0.5 * l);
    }
    return h;
}

cd dft(const std::vector<double>& h, double w)
{
    cd acc = 0.0;
    for (std::size_t n = 0; n < h.size(); ++n)
    {
        acc += h[n] * std::polar(1.0, -w * double(n));
    }
    return acc;
}

struct StopBand
{
    double from;       // fraction of the high rate
    double minAttenDb; // stop-band attenuation with float coefficients
};

template <std::size_t N> void checkResponse(const StopBand& sb)
{
    const HalfbandFilter<N> f = loadedFilter<N>();
    const std::vector<double> h = upsamplerImpulse<N>(4096);
    const double pi = std::numbers::pi;

    // Measured response agrees with the allpass-pair formula.
    for (double frac : {0.0, 0.05, 0.2, 0.25, 0.26, 0.3, 0.4, 0.5})
    {
        const double w = 2.0 * pi * frac;
        EXPECT_NEAR(std::abs(dft(h, w) - referenceResponse(f, w)), 0.0, 5e-6) << frac;
    }
    EXPECT_NEAR(std::abs(dft(h, 0.0)), 1.0, 1e-6);
    EXPECT_NEAR(test::toDb(std::abs(dft(h, 0.5 * pi))), -3.0103, 0.001);

    // Stop band, scanned finely on the reference, spot-checked on the
    // measured response.
    double worst = 1e9;
    for (int k = 0; k <= 20000; ++k)
    {
        const double frac = sb.from + (0.5 - sb.from) * k / 20000.0;
        worst = std::min(worst, -test::toDb(std::abs(referenceResponse(f, 2.0 * pi * frac))));
    }
    EXPECT_NEAR(worst, sb.minAttenDb, 0.1);
    for (double frac = sb.from; frac <= 0.5; frac += 0.0037)
    {
        EXPECT_GT(-test::toDb(std::abs(dft(h, 2.0 * pi * frac))), sb.minAttenDb - 0.5) << frac;
    }
}

TEST(Halfband, Response12)
{
    checkResponse<12>({0.255, 103.7});
}

TEST(Halfband, Response8)
{
    checkResponse<8>({0.255, 69.15});
}

TEST(Halfband, Response4)
{
    checkResponse<4>({0.275, 53.6});
}

template <std::size_t N> void checkConstants()
{
    // Every section has gain 1 at DC; the float recursion ends in a tiny
    // period-2 limit cycle, so convergence is checked with a tolerance.
    HalfbandFilter<N> up = loadedFilter<N>();
    float e = 0.0f, l = 0.0f;
    for (int n = 0; n < 4000; ++n)
    {
        processHalfband(up, 0.75f, e, l);
    }
    EXPECT_NEAR(e, 0.75f, 1e-5f);
    EXPECT_NEAR(l, 0.75f, 1e-5f);

    HalfbandFilter<N> down = loadedFilter<N>();
    float y = 0.0f;
    for (int n = 0; n < 4000; ++n)
    {
        y = decimateHalfband(down, 1.0f, 1.0f);
    }
    EXPECT_NEAR(y, 1.0f, 1e-5f);

    HalfbandFilter<N> alt = loadedFilter<N>();
    for (int n = 0; n < 4000; ++n)
    {
        y = decimateHalfband(alt, 1.0f, -1.0f);
    }
    EXPECT_NEAR(y, 0.0f, 1e-5f);
}

TEST(Halfband, ConstantsConverge)
{
    checkConstants<12>();
    checkConstants<8>();
    checkConstants<4>();
}

template <std::size_t N> void checkRoundTrip(double maxError)
{
    // A sine at a tenth of the low rate goes up and back down through the
    // same order; the result is the same sine (amplitude kept, little else).
    HalfbandFilter<N> up = loadedFilter<N>();
    HalfbandFilter<N> down = loadedFilter<N>();
    std::vector<double> y(8000);
    for (std::size_t n = 0; n < y.size(); ++n)
    {
        const float x =
            static_cast<float>(0.5 * std::sin(2.0 * std::numbers::pi * 0.1 * double(n)));
        float e = 0.0f, l = 0.0f;
        processHalfband(up, x, e, l);
        y[n] = decimateHalfband(down, e, l);
    }
    double residual = 0.0;
    const double amplitude = test::fitSineAmplitude(y, 4000, 0.1, 1.0, &residual);
    EXPECT_NEAR(amplitude, 0.5, 0.5 * maxError) << N;
    EXPECT_LT(residual, 0.5 * maxError) << N;
}

TEST(Halfband, UpThenDownRoundTrip)
{
    checkRoundTrip<12>(1e-5);
    checkRoundTrip<8>(1e-5);
    checkRoundTrip<4>(1e-4);
}

template <std::size_t N> void checkSilence()
{
    HalfbandFilter<N> up = loadedFilter<N>();
    HalfbandFilter<N> down = loadedFilter<N>();
    for (int n = 0; n < 1000; ++n)
    {
        float e = 1.0f, l = 1.0f;
        processHalfband(up, 0.0f, e, l);
        ASSERT_EQ(e, 0.0f);
        ASSERT_EQ(l, 0.0f);
        ASSERT_EQ(decimateHalfband(down, e, l), 0.0f);
    }
}

TEST(Halfband, SilenceGivesExactZeros)
{
    checkSilence<12>();
    checkSilence<8>();
    checkSilence<4>();
}

// Processes x[from..to) through an up- then a down-sampler.
template <std::size_t N>
void runBlock(HalfbandFilter<N>& up, HalfbandFilter<N>& down, const std::vector<float>& x,
              std::size_t from, std::size_t to, std::vector<float>& upOut, std::vector<float>& out)
{
    for (std::size_t n = from; n < to; ++n)
    {
        processHalfband(up, x[n], upOut[2 * n], upOut[2 * n + 1]);
        out[n] = decimateHalfband(down, upOut[2 * n], upOut[2 * n + 1]);
    }
}

TEST(Halfband, OneBlockEqualsTwoHalves)
{
    std::vector<float> x(512);
    for (std::size_t n = 0; n < x.size(); ++n)
    {
        x[n] =
            static_cast<float>(std::sin(0.37 * double(n)) * 0.8 + 0.1 * std::cos(2.9 * double(n)));
    }
    HalfbandFilter12 upA = loadedFilter<12>(), downA = loadedFilter<12>();
    HalfbandFilter12 upB = upA, downB = downA;
    std::vector<float> midA(1024), outA(512), midB(1024), outB(512);
    runBlock(upA, downA, x, 0, 512, midA, outA);
    runBlock(upB, downB, x, 0, 256, midB, outB);
    runBlock(upB, downB, x, 256, 512, midB, outB);
    EXPECT_EQ(std::memcmp(midA.data(), midB.data(), midA.size() * sizeof(float)), 0);
    EXPECT_EQ(std::memcmp(outA.data(), outB.data(), outA.size() * sizeof(float)), 0);
}

TEST(Halfband, LoadingCoefficientsKeepsTheStateAndResetClearsAll)
{
    HalfbandFilter8 f = loadedFilter<8>();
    float e = 0.0f, l = 0.0f;
    for (int n = 0; n < 10; ++n)
    {
        processHalfband(f, 0.3f * float(n), e, l);
    }
    const HalfbandFilter8 before = f;
    loadHalfbandCoefficients(f);
    EXPECT_EQ(std::memcmp(&f, &before, sizeof f), 0);
    for (std::size_t k = 0; k < 8; ++k)
    {
        EXPECT_EQ(f.c[k], static_cast<float>(kHalfbandCoefficients8[k]));
    }
    HalfbandFilter8 named;
    resetHalfband(named);
    loadHalfbandCoefficients(named, kHalfbandCoefficients8);
    EXPECT_EQ(std::memcmp(named.c, f.c, sizeof f.c), 0);
    resetHalfband(f);
    for (std::size_t k = 0; k < 8; ++k)
    {
        EXPECT_EQ(f.c[k], 0.0f);
        EXPECT_EQ(f.xPrev[k], 0.0f);
        EXPECT_EQ(f.yPrev[k], 0.0f);
    }
}

} // namespace
} // namespace vorla
