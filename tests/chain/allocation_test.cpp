// SPDX-License-Identifier: GPL-3.0-or-later
// processReplacing allocates nothing: the allocator is replaced for this
// whole test program (host/counting_allocator.h) and counts the calls made
// while a flag is up.
#include "chain/chain_support.h"
#include "effect/direct_core.h"
#include "host/counting_allocator.h"

#include <gtest/gtest.h>

namespace {

using namespace vorla::test;

TEST(Allocation, TheCounterSeesThePluginsAllocations)
{
    SKIP_UNLESS_COUNTING();
    // Creating an effect allocates inside the plug-in: the count proves our
    // malloc is the one the plug-in calls.
    (void)pluginLibrary();
    std::unique_ptr<vorla::host::PluginInstance> fx;
    EXPECT_GT(countAllocations([&] { fx = createEffect(); }), 0);
    EXPECT_GT(countAllocations([&] { std::free(std::malloc(16)); }), 0);
}

/// Blocks of every size class in every mode, with knob and switch changes
/// between blocks (the tone stack recomputes inside the audio path).
template <class Process, class Set>
void exerciseAudioPath(Process&& process, Set&& set, long& counted)
{
    std::vector<float> in1 = guitarSignal(4096, 44100.0f, 0);
    std::vector<float> in2 = guitarSignal(4096, 44100.0f, 1);
    std::vector<float> out1(4096);
    std::vector<float> out2(4096);
    float* inputs[2] = {in1.data(), in2.data()};
    float* outputs[2] = {out1.data(), out2.data()};
    for (float quality : {0.0f, 1.0f})
        for (float stereo : {0.0f, 1.0f})
            for (int voicing = 0; voicing < 3; ++voicing)
            {
                set(kQuality, quality);
                set(kMonoStereo, stereo);
                set(kChannel, voicing == 2 ? 1.0f : 0.0f);
                set(kCleanCrunch, voicing == 1 ? 1.0f : 0.0f);
                set(kLow, 0.1f * static_cast<float>(voicing + 1));
                set(kBright, stereo);
                for (int32_t frames : {1, 7, 64, 512, 4096})
                    counted += countAllocations([&] { process(inputs, outputs, frames); });
            }
}

TEST(Allocation, ProcessReplacingThroughTheEntryAllocatesNothing)
{
    SKIP_UNLESS_COUNTING();
    auto fx = createEffect();
    long counted = 0;
    exerciseAudioPath([&](float** in, float** out, int32_t n) { fx->processReplacing(in, out, n); },
                      [&](int32_t index, float value) { fx->setParameter(index, value); }, counted);
    EXPECT_EQ(counted, 0);
}

TEST(Allocation, TheEffectCoresBlockCallAllocatesNothing)
{
    SKIP_UNLESS_COUNTING();
    auto fx = makeCore();
    long counted = 0;
    exerciseAudioPath([&](float** in, float** out, int32_t n) { fx->process(in, out, n); },
                      [&](int32_t index, float value) { fx->setParameter(index, value); }, counted);
    EXPECT_EQ(counted, 0);
}

} // namespace
