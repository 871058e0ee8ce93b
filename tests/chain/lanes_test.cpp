// SPDX-License-Identifier: GPL-3.0-or-later
// The model loops against each other: every lane layout must give the bits
// of the one-side loop (which the reference-cascade test ties to
// processPair), whatever the voicing changes and block lengths.
//   - the AVX and AVX-512 layouts against the SSE2 ones, mono and stereo;
//   - the stereo sides against two mono effects fed one input each;
//   - the shaper's inline exp against its call of std::exp;
//   - which set an amplifier picks from the sets' timings.
#include "chain/lane_choice.h"
#include "chain/model_code.h"

#include "chain/chain_support.h"
#include "chain/lane_sets.h"
#include "dsp/lanes.h"
#include "dsp/test_support.h"
#include "effect/direct_core.h"
#include "effect/parameters.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>

namespace {

using namespace vorla;
using vorla::test::availableLaneSets;
using vorla::test::sameBytes;

struct Render
{
    std::vector<float> out[2];
};

/// Both inputs through `fx` in blocks of uneven length (chunks end mid-
/// block), switching voicing, bright and boost between blocks.
Render renderSwitching(EffectCore& fx, const std::vector<float>& in1, const std::vector<float>& in2)
{
    const std::size_t frames = in1.size();
    Render r;
    for (auto& v : r.out)
        v.assign(frames, 0.0f);
    const int blocks[] = {37, 1, 64, 250, 3};
    std::size_t pos = 0;
    for (int b = 0; pos < frames; ++b)
    {
        const auto n = static_cast<int32_t>(std::min<std::size_t>(blocks[b % 5], frames - pos));
        const int voicing = (b / 3) % 3;
        fx.setParameter(kChannel, voicing == 2 ? 1.0f : 0.0f);
        fx.setParameter(kCleanCrunch, voicing == 1 ? 1.0f : 0.0f);
        fx.setParameter(kBright, (b / 2) % 2 != 0 ? 1.0f : 0.0f);
        fx.setParameter(kBoost, (b / 5) % 2 != 0 ? 1.0f : 0.0f);
        float* inputs[2] = {const_cast<float*>(in1.data() + pos),
                            const_cast<float*>(in2.data() + pos)};
        float* outputs[2] = {r.out[0].data() + pos, r.out[1].data() + pos};
        fx.process(inputs, outputs, n);
        pos += static_cast<std::size_t>(n);
    }
    return r;
}

std::unique_ptr<EffectCore> makeEffect(float hostRate, bool highQuality, bool stereo, LaneSet lanes)
{
    auto fx = vorla::test::makeCore();
    fx->amplifier().modelCode().useLanes(lanes);
    fx->setParameter(kQuality, highQuality ? 1.0f : 0.0f);
    fx->setSampleRate(hostRate);
    fx->setParameter(kMonoStereo, stereo ? 1.0f : 0.0f);
    fx->setParameter(kInput, 1.0f);
    return fx;
}

std::vector<float> loudInput(float hostRate, int variant)
{
    std::vector<float> in = vorla::test::guitarSignal(3000, hostRate, variant);
    // A loud burst drives the stages into grid current and cut-off.
    for (std::size_t i = 1200; i < 1500; ++i)
        in[i] *= 40.0f;
    return in;
}

void expectLanesMatchSse2(LaneSet set, float hostRate, bool highQuality, bool stereo)
{
    auto narrow = makeEffect(hostRate, highQuality, stereo, LaneSet::Sse2);
    auto wide = makeEffect(hostRate, highQuality, stereo, set);
    const auto in1 = loudInput(hostRate, 0);
    const auto in2 = loudInput(hostRate, 1);
    const Render a = renderSwitching(*narrow, in1, in2);
    const Render b = renderSwitching(*wide, in1, in2);
    for (int side = 0; side < 2; ++side)
    {
        EXPECT_TRUE(vorla::test::sameBits(a.out[side], b.out[side])) << "output " << side + 1;
        EXPECT_TRUE(sameBytes(narrow->amplifier().side(side), wide->amplifier().side(side)))
            << "side " << side;
    }
    EXPECT_GT(vorla::test::peak(b.out[0]), 0.01);
}

TEST(ModelLanes, WideLanesGiveTheBitsOfTheSse2Lanes)
{
    const std::vector<LaneSet> sets = availableLaneSets();
    if (sets.size() == 1)
        GTEST_SKIP() << "no AVX on this processor";
    for (LaneSet set : sets)
        for (bool stereo : {false, true})
        {
            if (set == LaneSet::Sse2)
                continue;
            SCOPED_TRACE(std::string(laneSetName(set)) + (stereo ? ", stereo" : ", mono"));
            expectLanesMatchSse2(set, 96000.0f, false, stereo); // 2x
            expectLanesMatchSse2(set, 44100.0f, false, stereo); // 4x
            expectLanesMatchSse2(set, 44100.0f, true, stereo);  // 8x
        }
}

TEST(ModelLanes, StereoSidesGiveTheBitsOfTwoMonoEffects)
{
    for (LaneSet set : availableLaneSets())
    {
        SCOPED_TRACE(laneSetName(set));
        auto stereo = makeEffect(44100.0f, false, true, set);
        auto left = makeEffect(44100.0f, false, false, set);
        auto right = makeEffect(44100.0f, false, false, set);
        const auto in1 = loudInput(44100.0f, 0);
        const auto in2 = loudInput(44100.0f, 1);
        const Render both = renderSwitching(*stereo, in1, in2);
        const Render one = renderSwitching(*left, in1, in2);
        const Render two = renderSwitching(*right, in2, in1);
        EXPECT_TRUE(vorla::test::sameBits(both.out[0], one.out[0]));
        EXPECT_TRUE(vorla::test::sameBits(both.out[1], two.out[0]));
        EXPECT_TRUE(sameBytes(stereo->amplifier().side(0), left->amplifier().side(0)));
        EXPECT_TRUE(sameBytes(stereo->amplifier().side(1), right->amplifier().side(0)));
    }
}

TEST(ModelLanes, InlineExpGivesTheBitsOfTheLibraryCall)
{
    if (!fusedExpMatchesLibrary() || !processorHasAvx())
        GTEST_SKIP() << "the shaper calls std::exp on this processor and library";
    for (LaneSet set : availableLaneSets())
        for (bool stereo : {false, true})
        {
            if (set == LaneSet::Sse2)
                continue;
            SCOPED_TRACE(std::string(laneSetName(set)) + (stereo ? ", stereo" : ", mono"));
            auto called = makeEffect(44100.0f, false, stereo, set);
            auto inlined = makeEffect(44100.0f, false, stereo, set);
            called->amplifier().modelCode().inlineExp = false;
            inlined->amplifier().modelCode().inlineExp = true;
            const auto in1 = loudInput(44100.0f, 0);
            const auto in2 = loudInput(44100.0f, 1);
            const Render a = renderSwitching(*called, in1, in2);
            const Render b = renderSwitching(*inlined, in1, in2);
            for (int side = 0; side < 2; ++side)
            {
                EXPECT_TRUE(vorla::test::sameBits(a.out[side], b.out[side])) << "output " << side;
                EXPECT_TRUE(
                    sameBytes(called->amplifier().side(side), inlined->amplifier().side(side)))
                    << "side " << side;
            }
        }
}

/// shapeStage over `in` in lanes of L, against stageShaper per sample.
template <class L> VORLA_LANE_INLINE void shapeInLanes(const std::vector<double>& in, double* out)
{
    constexpr int W = lanes::kWidth<L>;
    for (std::size_t k = 0; k + W <= in.size(); k += W)
        lanes::toLanes(shapeStage(lanes::fromLanes<L>(&in[k])), &out[k]);
}

VORLA_AVX __attribute__((flatten)) void shapeInFourLanes(const std::vector<double>& in, double* out)
{
    shapeInLanes<__m256d>(in, out);
}

TEST(ModelLanes, ShaperGivesTheScalarBitsInEveryLaneWidth)
{
    // Signs mixed within a register, zeros of both signs, large values.
    std::vector<double> in = {0.0, -0.0, 1.0,  -1.0, 250.0, -250.0, 1e-300, 1e300,
                              3.5, 0.25, -7.0, 1e6,  -1e6,  42.0,   -0.5,   0.5};
    vorla::test::Lcg noise(3u);
    for (int k = 0; k < 400; ++k)
        in.push_back(300.0 * noise.bipolar());
    std::vector<double> two(in.size()), four(in.size());
    shapeInLanes<__m128d>(in, two.data());
    if (processorHasAvx())
        shapeInFourLanes(in, four.data());
    for (std::size_t k = 0; k < in.size(); ++k)
    {
        const double want = stageShaper(in[k]);
        ASSERT_EQ(std::memcmp(&two[k], &want, sizeof(double)), 0) << in[k];
        if (processorHasAvx())
        {
            ASSERT_EQ(std::memcmp(&four[k], &want, sizeof(double)), 0) << in[k];
        }
    }
}

TEST(LaneChoice, TheWidestSetStaysUnlessAnotherIsClearlyFaster)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    struct Case
    {
        std::vector<LaneTime> times;
        LaneSet widest;
        LaneSet picked;
    };
    const Case cases[] = {
        {{{LaneSet::Sse2, 1.0}, {LaneSet::Avx, 1.0}}, LaneSet::Avx, LaneSet::Avx},
        // Within the margin: the machine's noise, not a reason to change.
        {{{LaneSet::Sse2, 0.97}, {LaneSet::Avx, 1.0}}, LaneSet::Avx, LaneSet::Avx},
        {{{LaneSet::Sse2, 0.9}, {LaneSet::Avx, 1.0}}, LaneSet::Avx, LaneSet::Sse2},
        // The fastest of several that beat the widest.
        {{{LaneSet::Sse2, 0.95},
          {LaneSet::Avx, 0.85},
          {LaneSet::Avx512, 1.0},
          {LaneSet::Avx512Narrow, 0.9}},
         LaneSet::Avx512,
         LaneSet::Avx},
        // Times that cannot be right do not count.
        {{{LaneSet::Sse2, 0.0}, {LaneSet::Avx, 1.0}}, LaneSet::Avx, LaneSet::Avx},
        {{{LaneSet::Sse2, -1.0}, {LaneSet::Avx, 1.0}}, LaneSet::Avx, LaneSet::Avx},
        {{{LaneSet::Sse2, nan}, {LaneSet::Avx, 1.0}}, LaneSet::Avx, LaneSet::Avx},
        {{{LaneSet::Sse2, 0.5}, {LaneSet::Avx, nan}}, LaneSet::Avx, LaneSet::Avx},
        {{{LaneSet::Sse2, 0.5}, {LaneSet::Avx, inf}}, LaneSet::Avx, LaneSet::Avx},
        {{{LaneSet::Sse2, 0.5}}, LaneSet::Avx, LaneSet::Avx},
        {{}, LaneSet::Sse2, LaneSet::Sse2},
    };
    for (const Case& c : cases)
        EXPECT_EQ(pickLaneSet(c.times.data(), static_cast<int>(c.times.size()), c.widest), c.picked)
            << laneSetName(c.picked);
}

TEST(LaneChoice, AmplifiersRunOnMeasuredSetsThisProcessorHas)
{
    const ModelCode measured = measuredModelCode();
    EXPECT_TRUE(processorHasLaneSet(measured.mono)) << laneSetName(measured.mono);
    EXPECT_TRUE(processorHasLaneSet(measured.stereo)) << laneSetName(measured.stereo);
    EXPECT_EQ(measured.inlineExp, fusedExpMatchesLibrary());
    for (int i = 0; i < 2; ++i)
    {
        auto fx = vorla::test::makeCore();
        const ModelCode& code = fx->amplifier().modelCode();
        EXPECT_EQ(code.mono, measured.mono);
        EXPECT_EQ(code.stereo, measured.stereo);
    }
}

} // namespace
