// SPDX-License-Identifier: GPL-3.0-or-later
// Every dispatcher opcode's answer, as a host sees it.
#include "effect/parameters.h"
#include "host/loaded_plugin.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <limits>

using vorla::test::createEffect;
using vorla::test::HostBuffer;

TEST(Dispatcher, FixedAnswers)
{
    auto effect = createEffect();
    EXPECT_EQ(effect->dispatch(effOpen), 0);
    EXPECT_EQ(effect->dispatch(effIdentify), 0x4E764566);
    EXPECT_EQ(effect->dispatch(effGetVstVersion), 2400);
    EXPECT_EQ(effect->dispatch(effGetVendorVersion), 2010);
    EXPECT_EQ(effect->dispatch(effGetCurrentMidiProgram), -1);
    EXPECT_EQ(effect->dispatch(effSetTotalSampleToProcess, 0, 512), 512);
    EXPECT_EQ(effect->dispatch(effGetPlugCategory), 0);
    EXPECT_EQ(effect->dispatch(effGetTailSize), 0);
    EXPECT_EQ(effect->dispatch(effSetBlockSize, 0, 256), 0);
    EXPECT_EQ(effect->dispatch(effSetSampleRate, 0, 0, nullptr, 48000.0f), 0);
    for (int32_t index : {0, 14, 99, -1})
        EXPECT_EQ(effect->dispatch(effCanBeAutomated, index), 1) << index;
}

TEST(Dispatcher, ProgramSelectionBounds)
{
    auto effect = createEffect();
    EXPECT_EQ(effect->dispatch(effSetProgram, 0, 3), 0);
    EXPECT_EQ(effect->dispatch(effGetProgram), 3);
    effect->dispatch(effSetProgram, 0, 10);
    EXPECT_EQ(effect->dispatch(effGetProgram), 3);
    effect->dispatch(effSetProgram, 0, -1);
    EXPECT_EQ(effect->dispatch(effGetProgram), 3);
    // A value that would wrap into range when narrowed to 32 bits.
    effect->dispatch(effSetProgram, 0, (intptr_t{1} << 32) + 5);
    EXPECT_EQ(effect->dispatch(effGetProgram), 3);
    effect->dispatch(effSetProgram, 0, 9);
    EXPECT_EQ(effect->dispatch(effGetProgram), 9);
}

TEST(Dispatcher, SuspendAndResumeTellTheHostNothing)
{
    auto effect = createEffect();
    effect->clearCalls();
    EXPECT_EQ(effect->dispatch(effMainsChanged, 0, 0), 0);
    EXPECT_EQ(effect->dispatch(effMainsChanged, 0, 1), 0);
    EXPECT_EQ(effect->dispatch(effMainsChanged, 0, 1), 0);
    EXPECT_TRUE(effect->calls().empty());
}

TEST(Dispatcher, UnknownAndCapabilityOpcodesAnswerZero)
{
    auto effect = createEffect();
    // Recognised with a "no" answer, and not recognised at all.
    const int32_t zeroOpcodes[] = {effProcessEvents,
                                   effString2Parameter,
                                   effGetInputProperties,
                                   effGetOutputProperties,
                                   effOfflineNotify,
                                   effOfflinePrepare,
                                   effOfflineRun,
                                   effProcessVarIo,
                                   effSetSpeakerArrangement,
                                   effSetBypass,
                                   effVendorSpecific,
                                   effGetParameterProperties,
                                   effGetMidiProgramName,
                                   effGetMidiProgramCategory,
                                   effHasMidiProgramsChanged,
                                   effGetMidiKeyName,
                                   effBeginSetProgram,
                                   effEndSetProgram,
                                   effShellGetNextPlugin,
                                   effStartProcess,
                                   effStopProcess,
                                   effSetPanLaw,
                                   effBeginLoadBank,
                                   effBeginLoadProgram,
                                   effSetProcessPrecision,
                                   effGetNumMidiInputChannels,
                                   effGetNumMidiOutputChannels,
                                   effGetVu,
                                   effEditDraw,
                                   effEditMouse,
                                   effEditKey,
                                   effEditTop,
                                   effEditSleep,
                                   effGetNumProgramCategories,
                                   effCopyProgram,
                                   effConnectInput,
                                   effConnectOutput,
                                   effGetCurrentPosition,
                                   effGetDestinationBuffer,
                                   effSetBlockSizeAndSampleRate,
                                   effGetErrorText,
                                   effIdle,
                                   effGetIcon,
                                   effSetViewPosition,
                                   effKeysRequired,
                                   80,
                                   1000,
                                   -1,
                                   std::numeric_limits<int32_t>::min()};
    for (int32_t opcode : zeroOpcodes)
    {
        HostBuffer buffer;
        EXPECT_EQ(effect->dispatch(opcode, 1, 1, nullptr, 1.0f), 0) << "opcode " << opcode;
        EXPECT_EQ(effect->dispatch(opcode, 0, 0, buffer.data(), 0.0f), 0) << "opcode " << opcode;
        EXPECT_TRUE(buffer.untouched()) << "opcode " << opcode;
    }
    // Bypass is refused, and the effect keeps processing.
    EXPECT_EQ(effect->dispatch(effSetBypass, 0, 1), 0);
    std::array<float, 4> in{}, left{}, right{};
    left.fill(7.0f);
    float* inputs[2] = {in.data(), in.data()};
    float* outputs[2] = {left.data(), right.data()};
    effect->processReplacing(inputs, outputs, 4);
    EXPECT_NE(left[0], 7.0f);
}

TEST(Dispatcher, CanDoAnswersZeroForEveryText)
{
    auto effect = createEffect();
    char receive[] = "receiveVstMidiEvent";
    char empty[] = "";
    char other[] = "sendVstEvents";
    EXPECT_EQ(effect->dispatch(effCanDo, 0, 0, receive), 0);
    EXPECT_EQ(effect->dispatch(effCanDo, 0, 0, empty), 0);
    EXPECT_EQ(effect->dispatch(effCanDo, 0, 0, other), 0);
    EXPECT_EQ(effect->dispatch(effCanDo, 0, 0, nullptr), 0);
}

TEST(Dispatcher, SpeakerArrangementStoresNullIntoBothPointers)
{
    auto effect = createEffect();
    int dummy = 0;
    void* input = &dummy;
    void* output = &dummy;
    EXPECT_EQ(
        effect->dispatch(effGetSpeakerArrangement, 0, reinterpret_cast<intptr_t>(&input), &output),
        0);
    EXPECT_EQ(input, nullptr);
    EXPECT_EQ(output, nullptr);
    // A host that passes no addresses gets no write through them.
    EXPECT_EQ(effect->dispatch(effGetSpeakerArrangement, 0, 0, nullptr), 0);
}

TEST(Dispatcher, EditorOpcodesWithTheEditorClosed)
{
    auto effect = createEffect();
    ERect* rect = nullptr;
    EXPECT_EQ(effect->dispatch(effEditGetRect, 0, 0, &rect), 1);
    ASSERT_NE(rect, nullptr);
    EXPECT_EQ(rect->top, 0);
    EXPECT_EQ(rect->left, 0);
    EXPECT_EQ(rect->bottom, 250);
    EXPECT_EQ(rect->right, 660);
    // No parent window: nothing to open in.
    EXPECT_EQ(effect->dispatch(effEditOpen, 0, 0, nullptr), 0);
    // Idle, close (twice) and keys without a window are harmless no-ops.
    EXPECT_EQ(effect->dispatch(effEditIdle), 0);
    EXPECT_EQ(effect->dispatch(effEditClose), 0);
    EXPECT_EQ(effect->dispatch(effEditClose), 0);
    EXPECT_EQ(effect->dispatch(effEditKeyDown, 'a', 0, nullptr, 1.0f), 0);
    EXPECT_EQ(effect->dispatch(effEditKeyUp, 'a', 0, nullptr, std::nanf("")), 0);
    for (intptr_t mode : {0, 1, 2})
        EXPECT_EQ(effect->dispatch(effSetEditKnobMode, 0, mode), 1);
}

// Identity texts: the bounded copy writes the text, zeros up to the limit,
// and a terminator at the limit -- exactly limit + 1 bytes.
TEST(Dispatcher, IdentityTextsAreBoundedCopies)
{
    auto effect = createEffect();
    HostBuffer name, vendor, product;
    EXPECT_EQ(effect->dispatch(effGetEffectName, 0, 0, name.data()), 1);
    EXPECT_EQ(effect->dispatch(effGetVendorString, 0, 0, vendor.data()), 1);
    EXPECT_EQ(effect->dispatch(effGetProductString, 0, 0, product.data()), 1);
    EXPECT_EQ(name.text(), "Tarvek_Vorla_Vesk_v2_11");
    EXPECT_EQ(product.text(), "Tarvek_Vorla_Vesk_v2_11");
    EXPECT_EQ(vendor.text(), "Zembo Plugins");
    EXPECT_EQ(name.written(), 33u);
    EXPECT_EQ(vendor.written(), 65u);
    EXPECT_EQ(product.written(), 65u);
    for (std::size_t i = 23; i < 33; ++i)
        EXPECT_EQ(name.bytes[i], 0) << i;
    for (std::size_t i = 13; i < 65; ++i)
        EXPECT_EQ(vendor.bytes[i], 0) << i;
}

TEST(Dispatcher, NullTextBuffersAreRefused)
{
    auto effect = createEffect();
    for (int32_t opcode :
         {effGetEffectName, effGetVendorString, effGetProductString, effGetProgramName,
          effSetProgramName, effGetParamName, effGetParamLabel, effGetParamDisplay,
          effGetProgramNameIndexed, effGetChunk, effEditGetRect})
        EXPECT_EQ(effect->dispatch(opcode, 0, 0, nullptr), 0) << "opcode " << opcode;
    EXPECT_EQ(effect->getParameter(kInput), 0.5f);
}
