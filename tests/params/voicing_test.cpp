// Switch flags, per-voicing knob memories and their recall.
#include "params/direct_effect.h"

#include <gtest/gtest.h>

#include <thread>

using vorla::test::makeVorla;

TEST(Voicing, EachVoicingRemembersItsKnobs)
{
    auto effect = makeVorla();
    effect->setParameter(kLow, 0.8f);
    effect->setParameter(kCleanCrunch, 1.0f);
    EXPECT_EQ(effect->activeVoicing(), Vorla::Voicing::Crunch);
    EXPECT_EQ(effect->getParameter(kLow), 0.5f);
    effect->setParameter(kLow, 0.2f);
    effect->setParameter(kCleanCrunch, 0.0f);
    EXPECT_EQ(effect->getParameter(kLow), 0.8f);
    effect->setParameter(kCleanCrunch, 1.0f);
    EXPECT_EQ(effect->getParameter(kLow), 0.2f);
    EXPECT_EQ(effect->cleanMemory.low, static_cast<double>(0.8f));
    EXPECT_EQ(effect->crunchMemory.low, static_cast<double>(0.2f));
    // The program record carries the same memories.
    EXPECT_EQ(effect->programs[0].cleanMemory.low, effect->cleanMemory.low);
    EXPECT_EQ(effect->programs[0].crunchMemory.low, effect->crunchMemory.low);
}

TEST(Voicing, DriveKnobsBelongToOneVoicing)
{
    auto effect = makeVorla();
    effect->setParameter(kDrive1, 0.9f); // Clean: held
    EXPECT_EQ(effect->getParameter(kDrive1), 0.5f);
    effect->setParameter(kDrive2, 0.9f);
    EXPECT_EQ(effect->getParameter(kDrive2), 0.5f);
    EXPECT_EQ(effect->cleanMemory.drive1, 0.5);

    effect->setParameter(kCleanCrunch, 1.0f); // Crunch: Drive1 only
    effect->setParameter(kDrive1, 0.9f);
    effect->setParameter(kDrive2, 0.9f);
    EXPECT_EQ(effect->getParameter(kDrive1), 0.9f);
    EXPECT_EQ(effect->getParameter(kDrive2), 0.5f);

    effect->setParameter(kChannel, 1.0f); // Overdrive: Drive2 only
    effect->setParameter(kDrive2, 0.9f);
    effect->setParameter(kDrive1, 0.9f);
    EXPECT_EQ(effect->getParameter(kDrive2), 0.9f);
    EXPECT_EQ(effect->getParameter(kDrive1), 0.5f);
    EXPECT_EQ(effect->overdriveMemory.drive1, 0.5);
}

TEST(Voicing, CleanCrunchOnTheOverdriveChannelOnlySetsTheFlag)
{
    auto effect = makeVorla();
    effect->setParameter(kChannel, 1.0f);
    effect->setParameter(kLow, 0.3f);
    effect->setParameter(kCleanCrunch, 1.0f);
    EXPECT_EQ(effect->crunchOn.load(), 1);
    EXPECT_EQ(effect->activeVoicing(), Vorla::Voicing::Overdrive);
    EXPECT_EQ(effect->getParameter(kLow), 0.3f);
    effect->setParameter(kCleanCrunch, 0.0f);
    EXPECT_EQ(effect->crunchOn.load(), 0);
    EXPECT_EQ(effect->getParameter(kLow), 0.3f);
    // Leaving the channel recalls the voicing the flag now selects.
    effect->setParameter(kCleanCrunch, 1.0f);
    effect->setParameter(kChannel, 0.0f);
    EXPECT_EQ(effect->activeVoicing(), Vorla::Voicing::Crunch);
    EXPECT_EQ(effect->getParameter(kLow), 0.5f);
}

TEST(Voicing, BoostIsRememberedOnlyOnTheOverdriveChannel)
{
    auto effect = makeVorla();
    effect->overdriveMemory.boost = 1.0;
    effect->setParameter(kChannel, 1.0f);
    EXPECT_EQ(effect->boostOn.load(), 1);
    EXPECT_EQ(effect->getParameter(kBoost), 1.0f);
    effect->setParameter(kChannel, 0.0f);
    EXPECT_EQ(effect->boostOn.load(), 1);
    EXPECT_EQ(effect->getParameter(kBoost), 1.0f);

    effect->setParameter(kBoost, 0.0f); // Clean: flag and value, no memory
    EXPECT_EQ(effect->boostOn.load(), 0);
    EXPECT_EQ(effect->overdriveMemory.boost, 1.0);
    effect->setParameter(kChannel, 1.0f);
    EXPECT_EQ(effect->boostOn.load(), 1);
}

TEST(Voicing, SwitchFlagsAndThreshold)
{
    auto effect = makeVorla();
    const std::pair<int32_t, std::atomic<int32_t>*> switches[] = {
        {kChannel, &effect->channelOverdrive},
        {kCleanCrunch, &effect->crunchOn},
        {kBoost, &effect->boostOn},
        {kBright, &effect->brightOn},
        {kMonoStereo, &effect->stereoOn},
        {kQuality, &effect->highQuality},
    };
    for (const auto& [index, flag] : switches)
    {
        effect->setParameter(index, 0.5f);
        EXPECT_EQ(flag->load(), 1) << index;
        effect->setParameter(index, 0.49f);
        EXPECT_EQ(flag->load(), 0) << index;
        effect->setParameter(index, 1.0f);
        EXPECT_EQ(flag->load(), 1) << index;
        effect->setParameter(index, 0.0f);
        EXPECT_EQ(flag->load(), 0) << index;
    }
}

TEST(Voicing, BrightIsRememberedPerVoicing)
{
    auto effect = makeVorla();
    effect->setParameter(kBright, 1.0f);
    effect->setParameter(kCleanCrunch, 1.0f);
    EXPECT_EQ(effect->brightOn.load(), 0);
    EXPECT_EQ(effect->getParameter(kBright), 0.0f);
    effect->setParameter(kCleanCrunch, 0.0f);
    EXPECT_EQ(effect->brightOn.load(), 1);
    EXPECT_EQ(effect->getParameter(kBright), 1.0f);
}

TEST(Voicing, WritesGoIntoTheCurrentProgramRecord)
{
    auto effect = makeVorla();
    effect->setProgram(4);
    effect->setParameter(kPowerAmp, 0.66f);
    effect->setParameter(kMonoStereo, 1.0f);
    EXPECT_EQ(effect->programs[4].values[vorla::storageSlot(kPowerAmp)], 0.66f);
    EXPECT_EQ(effect->programs[4].values[vorla::storageSlot(kMonoStereo)], 1.0f);
    EXPECT_EQ(effect->programs[4].cleanMemory.powerAmp, static_cast<double>(0.66f));
    EXPECT_EQ(effect->programs[0].values[vorla::storageSlot(kPowerAmp)], 0.5f);
    // Program selection replays the stored switches but not the stored knob
    // values: the knobs come from the memory.
    effect->setProgram(0);
    effect->setProgram(4);
    EXPECT_EQ(effect->getParameter(kPowerAmp), 0.66f);
    EXPECT_EQ(effect->getParameter(kMonoStereo), 1.0f);
}

// Hosts automate from the audio thread while the UI thread moves knobs; run
// under ThreadSanitizer this shows the writes are race-free.
TEST(Voicing, ConcurrentWritersAreSafe)
{
    auto effect = makeVorla();
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
    const float low = effect->getParameter(kLow);
    EXPECT_GE(low, 0.0f);
    EXPECT_LE(low, 0.9f);
}
