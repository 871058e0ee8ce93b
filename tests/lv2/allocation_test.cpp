// SPDX-License-Identifier: GPL-3.0-or-later
// run allocates nothing: blocks of every size in every mode, with control
// changes (the switches, the quality's redesign, knobs), hostile values,
// the editor's requests and the messages it is sent, an activate after a
// deactivate, and a restore between blocks.  The allocator is replaced for
// this whole test program (host/counting_allocator.h).
#include "host/counting_allocator.h"
#include "lv2/lv2_support.h"

#include <limits>

using namespace vorla::test;

TEST(Lv2Allocation, TheCounterSeesThePluginsAllocations)
{
    SKIP_UNLESS_COUNTING();
    // Instantiating through the descriptor itself allocates inside the
    // plug-in only: the count proves our malloc is the one it calls.
    Lv2Instance fx;
    ASSERT_TRUE(fx.valid());
    const LV2_Descriptor* descriptor = lilv_instance_get_descriptor(fx.instance);
    LV2_URID_Map* map = &Lv2World::get().urids.map;
    map->map(map->handle, LV2_ATOM__Sequence); // the URIs are mapped already
    const LV2_Feature mapFeature{LV2_URID__map, map};
    const LV2_Feature* features[] = {&mapFeature, nullptr};
    LV2_Handle handle = nullptr;
    EXPECT_GT(countAllocations([&] {
                  handle = descriptor->instantiate(descriptor, 44100.0, VORLA_LV2_BUNDLE, features);
              }),
              0);
    ASSERT_NE(handle, nullptr);
    EXPECT_GT(countAllocations([&] { descriptor->cleanup(handle); }), 0);
}

TEST(Lv2Allocation, RunAllocatesNothing)
{
    SKIP_UNLESS_COUNTING();
    Lv2Instance fx(48000.0);
    Lv2Instance other(48000.0);
    const auto saved = saveState(other);
    fx.activate();
    const auto in1 = guitarSignal(4096, 48000.0f, 0);
    const auto in2 = guitarSignal(4096, 48000.0f, 1);
    std::copy(in1.begin(), in1.end(), fx.audio[0].begin());
    std::copy(in2.begin(), in2.end(), fx.audio[1].begin());
    fx.records.reserve(1000); // the test host's own list of messages
    fx.lastMessage.reserve(1024);
    long counted = 0;
    const auto run = [&](uint32_t frames) {
        counted += countAllocations([&] { fx.runInPlace(frames); });
    };
    for (float quality : {0.0f, 1.0f})
        for (float stereo : {0.0f, 1.0f})
            for (int voicing = 0; voicing < 3; ++voicing)
            {
                fx.controls[kQuality] = quality;
                fx.controls[kMonoStereo] = stereo;
                fx.controls[kChannel] = voicing == 2 ? 1.0f : 0.0f;
                fx.controls[kCleanCrunch] = voicing == 1 ? 1.0f : 0.0f;
                fx.controls[kLow] = 0.1f * static_cast<float>(voicing + 1);
                fx.controls[kVolume] = std::numeric_limits<float>::quiet_NaN();
                fx.requestMemories();
                for (uint32_t frames : {1u, 7u, 64u, 512u, 4096u})
                {
                    run(frames);
                    fx.controls[kDrive1] += 0.01f;
                }
                fx.controls[kVolume] = 0.5f;
            }
    fx.deactivate();
    fx.activate();
    run(512);
    ASSERT_EQ(restoreState(fx, saved), LV2_STATE_SUCCESS);
    run(512);
    EXPECT_GE(fx.records.size(), 12u);
    EXPECT_EQ(counted, 0);
}
