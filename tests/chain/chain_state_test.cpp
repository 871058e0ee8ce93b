// SPDX-License-Identifier: GPL-3.0-or-later
// The chain state on a directly created effect: the construction order, the
// rate design's invariants, voicing switches, and the oversampling cascade
// against a sample-by-sample reference written here from the circuit's
// description.
#include "chain/amp_channel.h"
#include "chain/chain_support.h"
#include "dsp/halfband.h"
#include "dsp/test_support.h"
#include "dsp/triode_sets.h"
#include "effect/direct_core.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <utility>
#include <vector>

#include <pthread.h>

namespace {

using namespace vorla;
using vorla::test::guitarSignal;
using vorla::test::makeCore;
using vorla::test::sameBytes;

/// Mono blocks straight into the effect object.
std::vector<float> process(EffectCore& fx, const std::vector<float>& in1,
                           const std::vector<float>& in2, int block,
                           std::vector<float>* right = nullptr)
{
    std::vector<float> out1(in1.size());
    std::vector<float> out2(in1.size());
    for (std::size_t pos = 0; pos < in1.size(); pos += static_cast<std::size_t>(block))
    {
        const auto frames = static_cast<int32_t>(std::min<std::size_t>(block, in1.size() - pos));
        float* inputs[2] = {const_cast<float*>(in1.data() + pos),
                            const_cast<float*>(in2.data() + pos)};
        float* outputs[2] = {out1.data() + pos, out2.data() + pos};
        fx.process(inputs, outputs, frames);
    }
    if (right != nullptr)
        *right = out2;
    return out1;
}

std::vector<Biquad*> biquads(AmpChannel& c)
{
    return {&c.overdriveLowpass2, &c.overdriveLowpass1, &c.cleanLowpass,   &c.crunchLowpass,
            &c.cleanBrightShelf,  &c.crunchBrightShelf, &c.overdriveShelf, &c.cleanShelf,
            &c.crunchShelf,       &c.brightPeak,        &c.dcBlocker};
}

std::vector<TriodeStage*> stages(AmpChannel& c)
{
    return {&c.cleanStage1, &c.crunchStage1, &c.inputStage,     &c.overdriveStage1,
            &c.cleanStage2, &c.crunchStage2, &c.overdriveStage2};
}

TEST(ChainState, ConstructionInitialisesStagesLastAtTheProcessingRate)
{
    auto fx = makeCore();
    const double rate = 176400.0;
    const TriodeComponentSet* sets[] = {&kTriodeSetS1, &kTriodeSetS1, &kTriodeSetS2, &kTriodeSetS3,
                                        &kTriodeSetS4, &kTriodeSetS4, &kTriodeSetS4};
    for (int side = 0; side < 2; ++side)
    {
        AmpChannel& c = fx->amplifier().side(side);
        const auto list = stages(c);
        for (std::size_t k = 0; k < list.size(); ++k)
        {
            TriodeStage expected;
            initTriodeStage(expected, *sets[k], rate);
            EXPECT_TRUE(sameBytes(*list[k], expected)) << "stage " << k;
        }
        // Every filter designed, histories clear, the DC blocker preset.
        for (Biquad* q : biquads(c))
        {
            EXPECT_NE(q->norm, 0.0);
            EXPECT_EQ(q->y1, 0.0);
            EXPECT_EQ(q->y2, 0.0);
        }
        EXPECT_EQ(c.dcBlocker.x1, kTubeRestOutput);
        EXPECT_EQ(c.dcBlocker.x2, kTubeRestOutput);
        EXPECT_EQ(c.cleanShelf.x1, 0.0);
        EXPECT_EQ(c.toneStack.w, 2.0 * rate);
        EXPECT_EQ(c.toneStack.low, 10.0);
        // Resamplers: coefficients loaded, state clear.
        EXPECT_EQ(c.upsampler1.c[0], static_cast<float>(kHalfbandCoefficients12[0]));
        EXPECT_EQ(c.downsampler3.c[3], static_cast<float>(kHalfbandCoefficients4[3]));
        for (std::size_t k = 0; k < 12; ++k)
        {
            EXPECT_EQ(c.upsampler1.xPrev[k], 0.0f);
            EXPECT_EQ(c.downsampler1.yPrev[k], 0.0f);
        }
    }
}

TEST(ChainState, DesigningTwiceKeepsCoefficientsStagesAndResamplersAndClearsHistories)
{
    auto fx = makeCore();
    fx->setParameter(kMonoStereo, 1.0f);
    fx->setParameter(kBright, 1.0f);
    const auto signal = guitarSignal(700, 44100.0f);
    process(*fx, signal, signal, 128);
    const std::array<AmpChannel, 2> before = {fx->amplifier().side(0), fx->amplifier().side(1)};

    fx->setSampleRate(44100.0f);
    fx->applyPendingChanges(); // what the next block does first
    for (std::size_t side = 0; side < 2; ++side)
    {
        AmpChannel& now = fx->amplifier().side(side);
        AmpChannel old = before[side];
        const auto nowList = biquads(now);
        const auto oldList = biquads(old);
        for (std::size_t k = 0; k < nowList.size(); ++k)
        {
            const Biquad& q = *nowList[k];
            const Biquad& o = *oldList[k];
            EXPECT_EQ(q.norm, o.norm);
            EXPECT_EQ(q.a1, o.a1);
            EXPECT_EQ(q.a2, o.a2);
            EXPECT_EQ(q.b0, o.b0);
            EXPECT_EQ(q.b1, o.b1);
            EXPECT_EQ(q.b2, o.b2);
            const double rest = (&q == &now.dcBlocker) ? kTubeRestOutput : 0.0;
            EXPECT_EQ(q.x1, rest) << k;
            EXPECT_EQ(q.x2, rest) << k;
            EXPECT_EQ(q.y1, 0.0) << k;
            EXPECT_EQ(q.y2, 0.0) << k;
        }
        // The knobs ran, so some histories were not clear before.
        EXPECT_NE(old.cleanShelf.y1, 0.0);

        const ToneStack& ts = now.toneStack;
        EXPECT_EQ(ts.w, old.toneStack.w);
        EXPECT_EQ(ts.s0, 0.0);
        EXPECT_EQ(ts.s1, 0.0);
        EXPECT_EQ(ts.s2, 0.0);
        EXPECT_EQ(ts.low, 10.0);
        EXPECT_NE(old.toneStack.s0, 0.0);

        const auto nowStages = stages(now);
        const auto oldStages = stages(old);
        for (std::size_t k = 0; k < nowStages.size(); ++k)
            EXPECT_TRUE(sameBytes(*nowStages[k], *oldStages[k])) << "stage " << k;
        EXPECT_TRUE(sameBytes(now.upsampler1, old.upsampler1));
        EXPECT_TRUE(sameBytes(now.downsampler1, old.downsampler1));
        EXPECT_TRUE(sameBytes(now.upsampler2, old.upsampler2));
        EXPECT_TRUE(sameBytes(now.downsampler2, old.downsampler2));
        EXPECT_TRUE(sameBytes(now.upsampler3, old.upsampler3));
        EXPECT_TRUE(sameBytes(now.downsampler3, old.downsampler3));
    }

    // The tone stack's coefficients come back the same on the next sample.
    process(*fx, std::vector<float>(1, 0.0f), std::vector<float>(1, 0.0f), 1);
    EXPECT_EQ(fx->amplifier().side(0).toneStack.B0n, before[0].toneStack.B0n);
    EXPECT_EQ(fx->amplifier().side(0).toneStack.A3n, before[0].toneStack.A3n);
}

TEST(ChainState, QualitySwitchKeepsStageVoltagesAndUpdatesTheRateTerms)
{
    auto fx = makeCore();
    const auto signal = guitarSignal(500, 44100.0f);
    process(*fx, signal, signal, 100);
    const TriodeStage before = fx->amplifier().side(0).inputStage;

    fx->setParameter(kQuality, 1.0f); // 4x -> 8x
    EXPECT_EQ(fx->amplifier().side(0).inputStage.cathodeCoef, before.cathodeCoef)
        << "the redesign waits for the next block";
    fx->applyPendingChanges();
    const TriodeStage& after = fx->amplifier().side(0).inputStage;
    const double T = 1.0 / fx->processRate();
    EXPECT_EQ(after.Vp, before.Vp);
    EXPECT_EQ(after.Vk, before.Vk);
    EXPECT_EQ(after.out, before.out);
    EXPECT_EQ(after.cathodeCoef, T * after.Rk / (T + after.Rk * after.Ck));
    EXPECT_NE(after.cathodeCoef, before.cathodeCoef);
    EXPECT_EQ(after.couplingCoef,
              (after.Ra + after.Rb) * after.Cc / ((after.Ra + after.Rb) * after.Cc + T));
    EXPECT_EQ(fx->amplifier().side(1).inputStage.cathodeCoef, after.cathodeCoef);
}

TEST(ChainState, ASideWhoseStateIsNotFiniteStartsAgainFromRest)
{
    // Nothing a host can send poisons a side any more; should anything else
    // do it (a stray write into our memory), the amplifier must not stay
    // dead: after the block that found it, the side is as in a new effect.
    for (const bool stereo : {false, true})
    {
        auto fx = makeCore();
        auto fresh = makeCore();
        for (EffectCore* amp : {fx.get(), fresh.get()})
            amp->setParameter(kMonoStereo, stereo ? 1.0f : 0.0f);
        const auto signal = guitarSignal(2048, 44100.0f);
        process(*fx, signal, signal, 256);
        fx->amplifier().side(0).inputStage.Vk = std::nan("");
        if (stereo)
            fx->amplifier().side(1).dcBlocker.y1 = std::numeric_limits<double>::infinity();
        const std::vector<float> block(signal.begin(), signal.begin() + 256);
        process(*fx, block, block, 256); // the block that finds the poison
        for (int side = 0; side < 2; ++side)
            EXPECT_TRUE(ampChannelIsFinite(fx->amplifier().side(side)));

        std::vector<float> right, freshRight;
        const auto out = process(*fx, signal, signal, 256, &right);
        const auto expected = process(*fresh, signal, signal, 256, &freshRight);
        EXPECT_TRUE(vorla::test::sameBits(out, expected)) << "stereo " << stereo;
        EXPECT_TRUE(vorla::test::sameBits(right, freshRight)) << "stereo " << stereo;
    }
}

TEST(ChainState, EveryStateValueThatIsNotFiniteIsFound)
{
    // Each value a side carries from one sample to the next, poisoned in
    // turn with a NaN or an infinity, makes the side not finite; the extreme
    // finite values (the largest, the smallest subnormal, a negative zero)
    // do not.
    auto side = std::make_unique<AmpChannel>();
    AmpChannel& c = *side;
    std::vector<double*> doubles;
    std::vector<float*> floats;
    for (TriodeStage* s : {&c.inputStage, &c.cleanStage1, &c.cleanStage2, &c.crunchStage1,
                           &c.crunchStage2, &c.overdriveStage1, &c.overdriveStage2})
        doubles.insert(doubles.end(), {&s->Vg, &s->Vk, &s->Vp, &s->Ig, &s->Ip, &s->out});
    for (Biquad* q : {&c.overdriveLowpass2, &c.overdriveLowpass1, &c.cleanLowpass, &c.crunchLowpass,
                      &c.cleanBrightShelf, &c.crunchBrightShelf, &c.overdriveShelf, &c.cleanShelf,
                      &c.crunchShelf, &c.brightPeak, &c.dcBlocker})
        doubles.insert(doubles.end(), {&q->x1, &q->x2, &q->y1, &q->y2});
    doubles.insert(doubles.end(), {&c.toneStack.s0, &c.toneStack.s1, &c.toneStack.s2});
    forEachHalfband(c, [&floats](auto& f) {
        for (std::size_t k = 0; k < f.order; ++k)
            floats.insert(floats.end(), {&f.xPrev[k], &f.yPrev[k]});
    });
    ASSERT_EQ(doubles.size(), 7u * 6 + 11 * 4 + 3);
    ASSERT_EQ(floats.size(), 2u * 2 * (12 + 8 + 4));

    const auto poisonEach = [&c](const auto& values, auto nan, auto infinity) {
        for (std::size_t i = 0; i < values.size(); ++i)
            for (const auto bad : {nan, infinity, -infinity})
            {
                const auto kept = *values[i];
                *values[i] = bad;
                EXPECT_FALSE(ampChannelIsFinite(c)) << "value " << i << " = " << bad;
                *values[i] = kept;
            }
    };
    ASSERT_TRUE(ampChannelIsFinite(c));
    poisonEach(doubles, std::numeric_limits<double>::quiet_NaN(),
               std::numeric_limits<double>::infinity());
    poisonEach(floats, std::numeric_limits<float>::quiet_NaN(),
               std::numeric_limits<float>::infinity());

    using D = std::numeric_limits<double>;
    using F = std::numeric_limits<float>;
    const std::pair<double, float> extremes[] = {{D::max(), F::max()},
                                                 {-D::max(), -F::max()},
                                                 {D::denorm_min(), F::denorm_min()},
                                                 {-0.0, -0.0f}};
    for (const auto& [extreme, extremeFloat] : extremes)
    {
        for (double* v : doubles)
            *v = extreme;
        for (float* v : floats)
            *v = extremeFloat;
        EXPECT_TRUE(ampChannelIsFinite(c)) << extreme;
    }
}

TEST(ChainState, VoicingsLeftBehindKeepTheirStateAndResumeFromIt)
{
    auto fx = makeCore();
    const auto signal = guitarSignal(1536, 44100.0f);
    const std::vector<float> part1(signal.begin(), signal.begin() + 512);
    const std::vector<float> part2(signal.begin() + 512, signal.begin() + 1024);
    process(*fx, part1, part1, 256); // Clean
    const AmpChannel clean = fx->amplifier().side(0);

    fx->setParameter(kCleanCrunch, 1.0f); // Crunch
    process(*fx, part2, part2, 256);
    const AmpChannel& now = fx->amplifier().side(0);
    EXPECT_TRUE(sameBytes(now.cleanStage1, clean.cleanStage1));
    EXPECT_TRUE(sameBytes(now.cleanStage2, clean.cleanStage2));
    EXPECT_TRUE(sameBytes(now.cleanShelf, clean.cleanShelf));
    EXPECT_TRUE(sameBytes(now.cleanLowpass, clean.cleanLowpass));
    EXPECT_TRUE(sameBytes(now.overdriveStage1, clean.overdriveStage1));
    EXPECT_FALSE(sameBytes(now.crunchStage1, clean.crunchStage1));
    // The shared elements ran on.
    EXPECT_FALSE(sameBytes(now.inputStage, clean.inputStage));
    EXPECT_FALSE(sameBytes(now.dcBlocker, clean.dcBlocker));

    // Back to Clean: its elements continue from where they stopped (the
    // bright shelf, off all along, still holds its design-time history).
    const AmpChannel crunch = fx->amplifier().side(0);
    fx->setParameter(kCleanCrunch, 0.0f);
    process(*fx, part2, part2, 256);
    EXPECT_FALSE(sameBytes(fx->amplifier().side(0).cleanStage1, clean.cleanStage1));
    EXPECT_TRUE(sameBytes(fx->amplifier().side(0).crunchStage1, crunch.crunchStage1));
    EXPECT_TRUE(sameBytes(fx->amplifier().side(0).cleanBrightShelf, clean.cleanBrightShelf));
}

TEST(ChainState, ValuesOutsideTheVoicingAreNotRead)
{
    // Given straight to the amplifier (the controls would hold the foreign
    // drive at 0.5): the chain must not read them.
    const auto signal = guitarSignal(800, 44100.0f);
    for (int voicing = 0; voicing < 3; ++voicing)
    {
        auto plain = makeCore();
        auto moved = makeCore();
        for (EffectCore* fx : {plain.get(), moved.get()})
        {
            fx->setParameter(kChannel, voicing == 2 ? 1.0f : 0.0f);
            fx->setParameter(kCleanCrunch, voicing == 1 ? 1.0f : 0.0f);
        }
        SwitchFlags foreign;
        foreign.channelOverdrive = voicing == 2 ? 1 : 0;
        foreign.crunchOn = voicing == 1 ? 1 : 0;
        foreign.boostOn = voicing != 2 ? 1 : 0;
        BlockControls controls;
        controls.knobs = moved->knobSettings();
        if (voicing != 1)
            controls.knobs.drive1 = 0.97f;
        if (voicing != 2)
            controls.knobs.drive2 = 0.03f;
        controls.switches = &foreign;
        controls.volume = &moved->volumeValue();

        std::vector<float> out(signal.size());
        std::vector<float> right(signal.size());
        const float* inputs[2] = {signal.data(), signal.data()};
        float* outputs[2] = {out.data(), right.data()};
        for (std::size_t pos = 0; pos < signal.size(); pos += 256)
        {
            const auto frames =
                static_cast<int32_t>(std::min<std::size_t>(256, signal.size() - pos));
            const float* in[2] = {inputs[0] + pos, inputs[1] + pos};
            float* o[2] = {outputs[0] + pos, outputs[1] + pos};
            moved->amplifier().process(in, o, frames, controls);
        }
        EXPECT_TRUE(vorla::test::sameBits(process(*plain, signal, signal, 256), out))
            << "voicing " << voicing;
    }
}

TEST(ChainState, OneFrameBlockAddsAnExactZero)
{
    // The small sine is sin(n * ...) with n counting down to 0 at the last
    // frame of a block: a one-frame block feeds exactly 0.
    auto fx = makeCore();
    process(*fx, std::vector<float>(1, 0.0f), std::vector<float>(1, 0.0f), 1);
    EXPECT_EQ(std::bit_cast<uint32_t>(fx->amplifier().side(0).upsampler1.xPrev[0]), 0u);
    // A block of two: the first frame carried 1e-10 sin(T * 2 pi 1000).
    auto fx2 = makeCore();
    AmpChannel expected = fx2->amplifier().side(0);
    const double period = fx2->samplePeriod();
    const float first =
        static_cast<float>(0.0 + 1e-10 * std::sin(1.0 * (period * 6283.193039999999)));
    EXPECT_NE(first, 0.0f);
    float p0 = 0.0f;
    float p1 = 0.0f;
    processHalfband(expected.upsampler1, first, p0, p1);
    process(*fx2, std::vector<float>(2, 0.0f), std::vector<float>(2, 0.0f), 2);
    // The second frame (n = 0) adds exactly 0 again: the up-sampler holds
    // what the two inputs (first, 0) leave in it.
    processHalfband(expected.upsampler1, 0.0f, p0, p1);
    EXPECT_TRUE(sameBytes(fx2->amplifier().side(0).upsampler1, expected.upsampler1));
}

// --- Reference cascade ----------------------------------------------------------

/// One host sample of one side, written step by step in the documented
/// order, with vorla::processPair for each pair.
float referenceSide(AmpChannel& ch, float input, double antiDenormal, int factor,
                    const BlockSnapshot& s, const PairFlags& flags, double rate, int& pairs)
{
    const float x = static_cast<float>(static_cast<double>(input) + antiDenormal);
    float p0 = 0.0f;
    float p1 = 0.0f;
    processHalfband(ch.upsampler1, x, p0, p1);
    float r0 = 0.0f;
    float r1 = 0.0f;
    if (factor < 4)
    {
        double a = p0;
        double b = p1;
        processPair(ch, a, b, s, flags, rate);
        ++pairs;
        r0 = static_cast<float>(a);
        r1 = static_cast<float>(b);
    }
    else
    {
        float slot[2];
        const float q[2] = {p0, p1};
        for (int j = 0; j < 2; ++j)
        {
            float u0 = 0.0f;
            float u1 = 0.0f;
            processHalfband(ch.upsampler2, q[j], u0, u1);
            if (factor <= 4)
            {
                double a = u0;
                double b = u1;
                processPair(ch, a, b, s, flags, rate);
                ++pairs;
                slot[j] =
                    decimateHalfband(ch.downsampler2, static_cast<float>(a), static_cast<float>(b));
            }
            else
            {
                float sub[2];
                const float u[2] = {u0, u1};
                for (int k = 0; k < 2; ++k)
                {
                    float w0 = 0.0f;
                    float w1 = 0.0f;
                    processHalfband(ch.upsampler3, u[k], w0, w1);
                    double a = w0;
                    double b = w1;
                    processPair(ch, a, b, s, flags, rate);
                    ++pairs;
                    sub[k] = decimateHalfband(ch.downsampler3, static_cast<float>(a),
                                              static_cast<float>(b));
                }
                slot[j] = decimateHalfband(ch.downsampler2, sub[0], sub[1]);
            }
        }
        r0 = slot[0];
        r1 = slot[1];
    }
    return decimateHalfband(ch.downsampler1, r0, r1);
}

struct CascadeCase
{
    float rate;
    bool highQuality;
    int factor;
    int block;
};

TEST(ChainState, OversamplingCascadeMatchesTheStepByStepReference)
{
    // Blocks shorter than the frames the way down trails the way up (3, 7),
    // of a few live-playing sizes, and, in the last case, longer than the
    // effect keeps sine values for.
    const CascadeCase cases[] = {
        {96000.0f, false, 2, 100}, {44100.0f, false, 4, 100}, {44100.0f, true, 8, 100},
        {96000.0f, true, 4, 37},   {48000.0f, true, 8, 1},    {96000.0f, false, 2, 3},
        {44100.0f, false, 4, 16},  {44100.0f, true, 8, 7},    {44100.0f, false, 4, 4500}};
    for (const CascadeCase& c : cases)
        for (int voicing = 0; voicing < 3; ++voicing)
        {
            auto fx = makeCore();
            fx->setParameter(kQuality, c.highQuality ? 1.0f : 0.0f);
            fx->setSampleRate(c.rate);
            ASSERT_EQ(fx->oversampling(), c.factor);
            fx->setParameter(kChannel, voicing == 2 ? 1.0f : 0.0f);
            fx->setParameter(kCleanCrunch, voicing == 1 ? 1.0f : 0.0f);
            fx->setParameter(kBright, 1.0f);
            fx->setParameter(kBoost, 1.0f);
            fx->setParameter(kContour, 0.3f);
            fx->setParameter(kPowerAmp, 0.9f);
            fx->setParameter(kVolume, 0.8f);
            fx->applyPendingChanges();

            AmpChannel reference = fx->amplifier().side(0);
            const double rate = fx->processRate();
            const double period = fx->samplePeriod();

            // The block snapshot, from the knob laws.
            BlockSnapshot s;
            s.inputGain = fx->parameter(kInput);
            s.drive1 = fx->parameter(kDrive1);
            s.drive2 = fx->parameter(kDrive2);
            s.low = fx->parameter(kLow);
            s.mid = fx->parameter(kMid);
            s.high = fx->parameter(kHigh);
            s.contour = fx->parameter(kContour);
            const double k = s.contour;
            s.contourLevel = (k * 1.0298 - k * k * 0.1077 + 0.5225) * 0.015;
            s.powerDrive = static_cast<double>(fx->parameter(kPowerAmp)) * 0.9 + 0.1;
            s.crunchDriveGain = ((0.9841 * s.drive1) * s.drive1 - s.drive1 * 0.0732) + 0.089125;
            s.overdriveDriveGain = ((0.9841 * s.drive2) * s.drive2 - s.drive2 * 0.0732) + 0.089125;
            PairFlags flags;
            flags.channelOverdrive = voicing == 2 ? 1 : 0;
            flags.crunchOn = voicing == 1 ? 1 : 0;
            flags.boostOn = 1;
            flags.brightOn = 1;

            const auto signal = guitarSignal(c.block > 300 ? 4600 : 300, c.rate);
            const int block = c.block;
            const std::vector<float> out = process(*fx, signal, signal, block);
            int pairs = 0;
            for (std::size_t i = 0; i < signal.size(); ++i)
            {
                const int n = block - 1 - static_cast<int>(i % block);
                const double antiDenormal = 1e-10 * std::sin(n * (period * 6283.193039999999));
                const float y = referenceSide(reference, signal[i], antiDenormal, c.factor, s,
                                              flags, rate, pairs);
                const double v = static_cast<double>(y) * 3.0;
                const float expected = static_cast<float>(v * static_cast<double>(0.8f));
                ASSERT_EQ(std::bit_cast<uint32_t>(out[i]), std::bit_cast<uint32_t>(expected))
                    << "factor " << c.factor << " voicing " << voicing << " frame " << i;
            }
            EXPECT_EQ(pairs, static_cast<int>(signal.size()) * c.factor / 2);
            EXPECT_TRUE(sameBytes(reference, fx->amplifier().side(0)));
        }
}

/// Some hosts run processing on threads with small stacks: the chain keeps
/// its chunk buffers in the effect, so a block at the largest factor runs
/// on a 32 KiB stack and gives the bits it gives on the main thread.
TEST(ChainState, StereoBlockRunsOnASmallAudioThreadStack)
{
    auto onMain = makeCore();
    auto onSmall = makeCore();
    for (EffectCore* fx : {onMain.get(), onSmall.get()})
    {
        fx->setParameter(kQuality, 1.0f);
        fx->setSampleRate(44100.0f);
        fx->setParameter(kMonoStereo, 1.0f);
        fx->setParameter(kChannel, 1.0f);
    }
    const std::vector<float> in1 = guitarSignal(1024, 44100.0f, 0);
    const std::vector<float> in2 = guitarSignal(1024, 44100.0f, 1);
    std::vector<float> right;
    const std::vector<float> left = process(*onMain, in1, in2, 512, &right);

    struct Job
    {
        EffectCore* fx;
        const std::vector<float>* in1;
        const std::vector<float>* in2;
        std::vector<float> left, right;
    } job{onSmall.get(), &in1, &in2, {}, {}};
    pthread_attr_t attr;
    ASSERT_EQ(pthread_attr_init(&attr), 0);
    ASSERT_EQ(pthread_attr_setstacksize(&attr, 32 * 1024), 0);
    pthread_t thread;
    ASSERT_EQ(pthread_create(
                  &thread, &attr,
                  [](void* arg) -> void* {
                      auto* j = static_cast<Job*>(arg);
                      j->left = process(*j->fx, *j->in1, *j->in2, 512, &j->right);
                      return nullptr;
                  },
                  &job),
              0);
    ASSERT_EQ(pthread_join(thread, nullptr), 0);
    pthread_attr_destroy(&attr);
    EXPECT_TRUE(vorla::test::sameBits(job.left, left));
    EXPECT_TRUE(vorla::test::sameBits(job.right, right));
}

} // namespace
