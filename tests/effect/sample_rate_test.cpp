// SPDX-License-Identifier: GPL-3.0-or-later
// The rate handler: oversampling factor, processing rate and period.
#include "effect/direct_core.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using vorla::test::makeCore;

namespace {

void expectRate(const vorla::EffectCore& effect, int32_t factor, float hostRate)
{
    const float oversampled = hostRate * static_cast<float>(factor);
    const double period = 1.0 / static_cast<double>(oversampled);
    EXPECT_EQ(effect.oversampling(), factor) << hostRate;
    EXPECT_EQ(effect.samplePeriod(), period) << hostRate;
    EXPECT_EQ(effect.processRate(), 1.0 / period) << hostRate;
    EXPECT_NEAR(effect.processRate(), static_cast<double>(hostRate) * factor, 1e-6);
}

} // namespace

TEST(SampleRate, DefaultAfterCreation)
{
    auto effect = makeCore();
    EXPECT_EQ(effect->sampleRate(), 44100.0f);
    expectRate(*effect, 4, 44100.0f);
    EXPECT_NEAR(effect->processRate(), 176400.0, 1e-9);
}

TEST(SampleRate, FactorFollowsRateAndQuality)
{
    auto effect = makeCore();
    struct Case
    {
        float rate;
        float quality;
        int32_t factor;
    };
    const Case cases[] = {
        {44100.0f, 0.0f, 4},  {48000.0f, 0.0f, 4}, {48000.0f, 1.0f, 8}, {49999.0f, 0.0f, 4},
        {50000.0f, 0.0f, 2},  {50000.0f, 1.0f, 4}, {88200.0f, 0.0f, 2}, {96000.0f, 1.0f, 4},
        {192000.0f, 0.0f, 2}, {22050.0f, 1.0f, 8},
    };
    for (const Case& c : cases)
    {
        effect->setParameter(kQuality, c.quality);
        effect->setSampleRate(c.rate);
        EXPECT_EQ(effect->sampleRate(), c.rate);
        expectRate(*effect, c.factor, c.rate);
    }
}

TEST(SampleRate, QualitySwitchRedesignsAtTheCurrentRate)
{
    auto effect = makeCore();
    effect->setSampleRate(48000.0f);
    effect->setParameter(kQuality, 0.5f);
    expectRate(*effect, 8, 48000.0f);
    EXPECT_NEAR(effect->processRate(), 384000.0, 1e-9);
    effect->setParameter(kQuality, 0.49f);
    expectRate(*effect, 4, 48000.0f);
}

TEST(SampleRate, UnusableRatesLeaveEverythingAsItWas)
{
    auto effect = makeCore();
    effect->setSampleRate(96000.0f);
    const float infinity = std::numeric_limits<float>::infinity();
    for (float rate : {0.0f, -0.0f, -44100.0f, std::nanf(""), infinity, -infinity,
                       std::numeric_limits<float>::max()})
    {
        effect->setSampleRate(rate);
        EXPECT_EQ(effect->sampleRate(), 96000.0f) << rate;
        expectRate(*effect, 2, 96000.0f);
    }
    // The quality switch at a kept rate still works.
    effect->setParameter(kQuality, 1.0f);
    expectRate(*effect, 4, 96000.0f);
}
