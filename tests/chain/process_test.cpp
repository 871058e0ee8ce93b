// SPDX-License-Identifier: GPL-3.0-or-later
// processReplacing as a host drives it: block handling, mono and stereo,
// the output level, block splits, switches without effect, the tone
// controls' block timing, bad input, and finite output at every rate.
#include "chain/chain_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <limits>
#include <thread>

namespace {

using namespace vorla::test;

TEST(Process, NoFramesLeaveTheOutputsUntouched)
{
    auto fx = createEffect();
    fx->setParameter(kMonoStereo, 1.0f);
    std::vector<float> in(8, 0.5f);
    std::vector<float> out1(8, 123.0f);
    std::vector<float> out2(8, 456.0f);
    float* inputs[2] = {in.data(), in.data()};
    float* outputs[2] = {out1.data(), out2.data()};
    for (int32_t frames : {0, -1, -1024, std::numeric_limits<int32_t>::min()})
    {
        fx->processReplacing(inputs, outputs, frames);
        for (std::size_t n = 0; n < 8; ++n)
        {
            EXPECT_EQ(out1[n], 123.0f) << frames;
            EXPECT_EQ(out2[n], 456.0f) << frames;
        }
    }
    // Nothing ran: the next render equals that of a fresh effect.
    auto fresh = createEffect();
    fresh->setParameter(kMonoStereo, 1.0f);
    const auto signal = guitarSignal(600, 44100.0f);
    EXPECT_TRUE(sameBits(render(*fx, signal, signal).left, render(*fresh, signal, signal).left));
}

TEST(Process, MonoWritesTheSameValueToBothOutputsAndIgnoresInput2)
{
    const auto signal = guitarSignal(1200, 44100.0f);
    auto a = createEffect();
    auto b = createEffect();
    selectVoicing(*a, Voicing::Overdrive, true, true, 0.9f);
    selectVoicing(*b, Voicing::Overdrive, true, true, 0.9f);
    const Stereo withNoise = render(*a, signal, noiseSignal(1200));
    const Stereo withSilence = render(*b, signal, std::vector<float>(1200, 0.0f));
    EXPECT_TRUE(sameBits(withNoise.left, withNoise.right));
    EXPECT_TRUE(sameBits(withNoise.left, withSilence.left));
    EXPECT_GT(peak(withNoise.left), 0.05);
}

TEST(Process, StereoSidesEqualTwoMonoEffects)
{
    // The second side is an independent copy of the amplifier: a stereo
    // effect gives, side by side, what two mono effects give.
    for (float rate : {44100.0f, 96000.0f})
        for (bool highQuality : {false, true})
            for (Voicing v : {Voicing::Clean, Voicing::Crunch, Voicing::Overdrive})
            {
                const auto in1 = guitarSignal(900, rate, 0);
                const auto in2 = guitarSignal(900, rate, 1);
                auto stereo = createEffect();
                auto mono1 = createEffect();
                auto mono2 = createEffect();
                for (auto* fx : {stereo.get(), mono1.get(), mono2.get()})
                {
                    setHostRate(*fx, rate, highQuality);
                    selectVoicing(*fx, v, v != Voicing::Clean, true, 0.8f);
                }
                stereo->setParameter(kMonoStereo, 1.0f);
                const Stereo s = render(*stereo, in1, in2, 100);
                const Stereo m1 = render(*mono1, in1, in2, 100);
                const Stereo m2 = render(*mono2, in2, in1, 100);
                EXPECT_TRUE(sameBits(s.left, m1.left)) << rate << " " << voicingName(v);
                EXPECT_TRUE(sameBits(s.right, m2.left)) << rate << " " << voicingName(v);
                EXPECT_FALSE(sameBits(s.left, s.right));
            }
}

TEST(Process, MonoFreezesTheSecondSideAndStereoResumesIt)
{
    const auto in1 = guitarSignal(1536, 44100.0f, 0);
    const auto in2 = guitarSignal(1536, 44100.0f, 1);
    auto fx = createEffect();
    fx->setParameter(kMonoStereo, 1.0f);
    auto first = render(*fx, {in1.begin(), in1.begin() + 512}, {in2.begin(), in2.begin() + 512});
    fx->setParameter(kMonoStereo, 0.0f);
    render(*fx, {in1.begin() + 512, in1.begin() + 1024}, {in2.begin() + 512, in2.begin() + 1024});
    fx->setParameter(kMonoStereo, 1.0f);
    auto third = render(*fx, {in1.begin() + 1024, in1.end()}, {in2.begin() + 1024, in2.end()});

    // A mono effect that saw only the first and last thirds of input 2.
    auto reference = createEffect();
    auto r1 =
        render(*reference, {in2.begin(), in2.begin() + 512}, {in1.begin(), in1.begin() + 512});
    auto r3 = render(*reference, {in2.begin() + 1024, in2.end()}, {in1.begin() + 1024, in1.end()});
    EXPECT_TRUE(sameBits(first.right, r1.left));
    EXPECT_TRUE(sameBits(third.right, r3.left));
}

TEST(Process, VolumeZeroGivesExactSilenceOnBothSides)
{
    for (float stereo : {0.0f, 1.0f})
    {
        auto fx = createEffect();
        selectVoicing(*fx, Voicing::Overdrive, true, true, 1.0f);
        fx->setParameter(kVolume, 0.0f);
        fx->setParameter(kMonoStereo, stereo);
        const Stereo out = render(*fx, noiseSignal(1000, 3), noiseSignal(1000, 4));
        for (std::size_t n = 0; n < 1000; ++n)
        {
            // v * 0 keeps the sign of v: +0 or -0, both exact silence.
            ASSERT_EQ(out.left[n], 0.0f) << n;
            ASSERT_EQ(out.right[n], 0.0f) << n;
        }
    }
}

TEST(Process, VolumeActsLinearlyAfterTheModel)
{
    // Volume scales the decimated signal and nothing else: the model state
    // does not depend on it.
    const auto signal = guitarSignal(800, 44100.0f);
    auto full = createEffect();
    auto half = createEffect();
    full->setParameter(kVolume, 1.0f);
    half->setParameter(kVolume, 0.5f);
    const auto a = render(*full, signal, signal).left;
    const auto b = render(*half, signal, signal).left;
    for (std::size_t n = 0; n < a.size(); ++n)
        ASSERT_EQ(b[n], a[n] * 0.5f) << n; // halving a float is exact
}

TEST(Process, BlockSplitsChangeTheAntiDenormalPhaseButAreDeterministic)
{
    // The small sine restarts with every block and runs backwards within
    // it, so how a host splits its blocks changes the output bits.  It
    // survives the rounding to float only where the input is near zero:
    // let the signal start after a pause.
    auto signal = guitarSignal(1000, 44100.0f);
    std::fill(signal.begin(), signal.begin() + 300, 0.0f);
    auto whole1 = createEffect();
    auto whole2 = createEffect();
    auto split1 = createEffect();
    auto split2 = createEffect();
    const auto w1 = render(*whole1, signal, signal, 1000).left;
    const auto w2 = render(*whole2, signal, signal, 1000).left;
    const auto s1 = render(*split1, signal, signal, 37).left;
    const auto s2 = render(*split2, signal, signal, 37).left;
    EXPECT_TRUE(sameBits(w1, w2));
    EXPECT_TRUE(sameBits(s1, s2));
    EXPECT_FALSE(sameBits(w1, s1));
    // ... by no more than a whisper.
    for (std::size_t n = 0; n < w1.size(); ++n)
        ASSERT_NEAR(w1[n], s1[n], 1e-4) << n;

    // Two blocks of one frame differ from one block of two.
    const std::vector<float> silence(2, 0.0f);
    auto ones = createEffect();
    auto two = createEffect();
    const auto o = render(*ones, silence, silence, 1).left;
    const auto t = render(*two, silence, silence, 2).left;
    EXPECT_FALSE(sameBits(o, t));
}

TEST(Process, SwitchesAndKnobsOfOtherVoicingsHaveNoEffect)
{
    const auto signal = guitarSignal(900, 44100.0f);
    struct Variant
    {
        Voicing voicing;
        int32_t index;
        float value;
    };
    // The held drive knobs, and Boost outside Overdrive.
    const Variant variants[] = {
        {Voicing::Clean, kDrive1, 1.0f}, {Voicing::Clean, kDrive2, 1.0f},
        {Voicing::Clean, kBoost, 1.0f},  {Voicing::Crunch, kDrive2, 0.0f},
        {Voicing::Crunch, kBoost, 1.0f}, {Voicing::Overdrive, kDrive1, 0.0f},
    };
    for (const Variant& v : variants)
    {
        auto plain = createEffect();
        auto moved = createEffect();
        selectVoicing(*plain, v.voicing, true);
        selectVoicing(*moved, v.voicing, true);
        moved->setParameter(v.index, v.value);
        EXPECT_TRUE(
            sameBits(render(*plain, signal, signal).left, render(*moved, signal, signal).left))
            << voicingName(v.voicing) << " " << v.index;
    }
    // The switches that do matter, for contrast.
    auto plain = createEffect();
    auto bright = createEffect();
    bright->setParameter(kBright, 1.0f);
    EXPECT_FALSE(
        sameBits(render(*plain, signal, signal).left, render(*bright, signal, signal).left));
}

TEST(Process, ToneControlsChangeAtTheNextBlock)
{
    const auto signal = guitarSignal(1024, 44100.0f);
    const std::vector<float> firstHalf(signal.begin(), signal.begin() + 512);
    const std::vector<float> secondHalf(signal.begin() + 512, signal.end());
    for (int32_t index : {kLow, kMid, kHigh, kContour})
    {
        auto steady = createEffect();
        auto changed = createEffect();
        const auto s1 = render(*steady, firstHalf, firstHalf, 512).left;
        const auto c1 = render(*changed, firstHalf, firstHalf, 512).left;
        changed->setParameter(index, 0.95f);
        const auto s2 = render(*steady, secondHalf, secondHalf, 512).left;
        const auto c2 = render(*changed, secondHalf, secondHalf, 512).left;
        EXPECT_TRUE(sameBits(s1, c1));
        // The first samples of the next block already differ (a change in
        // the tone stack may need a few samples to move a float bit).
        EXPECT_FALSE(sameBits({s2.begin(), s2.begin() + 4}, {c2.begin(), c2.begin() + 4}))
            << "index " << index;
    }
}

/// Processes `signal` as one block while another thread calls
/// setParameter(index, value) about `delayMs` into the block, the way a
/// host's automation does.
Stereo renderWithChangeDuringBlock(vorla::host::PluginInstance& fx,
                                   const std::vector<float>& signal, int32_t index, float value,
                                   int delayMs)
{
    std::atomic<bool> started{false};
    std::thread automation([&] {
        while (!started.load())
            std::this_thread::yield();
        std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
        fx.setParameter(index, value);
    });
    started.store(true);
    Stereo out = render(fx, signal, signal, signal.size());
    automation.join();
    return out;
}

TEST(Process, ToneControlMovedDuringABlockWaitsForTheNextBlock)
{
    // The block sees Low either as it was at its start or, if the change
    // came first, as changed: never a mix.
    const auto signal = guitarSignal(88200, 44100.0f);
    auto before = createEffect();
    auto after = createEffect();
    after->setParameter(kLow, 0.95f);
    const auto oldLow = render(*before, signal, signal, signal.size()).left;
    const auto newLow = render(*after, signal, signal, signal.size()).left;
    ASSERT_FALSE(sameBits(oldLow, newLow));

    auto fx = createEffect();
    const auto out = renderWithChangeDuringBlock(*fx, signal, kLow, 0.95f, 5).left;
    EXPECT_TRUE(sameBits(out, oldLow) || sameBits(out, newLow));
}

TEST(Process, VolumeMovedDuringABlockActsFromTheNextHostSample)
{
    // The change must land inside the block: a fast processor can finish
    // two seconds of audio before a sleeping thread wakes (Windows sleeps
    // in steps of up to 16 ms), so the block grows until it outlasts the
    // wait.
    std::vector<float> out;
    std::size_t firstSilent = 0;
    for (std::size_t seconds = 2; seconds <= 32; seconds *= 4)
    {
        const auto signal = guitarSignal(seconds * 44100, 44100.0f);
        auto fx = createEffect();
        out = renderWithChangeDuringBlock(*fx, signal, kVolume, 0.0f, 5).left;
        // Sound up to some sample, exact silence from the next one on.
        firstSilent = out.size();
        while (firstSilent > 0 && out[firstSilent - 1] == 0.0f)
            --firstSilent;
        if (firstSilent < out.size())
            break;
    }
    ASSERT_LT(firstSilent, out.size()) << "the change never arrived";
    for (std::size_t n = 0; n + 100 < firstSilent; n += 100)
        EXPECT_NE(peak({out.begin() + n, out.begin() + n + 100}), 0.0) << n;
}

TEST(Process, UnusableInputSamplesEnterAsSilence)
{
    // NaN, infinities and absurd magnitudes would otherwise stay in the
    // single-precision resampler states for good.  Each one is exactly a
    // zero sample; the rest of the audio is untouched.
    const float bad[] = {
        std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity(),
        -std::numeric_limits<float>::infinity(), std::numeric_limits<float>::max(), -3.0e35f};
    const auto signal = guitarSignal(1500, 44100.0f);
    for (float value : bad)
    {
        for (float quality : {0.0f, 1.0f})
        {
            auto poisoned = createEffect();
            auto zeroed = createEffect();
            poisoned->setParameter(kQuality, quality);
            zeroed->setParameter(kQuality, quality);
            poisoned->setParameter(kMonoStereo, 1.0f);
            zeroed->setParameter(kMonoStereo, 1.0f);
            auto withBad = signal;
            auto withZero = signal;
            for (std::size_t n : {std::size_t{100}, std::size_t{101}, std::size_t{700}})
            {
                withBad[n] = value;
                withZero[n] = 0.0f;
            }
            const Stereo p = render(*poisoned, withBad, withBad);
            const Stereo z = render(*zeroed, withZero, withZero);
            EXPECT_TRUE(allFinite(p.left) && allFinite(p.right)) << value;
            EXPECT_TRUE(sameBits(p.left, z.left)) << value;
            EXPECT_TRUE(sameBits(p.right, z.right)) << value;
            EXPECT_GT(peak(p.left, 800), 0.01) << "the effect still plays after " << value;
        }
    }
}

TEST(Process, OutputStaysFiniteAtEveryHostRate)
{
    for (float rate : {8000.0f, 22050.0f, 44100.0f, 48000.0f, 88200.0f, 96000.0f, 192000.0f})
        for (bool highQuality : {false, true})
            for (Voicing v : {Voicing::Clean, Voicing::Crunch, Voicing::Overdrive})
            {
                auto fx = createEffect();
                setHostRate(*fx, rate, highQuality);
                selectVoicing(*fx, v, true, true, 1.0f);
                fx->setParameter(kInput, 1.0f);
                fx->setParameter(kMonoStereo, 1.0f);
                const std::size_t frames = 2000;
                const auto square = squareSignal(frames, static_cast<std::size_t>(rate / 220.0f));
                const Stereo out = render(*fx, noiseSignal(frames), square, 512);
                const Stereo quiet = render(*fx, std::vector<float>(frames, 0.0f),
                                            std::vector<float>(frames, 0.0f), 512);
                EXPECT_TRUE(allFinite(out.left) && allFinite(out.right))
                    << rate << " " << voicingName(v);
                EXPECT_TRUE(allFinite(quiet.left) && allFinite(quiet.right)) << rate;
                // The power stage bounds the level: curve peak 0.448, times
                // 3 and Volume 0.5, plus the DC blocker's overshoot.
                EXPECT_LT(peak(out.left), 2.0);
                EXPECT_LT(peak(out.right), 2.0);
                EXPECT_GT(peak(out.left), 0.05);
            }
}

} // namespace
