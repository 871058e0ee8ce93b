// SPDX-License-Identifier: GPL-3.0-or-later
// Parameter storage, names, labels and display texts, through the entry.
#include "effect/parameters.h"
#include "host/loaded_plugin.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

using vorla::test::createEffect;
using vorla::test::HostBuffer;

namespace {

std::string display(vorla::host::PluginInstance& effect, int32_t index,
                    std::size_t* written = nullptr)
{
    HostBuffer buffer;
    effect.dispatch(effGetParamDisplay, index, 0, buffer.data());
    if (written != nullptr)
        *written = buffer.written();
    return buffer.text();
}

} // namespace

TEST(Parameters, StorageOrderIsHiddenFromTheHost)
{
    auto effect = createEffect();
    effect->setParameter(kPowerAmp, 0.11f);
    effect->setParameter(kVolume, 0.12f);
    effect->setParameter(kMonoStereo, 0.13f);
    effect->setParameter(kQuality, 0.14f);
    EXPECT_EQ(effect->getParameter(kPowerAmp), 0.11f);
    EXPECT_EQ(effect->getParameter(kVolume), 0.12f);
    EXPECT_EQ(effect->getParameter(kMonoStereo), 0.13f);
    EXPECT_EQ(effect->getParameter(kQuality), 0.14f);
    EXPECT_EQ(effect->getParameter(15), 0.0f);
    EXPECT_EQ(effect->getParameter(-1), 0.0f);
    EXPECT_EQ(effect->getParameter(std::numeric_limits<int32_t>::max()), 0.0f);
}

TEST(Parameters, ValuesAreStoredUnclamped)
{
    auto effect = createEffect();
    effect->setParameter(kInput, 1.75f);
    effect->setParameter(kMid, -0.25f);
    EXPECT_EQ(effect->getParameter(kInput), 1.75f);
    EXPECT_EQ(effect->getParameter(kMid), -0.25f);
}

TEST(Parameters, OutOfRangeWritesChangeNothing)
{
    auto effect = createEffect();
    effect->setParameter(20, 0.9f);
    effect->setParameter(-1, 0.9f);
    effect->setParameter(15, 0.9f);
    for (int32_t index = 0; index < kNumParams; ++index)
        EXPECT_EQ(effect->getParameter(index), vorla::parameterDefault(index)) << index;
}

TEST(Parameters, Names)
{
    auto effect = createEffect();
    const char* expected[kNumParams] = {
        "Input",         "Channel",     "Clean/Crunch", "Overdrive Boost",
        "Bright/Normal", "Drive1",      "Drive2",       "Low",
        "Mid",           "High",        "Contour",      "Power Amp",
        "Volume",        "Mono/Stereo", "LowQ/HighQ"};
    for (int32_t index = 0; index < kNumParams; ++index)
    {
        HostBuffer buffer;
        EXPECT_EQ(effect->dispatch(effGetParamName, index, 0, buffer.data()), 0);
        EXPECT_EQ(buffer.text(), expected[index]);
        // Written in full with one terminator, nothing beyond.
        EXPECT_EQ(buffer.written(), std::string(expected[index]).size() + 1);
    }
    HostBuffer outside;
    effect->dispatch(effGetParamName, 15, 0, outside.data());
    effect->dispatch(effGetParamName, -1, 0, outside.data());
    EXPECT_TRUE(outside.untouched());
}

TEST(Parameters, OnlyVolumeHasALabel)
{
    auto effect = createEffect();
    HostBuffer volume;
    effect->dispatch(effGetParamLabel, kVolume, 0, volume.data());
    EXPECT_EQ(volume.text(), "dB");
    EXPECT_EQ(volume.written(), 3u);
    for (int32_t index : {0, 11, 13, 14, 15, -1})
    {
        HostBuffer label;
        effect->dispatch(effGetParamLabel, index, 0, label.data());
        EXPECT_TRUE(label.untouched()) << index;
    }
}

// Eight characters, decimals truncated, written as a bounded copy of
// limit 8 (nine bytes).
TEST(Parameters, NumberDisplay)
{
    auto effect = createEffect();
    const std::pair<float, const char*> cases[] = {
        {0.5f, "0.500000"},    {1.0f, "1.000000"},       {0.0f, "0.000000"},
        {0.7f, "0.699999"},    {0.999999f, "0.999998"},  {-0.5f, "-0.50000"},
        {12.375f, "12.37500"}, {1234567.0f, "1234567."}, {-123456.0f, "-123456."},
        {1.0e9f, "Huge!"},     {-1.0e8f, "Huge!"},
    };
    for (const auto& [value, text] : cases)
    {
        effect->setParameter(kInput, value);
        std::size_t written = 0;
        EXPECT_EQ(display(*effect, kInput, &written), text) << value;
        EXPECT_EQ(written, 9u) << value;
    }
    // Switches show plain numbers too.
    effect->setParameter(kChannel, 1.0f);
    EXPECT_EQ(display(*effect, kChannel), "1.000000");
    effect->setParameter(kChannel, 0.0f);
    EXPECT_EQ(display(*effect, kChannel), "0.000000");
}

TEST(Parameters, VolumeDisplayInDecibels)
{
    auto effect = createEffect();
    const std::pair<float, const char*> cases[] = {
        {1.0f, "0.000000"},   {0.5f, "-6.02060"}, {0.2f, "-13.9794"}, {0.1f, "-20.0000"},
        {0.001f, "-60.0000"}, {0.0f, "-oo"},      {-0.3f, "-oo"},
    };
    for (const auto& [value, text] : cases)
    {
        effect->setParameter(kVolume, value);
        std::size_t written = 0;
        EXPECT_EQ(display(*effect, kVolume, &written), text) << value;
        EXPECT_EQ(written, 9u) << value;
    }
}

TEST(Parameters, DisplayOutsideTheTableWritesNothing)
{
    auto effect = createEffect();
    for (int32_t index : {15, -1, 99})
    {
        HostBuffer buffer;
        effect->dispatch(effGetParamDisplay, index, 0, buffer.data());
        EXPECT_TRUE(buffer.untouched()) << index;
    }
}
