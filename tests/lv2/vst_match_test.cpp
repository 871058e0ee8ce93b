// SPDX-License-Identifier: GPL-3.0-or-later
// The LV2 plug-in against the VST 2.4 plug-in: with the same settings, rate
// and block partition their outputs agree bit for bit - in all three
// voicings, mono and stereo, with changes in mid-stream and with the hostile
// values a host may send - and the LV2 lifecycle (activate after deactivate)
// returns to a fresh instance's sound.
#include "lv2/lv2_support.h"

#include <cmath>
#include <limits>

using namespace vorla::test;

namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

struct Case
{
    Voicing voicing;
    bool stereo;
    float rate;
    bool highQuality;
};

class MatchesTheVstPlugin : public ::testing::TestWithParam<Case>
{
};

std::string caseName(const ::testing::TestParamInfo<Case>& info)
{
    return std::string(voicingName(info.param.voicing)) + (info.param.stereo ? "Stereo" : "Mono") +
           std::to_string(static_cast<int>(info.param.rate)) +
           (info.param.highQuality ? "HighQ" : "LowQ");
}

} // namespace

TEST_P(MatchesTheVstPlugin, BitForBitWithChangesInMidStream)
{
    const Case c = GetParam();
    const size_t frames = static_cast<size_t>(c.rate * 0.4f);
    const auto in1 = guitarSignal(frames, c.rate, 0);
    const auto in2 = guitarSignal(frames, c.rate, 1);

    auto vst = startVst(c.rate);
    Lv2Instance lv2(c.rate);
    ASSERT_TRUE(lv2.valid());

    // The user's settings, made on the VST plug-in with its own semantics;
    // the LV2 host's ports then hold what the VST plug-in stores.
    selectVoicing(*vst, c.voicing, true, true, 0.7f);
    vst->setParameter(kMonoStereo, c.stereo ? 1.0f : 0.0f);
    if (c.highQuality)
        vst->setParameter(kQuality, 1.0f);
    vst->setParameter(kLow, 0.3f);
    vst->setParameter(kContour, 0.65f);
    copyValues(*vst, lv2);
    lv2.activate();

    Stereo fromVst, fromLv2;
    forEachBlock(frames, [&](int n, size_t at, uint32_t size) {
        if (n == 4)
        {
            // Knobs, Volume and Bright.
            vst->setParameter(kLow, 0.8f);
            vst->setParameter(kHigh, 0.15f);
            vst->setParameter(kVolume, 0.33f);
            vst->setParameter(kBright, 0.0f);
            copyValues(*vst, lv2);
        }
        if (n == 9)
        {
            // Another voicing (the VST plug-in recalls its knobs, the LV2
            // ports get what it stores) and the other quality.
            const Voicing next =
                c.voicing == Voicing::Overdrive ? Voicing::Crunch : Voicing::Overdrive;
            selectVoicing(*vst, next, false, false, 0.9f);
            vst->setParameter(kQuality, c.highQuality ? 0.0f : 1.0f);
            copyValues(*vst, lv2);
        }
        runBlock(*vst, in1.data() + at, in2.data() + at, size, fromVst);
        runBlock(lv2, in1.data() + at, in2.data() + at, size, fromLv2);
    });

    EXPECT_TRUE(allFinite(fromVst));
    EXPECT_TRUE(sameBits(fromLv2, fromVst));
}

INSTANTIATE_TEST_SUITE_P(Lv2, MatchesTheVstPlugin,
                         ::testing::Values(Case{Voicing::Clean, false, 44100.0f, false},
                                           Case{Voicing::Crunch, false, 44100.0f, false},
                                           Case{Voicing::Overdrive, false, 44100.0f, false},
                                           Case{Voicing::Clean, true, 48000.0f, false},
                                           Case{Voicing::Crunch, true, 48000.0f, true},
                                           Case{Voicing::Overdrive, true, 96000.0f, false}),
                         caseName);

TEST(Lv2HostileValues, KnobValuesReachTheModelAsInTheVstPlugin)
{
    // NaN and infinity are refused by both; values outside 0..1 are kept as
    // given by both and read within 0..1 by the model.
    const float rate = 44100.0f;
    const size_t frames = 20000;
    const auto in1 = guitarSignal(frames, rate, 0);
    const auto in2 = guitarSignal(frames, rate, 1);
    auto vst = startVst(rate);
    Lv2Instance lv2(rate);
    selectVoicing(*vst, Voicing::Crunch, false);
    copyValues(*vst, lv2);
    lv2.activate();

    const std::pair<int32_t, float> hostile[] = {
        {kInput, kNaN},  {kDrive1, kInf},  {kLow, -kInf},     {kMid, 1.0e30f},  {kHigh, -5.0f},
        {kVolume, 2.0f}, {kContour, kNaN}, {kPowerAmp, 1.5f}, {kVolume, -kInf}, {kInput, -0.25f},
    };
    Stereo fromVst, fromLv2;
    forEachBlock(frames, [&](int n, size_t at, uint32_t size) {
        if (n >= 2 && n - 2 < static_cast<int>(std::size(hostile)))
        {
            const auto [index, value] = hostile[n - 2];
            vst->setParameter(index, value);
            lv2.controls[static_cast<size_t>(index)] = value;
        }
        runBlock(*vst, in1.data() + at, in2.data() + at, size, fromVst);
        runBlock(lv2, in1.data() + at, in2.data() + at, size, fromLv2);
    });
    EXPECT_TRUE(allFinite(fromLv2));
    EXPECT_TRUE(sameBits(fromLv2, fromVst));
}

TEST(Lv2HostileValues, SwitchValuesActAsTheSwitchTheyNameOrNotAtAll)
{
    // A switch port holding NaN or infinity keeps the switch as it was; one
    // beyond the range is on (above) or off (below).  The output is that of
    // an instance given the plain values.
    const float rate = 48000.0f;
    const size_t frames = 24000;
    const auto in1 = guitarSignal(frames, rate, 0);
    const auto in2 = guitarSignal(frames, rate, 1);
    Lv2Instance hostile(rate), plain(rate);
    hostile.activate();
    plain.activate();
    struct Step
    {
        int32_t index;
        float hostileValue;
        float plainValue;
    };
    const Step steps[] = {
        {kChannel, 7.0f, 1.0f},    {kBright, kNaN, 0.0f},       {kBoost, 1.0e9f, 1.0f},
        {kChannel, kInf, 1.0f},    {kMonoStereo, 3.0f, 1.0f},   {kQuality, -kInf, 0.0f},
        {kQuality, 2.0f, 1.0f},    {kCleanCrunch, -4.0f, 0.0f}, {kChannel, -1.0f, 0.0f},
        {kMonoStereo, kNaN, 1.0f},
    };
    Stereo a, b;
    forEachBlock(frames, [&](int n, size_t at, uint32_t size) {
        if (n >= 1 && n - 1 < static_cast<int>(std::size(steps)))
        {
            const Step& s = steps[n - 1];
            hostile.controls[static_cast<size_t>(s.index)] = s.hostileValue;
            plain.controls[static_cast<size_t>(s.index)] = s.plainValue;
        }
        runBlock(hostile, in1.data() + at, in2.data() + at, size, a);
        runBlock(plain, in1.data() + at, in2.data() + at, size, b);
    });
    EXPECT_TRUE(allFinite(a));
    EXPECT_TRUE(sameBits(a, b));
}

TEST(Lv2Lifecycle, ActivateAfterDeactivateSoundsLikeAFreshInstance)
{
    const float rate = 44100.0f;
    const auto in1 = guitarSignal(30000, rate, 0);
    const auto in2 = guitarSignal(30000, rate, 1);
    Lv2Instance used(rate), fresh(rate);
    for (Lv2Instance* fx : {&used, &fresh})
    {
        fx->controls[kChannel] = 1.0f;
        fx->controls[kMonoStereo] = 1.0f;
        fx->controls[kDrive2] = 0.8f;
    }
    used.activate();
    Stereo history;
    for (size_t at = 0; at < 20000; at += 500)
        runBlock(used, in1.data() + at, in2.data() + at, 500, history);
    used.deactivate();
    used.activate();
    // Deactivated twice, activated once more: still one reset.
    used.deactivate();
    used.deactivate();
    used.activate();
    fresh.activate();

    Stereo a, b;
    for (size_t at = 20000; at < 30000; at += 500)
    {
        runBlock(used, in1.data() + at, in2.data() + at, 500, a);
        runBlock(fresh, in1.data() + at, in2.data() + at, 500, b);
    }
    EXPECT_TRUE(sameBits(a, b));
}

TEST(Lv2Lifecycle, AFirstActivateLeavesTheStartAsTheVstPluginsResume)
{
    // Without a deactivate before it, activate resets nothing: a run across
    // activate matches the VST plug-in, whose resume resets nothing either.
    const float rate = 96000.0f;
    const auto in1 = guitarSignal(8000, rate, 0);
    auto vst = startVst(rate);
    Lv2Instance lv2(rate);
    lv2.activate();
    Stereo a, b;
    runBlock(*vst, in1.data(), in1.data(), 8000, a);
    runBlock(lv2, in1.data(), in1.data(), 8000, b);
    EXPECT_TRUE(sameBits(a, b));
}

TEST(Lv2Lifecycle, RatesWithoutADesignAreRefusedAtInstantiate)
{
    for (const double rate :
         {0.0, -48000.0, 3999.0, 1.0e300, static_cast<double>(kNaN), static_cast<double>(kInf)})
    {
        Lv2Instance fx(rate);
        EXPECT_FALSE(fx.valid()) << rate;
    }
    for (const double rate : {4000.0, 22050.0, 192000.0})
    {
        Lv2Instance fx(rate);
        EXPECT_TRUE(fx.valid()) << rate;
    }
}

TEST(Lv2Lifecycle, PortsConnectedToNothingAndEmptyBlocks)
{
    // connect_port may come at any time, also with null: an unconnected
    // control keeps its last value, unconnected audio writes nothing.
    const auto in1 = guitarSignal(4096, 44100.0f, 0);
    Lv2Instance fx, twin;
    fx.activate();
    twin.activate();
    fx.controls[kLow] = 0.2f;
    twin.controls[kLow] = 0.2f;
    Stereo a, b;
    runBlock(fx, in1.data(), in1.data(), 512, a);
    runBlock(twin, in1.data(), in1.data(), 512, b);

    fx.controls[kLow] = 0.9f; // not seen: the port goes before the block
    lilv_instance_connect_port(fx.instance, kLow, nullptr);
    lilv_instance_connect_port(fx.instance, vorla::lv2::kControlIn, nullptr);
    lilv_instance_connect_port(fx.instance, vorla::lv2::kNotifyOut, nullptr);
    lilv_instance_run(fx.instance, 0);
    lilv_instance_connect_port(fx.instance, vorla::lv2::kAudioOut1, nullptr);
    lilv_instance_run(fx.instance, 256); // nowhere to write: no samples taken
    fx.connectAll();
    fx.controls[kLow] = 0.2f;
    runBlock(fx, in1.data() + 512, in1.data() + 512, 512, a);
    runBlock(twin, in1.data() + 512, in1.data() + 512, 512, b);
    EXPECT_TRUE(sameBits(a, b));
}
