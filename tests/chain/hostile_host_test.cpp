// SPDX-License-Identifier: GPL-3.0-or-later
// A hostile host, through the plug-in's entry point: parameter storms with
// values no knob can have, every common rate and block size, bursts of
// non-finite or absurd input.  Whatever it does, the output stays finite and
// bounded, and the amplifier plays normally afterwards.
#include "chain/chain_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

namespace {

using vorla::test::createEffect;
using vorla::test::guitarSignal;
using vorla::test::Lcg;
using vorla::test::render;

constexpr float kInf = std::numeric_limits<float>::infinity();
/// No setting of the amplifier gets near this; a broken design or an
/// unclamped knob does (an unclamped Volume of 1e30 gave 2e30).
constexpr double kOutputBound = 64.0;

/// The values a storm writes: nothing a knob can show, and some it can.
float stormValue(Lcg& random)
{
    static const float kValues[] = {std::nanf(""), kInf, -kInf, 1e30f, -1e30f, -1.0f,
                                    2.0f,          0.0f, 0.5f,  1.0f,  0.49f,  0.51f};
    const uint32_t pick = random.next() % 16;
    if (pick < std::size(kValues))
        return kValues[pick];
    return 0.5f + 0.5f * random.bipolar();
}

int32_t stormIndex(Lcg& random)
{
    static const int32_t kOutside[] = {-1, 15, 1000, std::numeric_limits<int32_t>::min()};
    const uint32_t pick = random.next() % 20;
    if (pick < std::size(kOutside))
        return kOutside[pick];
    return static_cast<int32_t>(random.next() % kNumParams);
}

/// Checks every sample of both outputs.
::testing::AssertionResult finiteAndBounded(const vorla::test::Stereo& out)
{
    for (const std::vector<float>* side : {&out.left, &out.right})
        for (std::size_t n = 0; n < side->size(); ++n)
        {
            const float y = (*side)[n];
            if (!std::isfinite(y) || std::fabs(y) > kOutputBound)
                return ::testing::AssertionFailure() << "sample " << n << " is " << y;
        }
    return ::testing::AssertionSuccess();
}

/// The default program from a new effect's bank: what "reset to defaults"
/// loads.
std::vector<char> defaultBank()
{
    auto fresh = createEffect();
    void* data = nullptr;
    const intptr_t size = fresh->dispatch(effGetChunk, 0, 0, &data);
    const char* bytes = static_cast<const char*>(data);
    return std::vector<char>(bytes, bytes + size);
}

/// Peak of the last half second of a 0.1 sine, after 1.5 s of it, in mono
/// at `rate` with the default settings.
double sinePeak(vorla::host::PluginInstance& fx, float rate)
{
    const auto frames = static_cast<std::size_t>(2.0f * rate);
    std::vector<float> sine(frames);
    for (std::size_t n = 0; n < frames; ++n)
        sine[n] = 0.1f * static_cast<float>(std::sin(6.283185307179586 * 440.0 * n / rate));
    const auto out = render(fx, sine, sine, 512);
    return vorla::test::peak(out.left, frames * 3 / 4);
}

/// After whatever the host did: back to the default bank, and a sine comes
/// out as loud as from a new effect.
void expectAlive(vorla::host::PluginInstance& fx, float rate)
{
    std::vector<char> bank = defaultBank();
    ASSERT_EQ(fx.dispatch(effSetChunk, 0, static_cast<intptr_t>(bank.size()), bank.data()), 1);
    fx.dispatch(effSetSampleRate, 0, 0, nullptr, rate);
    auto fresh = createEffect();
    fresh->dispatch(effSetSampleRate, 0, 0, nullptr, rate);
    const double expected = sinePeak(*fresh, rate);
    ASSERT_GT(expected, 0.1);
    EXPECT_NEAR(sinePeak(fx, rate), expected, 0.05 * expected) << "the amplifier must play again";
}

} // namespace

TEST(HostileHost, ParameterStormsAtEveryRateAndBlockSizeKeepTheOutputBounded)
{
    const float rates[] = {8000.0f, 44100.0f, 96000.0f, 384000.0f};
    // Writes land between blocks; a block of n frames after n writes-worth of
    // storm is a write every 1, 10, 100 or 1000 frames.
    const int32_t blocks[] = {1, 10, 100, 1000, 16384};
    Lcg random(2024);
    for (const float rate : rates)
        for (const int32_t block : blocks)
        {
            SCOPED_TRACE("rate " + std::to_string(rate) + " block " + std::to_string(block));
            auto fx = createEffect();
            fx->dispatch(effSetSampleRate, 0, 0, nullptr, rate);
            fx->dispatch(effSetBlockSize, 0, block);
            const std::size_t frames = std::max<std::size_t>(2 * 16384, 4000);
            const auto signal = guitarSignal(frames, rate);
            vorla::test::Stereo out{std::vector<float>(frames), std::vector<float>(frames)};
            for (std::size_t pos = 0; pos < frames; pos += static_cast<std::size_t>(block))
            {
                fx->setParameter(stormIndex(random), stormValue(random));
                if (random.next() % 8 == 0) // the switches that redesign or reroute
                    fx->setParameter(random.next() % 2 ? kQuality : kMonoStereo,
                                     stormValue(random));
                const auto n = std::min<std::size_t>(static_cast<std::size_t>(block), frames - pos);
                float* inputs[2] = {const_cast<float*>(signal.data() + pos),
                                    const_cast<float*>(signal.data() + pos)};
                float* outputs[2] = {out.left.data() + pos, out.right.data() + pos};
                fx->processReplacing(inputs, outputs, static_cast<int32_t>(n));
            }
            ASSERT_TRUE(finiteAndBounded(out));
            if (block == 100)
                expectAlive(*fx, rate);
        }
}

TEST(HostileHost, ValuesThatAreNotNumbersChangeNothingAndOutOfRangeOnesAreClamped)
{
    auto fx = createEffect();
    fx->setParameter(kInput, 0.7f);
    for (const float bad : {std::nanf(""), kInf, -kInf})
        for (int32_t index = 0; index < kNumParams; ++index)
        {
            const float before = fx->getParameter(index);
            fx->setParameter(index, bad);
            EXPECT_EQ(fx->getParameter(index), before) << index;
        }

    // Stored as given, so the host reads back exactly what it wrote; the
    // model takes Volume 1e30 as 1 and Input -5 as 0.
    const auto signal = guitarSignal(20000, 44100.0f);
    auto reference = createEffect();
    reference->setParameter(kVolume, 1.0f);
    reference->setParameter(kInput, 0.0f);
    fx->setParameter(kVolume, 1e30f);
    fx->setParameter(kInput, -5.0f);
    EXPECT_EQ(fx->getParameter(kVolume), 1e30f);
    EXPECT_EQ(fx->getParameter(kInput), -5.0f);
    const auto out = render(*fx, signal, signal);
    EXPECT_TRUE(finiteAndBounded(out));
    EXPECT_TRUE(vorla::test::sameBits(out.left, render(*reference, signal, signal).left));
}

TEST(HostileHost, HostRatesWithoutADesignAreIgnored)
{
    auto fx = createEffect();
    fx->dispatch(effSetSampleRate, 0, 0, nullptr, 48000.0f);
    for (const float rate :
         {0.0f, -48000.0f, 100.0f, 3999.0f, std::nanf(""), kInf, std::numeric_limits<float>::max()})
        fx->dispatch(effSetSampleRate, 0, 0, nullptr, rate);
    // Still designed for 48 kHz: the same bits as an effect that only saw 48 kHz.
    auto reference = createEffect();
    reference->dispatch(effSetSampleRate, 0, 0, nullptr, 48000.0f);
    const auto signal = guitarSignal(9000, 48000.0f);
    EXPECT_TRUE(vorla::test::sameBits(render(*fx, signal, signal).left,
                                      render(*reference, signal, signal).left));
}

TEST(HostileHost, BadInputIsForgottenWithinASecond)
{
    // A burst of 100 ms in the middle of guitar; afterwards the output must
    // be what the same guitar gives with silence in place of the burst.
    // Samples beyond the input limit (1000) enter as silence and leave no
    // trace at all; a burst just below it drains within the second.
    const float rate = 44100.0f;
    const std::size_t frames = 3 * 44100;
    const std::size_t burstStart = 44100;
    const std::size_t burstEnd = burstStart + 4410;
    const float bursts[] = {std::nanf(""), kInf, -kInf, 1e30f, 1e20f, 1001.0f, 999.0f};
    for (const float burst : bursts)
        for (int voicing = 0; voicing < 3; ++voicing)
        {
            SCOPED_TRACE("burst " + std::to_string(burst) + " voicing " + std::to_string(voicing));
            auto fx = createEffect();
            auto clean = createEffect();
            for (auto* amp : {fx.get(), clean.get()})
            {
                vorla::test::selectVoicing(*amp, static_cast<vorla::test::Voicing>(voicing), false,
                                           false, 1.0f);
                amp->setParameter(kInput, 1.0f);
            }
            auto dirty = guitarSignal(frames, rate);
            auto silent = dirty;
            for (std::size_t n = burstStart; n < burstEnd; ++n)
            {
                dirty[n] = n % 2 ? burst : -burst;
                silent[n] = 0.0f;
            }
            const auto out = render(*fx, dirty, dirty);
            const auto expected = render(*clean, silent, silent);
            ASSERT_TRUE(finiteAndBounded(out));
            const std::size_t settled = burstEnd + static_cast<std::size_t>(rate);
            for (std::size_t n = settled; n < frames; ++n)
                ASSERT_NEAR(out.left[n], expected.left[n], 1e-3) << "frame " << n;
            if (!(std::fabs(burst) <= 1000.0f))
            {
                EXPECT_TRUE(vorla::test::sameBits(out.left, expected.left));
            }
        }
}
