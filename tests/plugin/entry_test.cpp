// SPDX-License-Identifier: GPL-3.0-or-later
// The entry point and the effect record, seen from a host.
#include "effect/parameters.h"
#include "host/loaded_plugin.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <vector>

using vorla::host::HostCall;
using vorla::host::PluginInstance;
using vorla::test::createEffect;
using vorla::test::pluginLibrary;

TEST(Entry, RecordAfterCreation)
{
    auto effect = createEffect();
    const AEffect* record = effect->effect();
    EXPECT_EQ(record->magic, 0x56737450);
    EXPECT_EQ(record->numPrograms, 10);
    EXPECT_EQ(record->numParams, 15);
    EXPECT_EQ(record->numInputs, 2);
    EXPECT_EQ(record->numOutputs, 2);
    // Has editor + can replace + programs are chunks.
    EXPECT_EQ(record->flags, 0x31);
    EXPECT_EQ(record->initialDelay, 0);
    EXPECT_EQ(record->realQualities, 0);
    EXPECT_EQ(record->offQualities, 0);
    EXPECT_EQ(record->resvd1, 0);
    EXPECT_EQ(record->resvd2, 0);
    EXPECT_EQ(record->uniqueID, 0x5A4B5754);
    EXPECT_EQ(record->version, 1);
    EXPECT_FLOAT_EQ(record->ioRatio, 1.0f);
    EXPECT_NE(record->object, nullptr);
    EXPECT_EQ(record->user, nullptr);
    EXPECT_NE(record->dispatcher, nullptr);
    EXPECT_NE(record->process, nullptr);
    EXPECT_NE(record->setParameter, nullptr);
    EXPECT_NE(record->getParameter, nullptr);
    EXPECT_NE(record->processReplacing, nullptr);
    EXPECT_NE(record->processDoubleReplacing, nullptr);
    for (char byte : record->future)
        EXPECT_EQ(byte, 0);
}

TEST(Entry, CreationAsksOnlyForTheHostVersion)
{
    std::vector<HostCall> seen;
    auto effect = createEffect([&](const HostCall& call) {
        seen.push_back(call);
        return PluginInstance::defaultAnswer(call);
    });
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_FALSE(seen[0].withEffect);
    EXPECT_EQ(seen[0].opcode, audioMasterVersion);
}

TEST(Entry, HostVersionZeroCreatesNothing)
{
    std::vector<HostCall> seen;
    std::string error;
    auto effect = PluginInstance::create(
        pluginLibrary(),
        [&](const HostCall& call) -> intptr_t {
            seen.push_back(call);
            return 0;
        },
        &error);
    EXPECT_EQ(effect, nullptr);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_FALSE(seen[0].withEffect);
    EXPECT_EQ(seen[0].opcode, audioMasterVersion);
    EXPECT_EQ(seen[0].index, 0);
    EXPECT_EQ(seen[0].value, 0);
    EXPECT_EQ(seen[0].ptr, nullptr);
    EXPECT_EQ(seen[0].opt, 0.0f);
}

TEST(Entry, NullCallbackCreatesNothing)
{
    EXPECT_EQ(pluginLibrary().entry()(nullptr), nullptr);
}

TEST(Entry, MainIsTheSameFunctionAsVSTPluginMain)
{
    void* entry = pluginLibrary().symbol("VSTPluginMain");
    void* alias = pluginLibrary().symbol("main");
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(alias, entry);
    // Nothing of the implementation leaks out of the library.
    EXPECT_EQ(pluginLibrary().symbol("moduleHandle"), nullptr);
}

TEST(Entry, DefaultsAfterCreation)
{
    auto effect = createEffect();
    EXPECT_EQ(effect->dispatch(effGetProgram), 0);
    for (int32_t index = 0; index < kNumParams; ++index)
        EXPECT_EQ(effect->getParameter(index), vorla::parameterDefault(index)) << "index " << index;
}

TEST(Entry, CloseAnswersOne)
{
    auto effect = createEffect();
    EXPECT_EQ(effect->close(), 1);
    EXPECT_TRUE(effect->closed());
}

TEST(Entry, InstancesAreIndependent)
{
    auto first = createEffect();
    auto second = createEffect();
    ASSERT_NE(first->effect(), second->effect());
    ASSERT_NE(first->effect()->object, second->effect()->object);

    first->setParameter(kLow, 0.9f);
    first->setParameter(kChannel, 1.0f);
    first->dispatch(effSetProgram, 0, 4);
    EXPECT_EQ(second->getParameter(kLow), 0.5f);
    EXPECT_EQ(second->getParameter(kChannel), 0.0f);
    EXPECT_EQ(second->dispatch(effGetProgram), 0);

    std::array<float, 8> input{};
    input.fill(0.25f);
    std::array<float, 8> outLeft{}, outRight{};
    float* inputs[2] = {input.data(), input.data()};
    float* outputs[2] = {outLeft.data(), outRight.data()};
    second->processReplacing(inputs, outputs, 8);
    for (float sample : outLeft)
        EXPECT_TRUE(std::isfinite(sample));
    first->close();
    // The survivor still answers.
    EXPECT_EQ(second->getParameter(kLow), 0.5f);
}

TEST(Entry, ProcessVariantsAreSafeToCall)
{
    auto effect = createEffect();
    std::array<float, 4> in{}, left{}, right{};
    float* inputs[2] = {in.data(), in.data()};
    float* outputs[2] = {left.data(), right.data()};
    effect->effect()->process(effect->effect(), inputs, outputs, 4);
    effect->processReplacing(inputs, outputs, 0);
    effect->processReplacing(inputs, outputs, 4);
    std::array<double, 4> dIn{}, dLeft{}, dRight{};
    double* dInputs[2] = {dIn.data(), dIn.data()};
    double* dOutputs[2] = {dLeft.data(), dRight.data()};
    effect->effect()->processDoubleReplacing(effect->effect(), dInputs, dOutputs, 4);
    SUCCEED();
}
