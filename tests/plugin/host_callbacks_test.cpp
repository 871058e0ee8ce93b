// SPDX-License-Identifier: GPL-3.0-or-later
// The host-callback wrappers of the effect base: each forwards to one
// opcode with the arguments named, and does nothing without a host.
#include "plugin/vorla.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

struct Call
{
    AEffect* effect;
    int32_t opcode;
    int32_t index;
    intptr_t value;
    void* ptr;
    float opt;
};

std::vector<Call> calls;
intptr_t answer = 0;

intptr_t host(AEffect* effect, int32_t opcode, int32_t index, intptr_t value, void* ptr, float opt)
{
    if (opcode == audioMasterVersion && effect == nullptr)
        return kVstVersion;
    calls.push_back({effect, opcode, index, value, ptr, opt});
    return answer;
}

std::unique_ptr<Vorla> makeEffect()
{
    auto effect = std::make_unique<Vorla>(&host);
    calls.clear();
    answer = 0;
    return effect;
}

} // namespace

TEST(HostCallbacks, VersionOfZeroCountsAsOne)
{
    auto effect = makeEffect();
    EXPECT_EQ(effect->getMasterVersion(), 1);
    answer = 2400;
    EXPECT_EQ(effect->getMasterVersion(), 2400);
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].effect, effect->getAeffect());
    EXPECT_EQ(calls[0].opcode, audioMasterVersion);
}

TEST(HostCallbacks, PinsAreConnectedWhenTheHostAnswersZero)
{
    auto effect = makeEffect();
    EXPECT_TRUE(effect->isInputConnected(1));
    EXPECT_TRUE(effect->isOutputConnected(0));
    answer = 1;
    EXPECT_FALSE(effect->isInputConnected(1));
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls[0].opcode, audioMasterPinConnected);
    EXPECT_EQ(calls[0].index, 1);
    EXPECT_EQ(calls[0].value, 0);
    EXPECT_EQ(calls[1].value, 1);
}

TEST(HostCallbacks, RateAndBlockSizeQueriesStorePositiveAnswers)
{
    auto effect = makeEffect();
    answer = 96000;
    EXPECT_EQ(effect->updateSampleRate(), 96000.0);
    EXPECT_EQ(effect->getSampleRate(), 96000.0f);
    answer = -5;
    EXPECT_EQ(effect->updateSampleRate(), 96000.0);
    answer = 512;
    EXPECT_EQ(effect->updateBlockSize(), 512);
    answer = 0;
    EXPECT_EQ(effect->updateBlockSize(), 512);
    EXPECT_EQ(calls[0].opcode, audioMasterGetSampleRate);
    EXPECT_EQ(calls[2].opcode, audioMasterGetBlockSize);
}

TEST(HostCallbacks, ArgumentsArePassedWhereNamed)
{
    auto effect = makeEffect();
    answer = 1;
    effect->wantEvents(3);
    EXPECT_TRUE(effect->sizeWindow(660, 250));
    effect->setOutputSamplerate(48000.0f);
    effect->tempoAt(77);
    char text[] = "sizeWindow";
    effect->canHostDo(text);
    EXPECT_TRUE(effect->needIdle());
    EXPECT_TRUE(effect->updateDisplay());
    EXPECT_TRUE(effect->ioChanged());
    ASSERT_EQ(calls.size(), 8u);
    EXPECT_EQ(calls[0].opcode, audioMasterWantMidi);
    EXPECT_EQ(calls[0].value, 3);
    EXPECT_EQ(calls[1].opcode, audioMasterSizeWindow);
    EXPECT_EQ(calls[1].index, 660);
    EXPECT_EQ(calls[1].value, 250);
    EXPECT_EQ(calls[2].opcode, audioMasterSetOutputSampleRate);
    EXPECT_EQ(calls[2].opt, 48000.0f);
    EXPECT_EQ(calls[3].opcode, audioMasterTempoAt);
    EXPECT_EQ(calls[3].value, 77);
    EXPECT_EQ(calls[4].opcode, audioMasterCanDo);
    EXPECT_EQ(calls[4].ptr, text);
    EXPECT_EQ(calls[5].opcode, audioMasterNeedIdle);
    EXPECT_EQ(calls[6].opcode, audioMasterUpdateDisplay);
    EXPECT_EQ(calls[7].opcode, audioMasterIOChanged);
}

TEST(HostCallbacks, FileSelectorNeedsAnArgument)
{
    auto effect = makeEffect();
    answer = 1;
    EXPECT_FALSE(effect->openFileSelector(nullptr));
    EXPECT_FALSE(effect->closeFileSelector(nullptr));
    EXPECT_TRUE(calls.empty());
}

TEST(HostCallbacks, NothingIsCalledWithoutAHost)
{
    Vorla effect(nullptr);
    EXPECT_FALSE(effect.beginEdit(0));
    EXPECT_FALSE(effect.endEdit(0));
    effect.masterIdle();
    effect.setParameterAutomated(kLow, 0.7f);
    EXPECT_EQ(effect.getParameter(kLow), 0.7f);
    EXPECT_EQ(effect.getTimeInfo(0), nullptr);
    EXPECT_EQ(effect.getMasterVersion(), 1);
}

TEST(HostCallbacks, BaseFlagsAndFields)
{
    auto effect = makeEffect();
    AEffect* record = effect->getAeffect();
    effect->hasVu(true);
    effect->canMono(true);
    effect->noTail(true);
    EXPECT_EQ(record->flags, 0x31 | effFlagsHasVu | effFlagsCanMono | effFlagsNoSoundInStop);
    effect->hasVu(false);
    effect->canMono(false);
    effect->noTail(false);
    EXPECT_EQ(record->flags, 0x31);
    effect->isSynth(true);
    EXPECT_EQ(effect->getPlugCategory(), kPlugCategSynth);
    effect->isSynth(false);
    effect->setInitialDelay(12);
    EXPECT_EQ(record->initialDelay, 12);
    record->dispatcher(record, effSetBlockSize, 0, 333, nullptr, 0.0f);
    EXPECT_EQ(effect->getBlockSize(), 333);
    EXPECT_TRUE(calls.empty());
}
