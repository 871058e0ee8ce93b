// SPDX-License-Identifier: GPL-3.0-or-later
// Switch flags, per-voicing knob memories and their recall.
#include "effect/direct_core.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <thread>
#include <vector>

using vorla::test::makeCore;

namespace {

/// What `voicing` remembers for `index`.
double rem(const vorla::EffectState& effect, vorla::Voicing voicing, int32_t index)
{
    return effect.rememberedValue(voicing, index);
}

} // namespace

TEST(Voicing, EachVoicingRemembersItsKnobs)
{
    auto effect = makeCore();
    effect->setParameter(kLow, 0.8f);
    effect->setParameter(kCleanCrunch, 1.0f);
    EXPECT_EQ(effect->activeVoicing(), vorla::Voicing::Crunch);
    EXPECT_EQ(effect->parameter(kLow), 0.5f);
    effect->setParameter(kLow, 0.2f);
    effect->setParameter(kCleanCrunch, 0.0f);
    EXPECT_EQ(effect->parameter(kLow), 0.8f);
    effect->setParameter(kCleanCrunch, 1.0f);
    EXPECT_EQ(effect->parameter(kLow), 0.2f);
    EXPECT_EQ(rem(*effect, vorla::Voicing::Clean, kLow), static_cast<double>(0.8f));
    EXPECT_EQ(rem(*effect, vorla::Voicing::Crunch, kLow), static_cast<double>(0.2f));
    // The program record carries the same memories.
    EXPECT_EQ(effect->programRecord(0).cleanMemory.low, rem(*effect, vorla::Voicing::Clean, kLow));
    EXPECT_EQ(effect->programRecord(0).crunchMemory.low,
              rem(*effect, vorla::Voicing::Crunch, kLow));
}

TEST(Voicing, DriveKnobsBelongToOneVoicing)
{
    auto effect = makeCore();
    effect->setParameter(kDrive1, 0.9f); // Clean: held
    EXPECT_EQ(effect->parameter(kDrive1), 0.5f);
    effect->setParameter(kDrive2, 0.9f);
    EXPECT_EQ(effect->parameter(kDrive2), 0.5f);
    EXPECT_EQ(rem(*effect, vorla::Voicing::Clean, kDrive1), 0.5);

    effect->setParameter(kCleanCrunch, 1.0f); // Crunch: Drive1 only
    effect->setParameter(kDrive1, 0.9f);
    effect->setParameter(kDrive2, 0.9f);
    EXPECT_EQ(effect->parameter(kDrive1), 0.9f);
    EXPECT_EQ(effect->parameter(kDrive2), 0.5f);

    effect->setParameter(kChannel, 1.0f); // Overdrive: Drive2 only
    effect->setParameter(kDrive2, 0.9f);
    effect->setParameter(kDrive1, 0.9f);
    EXPECT_EQ(effect->parameter(kDrive2), 0.9f);
    EXPECT_EQ(effect->parameter(kDrive1), 0.5f);
    EXPECT_EQ(rem(*effect, vorla::Voicing::Overdrive, kDrive1), 0.5);
}

TEST(Voicing, CleanCrunchOnTheOverdriveChannelOnlySetsTheFlag)
{
    auto effect = makeCore();
    effect->setParameter(kChannel, 1.0f);
    effect->setParameter(kLow, 0.3f);
    effect->setParameter(kCleanCrunch, 1.0f);
    EXPECT_EQ(effect->switches().crunchOn.load(), 1);
    EXPECT_EQ(effect->activeVoicing(), vorla::Voicing::Overdrive);
    EXPECT_EQ(effect->parameter(kLow), 0.3f);
    effect->setParameter(kCleanCrunch, 0.0f);
    EXPECT_EQ(effect->switches().crunchOn.load(), 0);
    EXPECT_EQ(effect->parameter(kLow), 0.3f);
    // Leaving the channel recalls the voicing the flag now selects.
    effect->setParameter(kCleanCrunch, 1.0f);
    effect->setParameter(kChannel, 0.0f);
    EXPECT_EQ(effect->activeVoicing(), vorla::Voicing::Crunch);
    EXPECT_EQ(effect->parameter(kLow), 0.5f);
}

TEST(Voicing, BoostIsRememberedOnlyOnTheOverdriveChannel)
{
    auto effect = makeCore();
    effect->setParameter(kChannel, 1.0f);
    effect->setParameter(kBoost, 1.0f);
    EXPECT_EQ(rem(*effect, vorla::Voicing::Overdrive, kBoost), 1.0);
    EXPECT_TRUE(std::isnan(rem(*effect, vorla::Voicing::Clean, kBoost)));
    effect->setParameter(kChannel, 0.0f); // Clean remembers no Boost: it stays
    EXPECT_EQ(effect->switches().boostOn.load(), 1);
    EXPECT_EQ(effect->parameter(kBoost), 1.0f);

    effect->setParameter(kBoost, 0.0f); // Clean: flag and value, no memory
    EXPECT_EQ(effect->switches().boostOn.load(), 0);
    EXPECT_EQ(rem(*effect, vorla::Voicing::Overdrive, kBoost), 1.0);
    effect->setParameter(kChannel, 1.0f);
    EXPECT_EQ(effect->switches().boostOn.load(), 1);
}

TEST(Voicing, SwitchFlagsAndThreshold)
{
    auto effect = makeCore();
    const vorla::SwitchFlags& s = effect->switches();
    const std::pair<int32_t, std::function<int32_t()>> switches[] = {
        {kChannel, [&] { return s.channelOverdrive.load(); }},
        {kCleanCrunch, [&] { return s.crunchOn.load(); }},
        {kBoost, [&] { return s.boostOn.load(); }},
        {kBright, [&] { return s.brightOn.load(); }},
        {kMonoStereo, [&] { return s.stereoOn.load(); }},
        {kQuality, [&] { return effect->highQuality(); }},
    };
    for (const auto& [index, flag] : switches)
    {
        effect->setParameter(index, 0.5f);
        EXPECT_EQ(flag(), 1) << index;
        effect->setParameter(index, 0.49f);
        EXPECT_EQ(flag(), 0) << index;
        effect->setParameter(index, 1.0f);
        EXPECT_EQ(flag(), 1) << index;
        effect->setParameter(index, 0.0f);
        EXPECT_EQ(flag(), 0) << index;
    }

    // isSwitchParameter names exactly these six; a knob moves no flag.
    const auto flagWord = [&] {
        int32_t word = 0;
        for (int bit = 0; bit < 6; ++bit)
            word |= switches[bit].second() << bit;
        return word;
    };
    int32_t named = 0;
    for (int32_t index = -1; index <= kNumParams; ++index)
    {
        named += vorla::isSwitchParameter(index) ? 1 : 0;
        if (vorla::isSwitchParameter(index) || !vorla::isParameterIndex(index))
            continue;
        const int32_t before = flagWord();
        effect->followParameter(index, 1.0f);
        effect->followParameter(index, 0.0f);
        EXPECT_EQ(flagWord(), before) << index;
    }
    EXPECT_EQ(named, 6);
    for (const auto& entry : switches)
        EXPECT_TRUE(vorla::isSwitchParameter(entry.first)) << entry.first;
}

TEST(Voicing, BrightIsRememberedPerVoicing)
{
    auto effect = makeCore();
    effect->setParameter(kBright, 1.0f);
    effect->setParameter(kCleanCrunch, 1.0f);
    EXPECT_EQ(effect->switches().brightOn.load(), 0);
    EXPECT_EQ(effect->parameter(kBright), 0.0f);
    effect->setParameter(kCleanCrunch, 0.0f);
    EXPECT_EQ(effect->switches().brightOn.load(), 1);
    EXPECT_EQ(effect->parameter(kBright), 1.0f);
}

TEST(Voicing, WritesGoIntoTheCurrentProgramRecord)
{
    auto effect = makeCore();
    effect->selectProgram(4);
    effect->setParameter(kPowerAmp, 0.66f);
    effect->setParameter(kMonoStereo, 1.0f);
    EXPECT_EQ(effect->programRecord(4).values[vorla::storageSlot(kPowerAmp)], 0.66f);
    EXPECT_EQ(effect->programRecord(4).values[vorla::storageSlot(kMonoStereo)], 1.0f);
    EXPECT_EQ(effect->programRecord(4).cleanMemory.powerAmp, static_cast<double>(0.66f));
    EXPECT_EQ(effect->programRecord(0).values[vorla::storageSlot(kPowerAmp)], 0.5f);
    // Program selection replays the stored switches but not the stored knob
    // values: the knobs come from the memory.
    effect->selectProgram(0);
    effect->selectProgram(4);
    EXPECT_EQ(effect->parameter(kPowerAmp), 0.66f);
    EXPECT_EQ(effect->parameter(kMonoStereo), 1.0f);
}

// Hosts automate from the audio thread while the UI thread moves knobs; run
// under ThreadSanitizer this shows the writes are race-free.
TEST(Voicing, ConcurrentWritersAreSafe)
{
    auto effect = makeCore();
    std::thread audio([&] {
        for (int i = 0; i < 2000; ++i)
            effect->setParameter(kLow, static_cast<float>(i % 10) / 10.0f);
    });
    for (int i = 0; i < 200; ++i)
    {
        effect->setParameter(kCleanCrunch, static_cast<float>(i % 2));
        effect->setParameter(kMid, 0.25f);
    }
    audio.join();
    const float low = effect->parameter(kLow);
    EXPECT_GE(low, 0.0f);
    EXPECT_LE(low, 0.9f);
}

// A host that owns the controls (LV2 ports) writes values the effect may not
// change: they are played as given, memories follow, nothing is recalled.
TEST(Voicing, FollowedWritesRecallNothingAndHoldNothing)
{
    auto effect = makeCore();
    effect->setParameter(kCleanCrunch, 1.0f);
    effect->setParameter(kLow, 0.2f); // Crunch remembers 0.2
    effect->setParameter(kCleanCrunch, 0.0f);
    ASSERT_EQ(effect->parameter(kLow), 0.5f);

    effect->followParameter(kCleanCrunch, 1.0f);
    EXPECT_EQ(effect->activeVoicing(), vorla::Voicing::Crunch);
    EXPECT_EQ(effect->parameter(kLow), 0.5f); // not recalled
    effect->followParameter(kLow, 0.9f);
    EXPECT_EQ(rem(*effect, vorla::Voicing::Crunch, kLow), static_cast<double>(0.9f));
    EXPECT_EQ(rem(*effect, vorla::Voicing::Clean, kLow), 0.5);

    // Drive2 does not belong to Crunch: kept as given, not remembered.
    effect->followParameter(kDrive2, 0.8f);
    EXPECT_EQ(effect->parameter(kDrive2), 0.8f);
    EXPECT_EQ(rem(*effect, vorla::Voicing::Crunch, kDrive2), 0.5);
    // Not finite: nothing.
    effect->followParameter(kMid, std::nanf(""));
    EXPECT_EQ(effect->parameter(kMid), 0.5f);
}

TEST(Voicing, FollowedQualityRedesignsOnlyWhenTheSwitchChanges)
{
    auto effect = makeCore();
    effect->followParameter(kQuality, 0.7f);
    EXPECT_EQ(effect->oversampling(), 8);
    // Some audio, so the filters have histories that a redesign would clear.
    std::vector<float> in(256, 0.25f);
    std::vector<float> out1(256), out2(256);
    const float* inputs[2] = {in.data(), in.data()};
    float* outputs[2] = {out1.data(), out2.data()};
    effect->process(inputs, outputs, 256);
    const vorla::AmpChannel before = effect->amplifier().side(0);
    effect->followParameter(kQuality, 0.9f); // still on
    effect->applyPendingChanges();
    // Not redesigned, so the histories a redesign clears are as they were.
    EXPECT_EQ(std::memcmp(&before, &effect->amplifier().side(0), sizeof(before)), 0);
}

TEST(Voicing, MemoriesCanBeTakenFromARecordWithoutApplyingIt)
{
    auto source = makeCore();
    source->setParameter(kChannel, 1.0f);
    source->setParameter(kHigh, 0.3f);
    source->setParameter(kChannel, 0.0f);
    auto mirror = makeCore();
    ASSERT_TRUE(mirror->loadMemories(source->programRecord(0)));
    EXPECT_EQ(rem(*mirror, vorla::Voicing::Overdrive, kHigh), static_cast<double>(0.3f));
    EXPECT_EQ(mirror->parameter(kHigh), 0.5f);
    EXPECT_EQ(mirror->activeVoicing(), vorla::Voicing::Clean);
    // Recalled like its own once the voicing changes.
    mirror->setParameter(kChannel, 1.0f);
    EXPECT_EQ(mirror->parameter(kHigh), 0.3f);

    VorlaProgram bad = source->programRecord(0);
    bad.crunchMemory.mid = 1e300; // infinite as a float
    EXPECT_FALSE(mirror->loadMemories(bad));
    EXPECT_EQ(rem(*mirror, vorla::Voicing::Crunch, kMid), 0.5);
}
