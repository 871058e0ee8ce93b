// SPDX-License-Identifier: GPL-3.0-or-later
// Every primitive in SIMD lanes against the one-sample version: each lane
// of every lane width must give exactly the scalar bits, on ordinary signals
// and on the branch edges (grid current, cut-off, supply limit, cathode
// clamp, the tube table's ends and NaN).
#include "dsp/lanes.h"

#include "dsp/biquad.h"
#include "dsp/halfband.h"
#include "dsp/tone_stack.h"
#include "dsp/triode_sets.h"
#include "dsp/triode_stage.h"
#include "dsp/tube_table.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

namespace {

using namespace vorla;

constexpr double kRate = 176400.0;

using vorla::test::sameBits;
using vorla::test::sameBytes;

/// Inputs that visit every branch: quiet, large, huge, negative, zero, the
/// table's ends, and pseudo-random values.
std::vector<double> edgeInputs()
{
    std::vector<double> v = {0.0,
                             -0.0,
                             1e-300,
                             -1e-300,
                             0.5,
                             -0.5,
                             3.0,
                             -3.0,
                             20.0,
                             -20.0,
                             100.0,
                             -100.0,
                             1e6,
                             -1e6,
                             1e30,
                             -1e30,
                             179.99,
                             -179.99,
                             180.0,
                             -180.0,
                             1000.0,
                             -1000.0,
                             -0.05,
                             0.1,
                             -0.1,
                             -179.9,
                             179.9,
                             std::nextafter(180.0, 0.0),
                             std::nextafter(-180.0, 0.0)};
    uint32_t lcg = 99u;
    for (int k = 0; k < 400; ++k)
    {
        lcg = lcg * 1664525u + 1013904223u;
        v.push_back(40.0 * (static_cast<double>(lcg) / 4294967296.0 - 0.5) * 2.0);
    }
    return v;
}

/// The input of lane `lane` at step k: each lane a different walk through
/// the edge inputs.
double laneInput(const std::vector<double>& in, std::size_t k, int lane)
{
    const std::size_t n = in.size();
    const double scale[] = {1.0, 0.3, -0.7, 2.5, -1.3, 0.05, 4.0, -0.2};
    return in[(k * (2 * static_cast<std::size_t>(lane) + 1) + 13 * static_cast<std::size_t>(lane)) %
              n] *
           scale[lane];
}

/// W primitives of each kind stepped in lanes over the inputs; outputs per
/// step and lane, and the records after the run.
struct LaneRun
{
    std::vector<double> stage, biquad, tone, tube;
    TriodeStage stages[8];
    Biquad biquads[8];
    ToneStack tones[8];
};

template <class L>
VORLA_LANE_INLINE void runLanes(LaneRun& run, const std::vector<double>& in) noexcept
{
    constexpr int W = lanes::kWidth<L>;
    const TriodeCoefficients<double>* stageK[W];
    const TriodeState<double>* stageS[W];
    const BiquadCoefficients<double>* biquadK[W];
    const BiquadState<double>* biquadS[W];
    const ToneStackCoefficients<double>* toneK[W];
    const ToneStackState<double>* toneS[W];
    for (int i = 0; i < W; ++i)
    {
        stageK[i] = &run.stages[i];
        stageS[i] = &run.stages[i];
        biquadK[i] = &run.biquads[i];
        biquadS[i] = &run.biquads[i];
        toneK[i] = &run.tones[i];
        toneS[i] = &run.tones[i];
    }
    const TriodeCoefficients<L> tk = gatherLanes<TriodeCoefficients, L>(stageK);
    TriodeState<L> ts = gatherLanes<TriodeState, L>(stageS);
    const BiquadCoefficients<L> bk = gatherLanes<BiquadCoefficients, L>(biquadK);
    BiquadState<L> bs = gatherLanes<BiquadState, L>(biquadS);
    const ToneStackCoefficients<L> ok = gatherLanes<ToneStackCoefficients, L>(toneK);
    ToneStackState<L> os = gatherLanes<ToneStackState, L>(toneS);
    const L rate = lanes::splat<L>(kRate);
    for (std::size_t k = 0; k < in.size(); ++k)
    {
        double v[W];
        for (int i = 0; i < W; ++i)
            v[i] = laneInput(in, k, i);
        const L x = lanes::fromLanes<L>(v);
        L y = x;
        stepTriodeStage(tk, ts, y, rate);
        lanes::toLanes(y, v);
        run.stage.insert(run.stage.end(), v, v + W);
        y = x;
        stepBiquad(bk, bs, y);
        lanes::toLanes(y, v);
        run.biquad.insert(run.biquad.end(), v, v + W);
        y = x;
        stepToneStack(ok, os, y);
        lanes::toLanes(y, v);
        run.tone.insert(run.tone.end(), v, v + W);
        lanes::toLanes(lookupTubeCurve(x), v);
        run.tube.insert(run.tube.end(), v, v + W);
    }
    TriodeState<double>* stageTo[W];
    BiquadState<double>* biquadTo[W];
    ToneStackState<double>* toneTo[W];
    for (int i = 0; i < W; ++i)
    {
        stageTo[i] = &run.stages[i];
        biquadTo[i] = &run.biquads[i];
        toneTo[i] = &run.tones[i];
    }
    scatterLanes<TriodeState, L>(ts, stageTo);
    scatterLanes<BiquadState, L>(bs, biquadTo);
    scatterLanes<ToneStackState, L>(os, toneTo);
}

VORLA_AVX __attribute__((flatten)) void runFourLanes(LaneRun& run, const std::vector<double>& in)
{
    runLanes<__m256d>(run, in);
}

VORLA_AVX512 __attribute__((flatten)) void runEightLanes(LaneRun& run,
                                                         const std::vector<double>& in)
{
    runLanes<__m512d>(run, in);
}

/// Eight stages, sections and stacks, one per lane (each kind four times).
LaneRun freshRun()
{
    LaneRun run;
    const TriodeComponentSet* sets[] = {&kTriodeSetS1, &kTriodeSetS2, &kTriodeSetS3, &kTriodeSetS4};
    for (int i = 0; i < 8; ++i)
    {
        initTriodeStage(run.stages[i], *sets[i % 4], kRate);
        designToneStack(4.7e-10, 2.2e-8, 2.2e-8, 250000, 1000000, 25000, 94000, kRate,
                        run.tones[i]);
        updateToneStackCoefficients(run.tones[i], 0.1 + 0.1 * i, 0.7, 0.55 - 0.05 * i, 0.9);
    }
    for (int i = 0; i < 8; i += 4)
    {
        designLowShelf(600.0, 0.7, 0.25, kRate, run.biquads[i]);
        designHighpass(2.0, 0.7, kRate, run.biquads[i + 1]);
        designLowpass(4800.0, 0.85, kRate, run.biquads[i + 2]);
        designPeak(4500.0, 0.7, 1.6, kRate, run.biquads[i + 3]);
    }
    return run;
}

/// The lane run of width W against each lane's primitive run on its own.
void expectLanesMatchScalar(const LaneRun& lanesRun, int W, const std::vector<double>& in)
{
    LaneRun scalar = freshRun();
    for (std::size_t k = 0; k < in.size(); ++k)
        for (int i = 0; i < W; ++i)
        {
            const double x = laneInput(in, k, i);
            const std::size_t at = k * static_cast<std::size_t>(W) + static_cast<std::size_t>(i);
            double y = x;
            processTriodeStage(scalar.stages[i], y, kRate);
            ASSERT_TRUE(sameBits(lanesRun.stage[at], y)) << "stage, lane " << i << ", step " << k;
            y = x;
            processBiquad(scalar.biquads[i], y);
            ASSERT_TRUE(sameBits(lanesRun.biquad[at], y)) << "biquad, lane " << i << ", step " << k;
            y = x;
            const ToneStack& t = scalar.tones[i];
            processToneStack(scalar.tones[i], t.low, t.mid, t.high, t.contour, y);
            ASSERT_TRUE(sameBits(lanesRun.tone[at], y))
                << "tone stack, lane " << i << ", step " << k;
            y = x;
            lookupTubeTable(y);
            ASSERT_TRUE(sameBits(lanesRun.tube[at], y)) << "tube curve, input " << x;
        }
    for (int i = 0; i < W; ++i)
    {
        EXPECT_TRUE(sameBytes(lanesRun.stages[i], scalar.stages[i])) << "stage record " << i;
        EXPECT_TRUE(sameBytes(lanesRun.biquads[i], scalar.biquads[i])) << "biquad record " << i;
        EXPECT_TRUE(sameBytes(lanesRun.tones[i], scalar.tones[i])) << "tone stack record " << i;
    }
}

TEST(Lanes, TwoSse2LanesGiveTheScalarBits)
{
    const auto in = edgeInputs();
    LaneRun run = freshRun();
    runLanes<__m128d>(run, in);
    expectLanesMatchScalar(run, 2, in);
}

TEST(Lanes, FourAvxLanesGiveTheScalarBits)
{
    if (!processorHasAvx())
        GTEST_SKIP() << "no AVX on this processor";
    const auto in = edgeInputs();
    LaneRun run = freshRun();
    runFourLanes(run, in);
    expectLanesMatchScalar(run, 4, in);
}

TEST(Lanes, EightAvx512LanesGiveTheScalarBits)
{
    if (!processorHasAvx512())
        GTEST_SKIP() << "no AVX-512 on this processor";
    const auto in = edgeInputs();
    LaneRun run = freshRun();
    runEightLanes(run, in);
    expectLanesMatchScalar(run, 8, in);
}

TEST(Lanes, TubeCurveSendsNanToTheLastValueInEveryWidth)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    double scalar = nan;
    lookupTubeTable(scalar);
    EXPECT_EQ(scalar, kTubeTable.pairs[kTubeTableSize - 1].y);
    double v[2];
    lanes::toLanes(lookupTubeCurve(_mm_setr_pd(0.0, nan)), v);
    EXPECT_TRUE(sameBits(v[1], scalar));
    EXPECT_TRUE(sameBits(v[0], kTubeRestOutput));
}

TEST(Lanes, AllpassSectionsInFloatLanesGiveTheScalarBits)
{
    // Four independent cascades of three sections side by side in one
    // register, against each on its own.
    const float c[4][3] = {
        {0.1f, 0.5f, 0.9f}, {0.03f, 0.42f, 0.98f}, {0.2f, 0.3f, 0.4f}, {0.77f, 0.66f, 0.55f}};
    __m128 lc[3], lx[3] = {}, ly[3] = {};
    for (int j = 0; j < 3; ++j)
        lc[j] = _mm_setr_ps(c[0][j], c[1][j], c[2][j], c[3][j]);
    float sx[4][3] = {}, sy[4][3] = {};
    uint32_t lcg = 5u;
    for (int k = 0; k < 500; ++k)
    {
        float in[4];
        for (float& v : in)
        {
            lcg = lcg * 1664525u + 1013904223u;
            v = static_cast<float>(static_cast<int32_t>(lcg >> 8) - 8388608) / 8388608.0f;
        }
        const __m128 out = runAllpassSections(lc, lx, ly, _mm_loadu_ps(in));
        float got[4];
        _mm_storeu_ps(got, out);
        for (int i = 0; i < 4; ++i)
        {
            const float want = runAllpassSections(c[i], sx[i], sy[i], in[i]);
            ASSERT_EQ(std::bit_cast<uint32_t>(got[i]), std::bit_cast<uint32_t>(want))
                << "lane " << i << ", step " << k;
        }
    }
}

} // namespace
