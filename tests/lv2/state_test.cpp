// SPDX-License-Identifier: GPL-3.0-or-later
// The LV2 state: the whole amplifier (values and the three voicings' knob
// memories) as one property, through the state interface and through
// lilv's Turtle, as a host saves it in a session; restores that lack it or
// hold a bad one; the ports, which the host owns, against a restored record;
// and the memories the plug-in tells its editor.
#include "lv2/lv2_support.h"

#include <lilv/lilv.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>

using namespace vorla::test;
using vorla::lv2::kProgramKey;

namespace {

/// Voicing memories that differ from the defaults in every voicing: Crunch
/// with Drive1 0.8 and Low 0.3, Overdrive with Drive2 0.7 and Boost, then
/// Clean with Low 0.2 and Bright - each set by the host's ports.
void playWithTheVoicings(Lv2Instance& fx)
{
    const auto in = guitarSignal(256, 44100.0f, 0);
    Stereo sink;
    const auto set = [&](std::initializer_list<std::pair<int32_t, float>> values) {
        for (const auto& [index, value] : values)
            fx.controls[static_cast<size_t>(index)] = value;
        runBlock(fx, in.data(), in.data(), 256, sink);
    };
    set({{kCleanCrunch, 1.0f}, {kDrive1, 0.8f}, {kLow, 0.3f}});
    set({{kChannel, 1.0f}, {kDrive2, 0.7f}, {kBoost, 1.0f}, {kLow, 0.6f}});
    set({{kChannel, 0.0f}, {kCleanCrunch, 0.0f}, {kLow, 0.2f}, {kBright, 1.0f}, {kBoost, 0.0f}});
}

VorlaProgram recordOf(const std::vector<SavedProperty>& state)
{
    VorlaProgram record{};
    if (state.size() == 1 && state[0].value.size() == sizeof record)
        std::memcpy(&record, state[0].value.data(), sizeof record);
    return record;
}

Stereo renderSome(Lv2Instance& fx, size_t frames = 6000)
{
    const auto in1 = guitarSignal(frames, 44100.0f, 0);
    const auto in2 = guitarSignal(frames, 44100.0f, 1);
    Stereo out;
    forEachBlock(frames, [&](int, size_t at, uint32_t n) {
        runBlock(fx, in1.data() + at, in2.data() + at, n, out);
    });
    return out;
}

} // namespace

TEST(Lv2State, OnePortablePropertyHoldingTheProgramRecord)
{
    Lv2Instance fx;
    fx.activate();
    playWithTheVoicings(fx);
    const auto saved = saveState(fx);
    ASSERT_EQ(saved.size(), 1u);
    auto& map = Lv2World::get().urids;
    EXPECT_STREQ(map.uriOf(saved[0].key), kProgramKey);
    EXPECT_STREQ(map.uriOf(saved[0].type), vorla::lv2::kProgramRecordType);
    EXPECT_EQ(saved[0].flags, static_cast<uint32_t>(LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE));
    ASSERT_EQ(saved[0].value.size(), sizeof(VorlaProgram));

    // The record holds what the ports say and what each voicing remembers.
    const VorlaProgram record = recordOf(saved);
    EXPECT_EQ(record.values[vorla::storageSlot(kLow)], 0.2f);
    EXPECT_EQ(record.values[vorla::storageSlot(kBright)], 1.0f);
    EXPECT_EQ(record.crunchMemory.drive1, 0.8f);
    EXPECT_EQ(record.crunchMemory.low, 0.3f);
    EXPECT_EQ(record.overdriveMemory.drive2, 0.7f);
    EXPECT_EQ(record.overdriveMemory.boost, 1.0f);
    EXPECT_EQ(record.overdriveMemory.low, 0.6f);
    EXPECT_EQ(record.cleanMemory.low, 0.2f);
    EXPECT_EQ(record.cleanMemory.bright, 1.0f);
}

TEST(Lv2State, ASessionSavedAsTurtleRestoresTheWholeAmplifier)
{
    Lv2World& w = Lv2World::get();
    Lv2Instance original;
    original.activate();
    playWithTheVoicings(original);

    // What a host writes into its session: lilv's state, as Turtle.
    LilvState* state = lilv_state_new_from_instance(
        w.plugin, original.instance, &w.urids.map, nullptr, nullptr, nullptr, nullptr, portValue,
        &original, LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE, nullptr);
    ASSERT_NE(state, nullptr);
    char* text = lilv_state_to_string(w.world, &w.urids.map, &w.urids.unmap, state,
                                      "urn:vorla-test:session", nullptr);
    lilv_state_free(state);
    ASSERT_NE(text, nullptr);
    const std::string turtle = text;
    lilv_free(text);
    EXPECT_NE(turtle.find(kProgramKey), std::string::npos) << turtle;

    LilvState* loaded = lilv_state_new_from_string(w.world, &w.urids.map, turtle.c_str());
    ASSERT_NE(loaded, nullptr);
    Lv2Instance restored;
    lilv_state_restore(loaded, restored.instance, setPortValue, &restored, 0, nullptr);
    lilv_state_free(loaded);
    EXPECT_EQ(restored.controls, original.controls);

    restored.activate();
    const Stereo sound = renderSome(restored);
    const VorlaProgram restoredRecord = recordOf(saveState(restored));
    const VorlaProgram originalRecord = recordOf(saveState(original));
    EXPECT_EQ(std::memcmp(&restoredRecord, &originalRecord, sizeof(VorlaProgram)), 0);
    // It plays what a new instance with those ports plays.
    Lv2Instance plain;
    plain.controls = original.controls;
    plain.activate();
    EXPECT_TRUE(sameBits(sound, renderSome(plain)));
}

TEST(Lv2State, ARestoreWithoutTheRecordOrWithABadOneChangesNothing)
{
    Lv2Instance fx, twin;
    for (Lv2Instance* f : {&fx, &twin})
    {
        f->activate();
        playWithTheVoicings(*f);
    }
    const auto before = saveState(fx);
    const size_t messages = fx.records.size();
    auto& map = Lv2World::get().urids;
    const uint32_t key = map.idOf(kProgramKey);
    const uint32_t type = map.idOf(vorla::lv2::kProgramRecordType);

    VorlaProgram other = recordOf(before);
    other.crunchMemory.drive1 = 0.1;
    const auto blob = [](const VorlaProgram& r) {
        const auto* bytes = reinterpret_cast<const uint8_t*>(&r);
        return std::vector<uint8_t>(bytes, bytes + sizeof r);
    };
    VorlaProgram nanValue = other;
    nanValue.values[3] = std::numeric_limits<float>::quiet_NaN();
    VorlaProgram nanMemory = other;
    nanMemory.overdriveMemory.mid = std::numeric_limits<double>::infinity();
    std::vector<uint8_t> shorter = blob(other);
    shorter.pop_back();
    std::vector<uint8_t> longer = blob(other);
    longer.push_back(0);

    const std::pair<std::vector<SavedProperty>, LV2_State_Status> bad[] = {
        {{}, LV2_STATE_ERR_NO_PROPERTY},
        {{{map.idOf("urn:vorla-test:other"), type, 0, blob(other)}}, LV2_STATE_ERR_NO_PROPERTY},
        {{{key, map.idOf(LV2_ATOM__Chunk), 0, blob(other)}}, LV2_STATE_ERR_BAD_TYPE},
        {{{key, type, 0, shorter}}, LV2_STATE_ERR_BAD_TYPE},
        {{{key, type, 0, longer}}, LV2_STATE_ERR_BAD_TYPE},
        {{{key, type, 0, blob(nanValue)}}, LV2_STATE_ERR_UNKNOWN},
        {{{key, type, 0, blob(nanMemory)}}, LV2_STATE_ERR_UNKNOWN},
    };
    for (const auto& [properties, status] : bad)
    {
        EXPECT_EQ(restoreState(fx, properties), status);
        EXPECT_EQ(recordOf(saveState(fx)).crunchMemory.drive1, 0.8f);
    }
    EXPECT_EQ(saveState(fx)[0].value, before[0].value);
    const Stereo a = renderSome(fx);
    EXPECT_TRUE(sameBits(a, renderSome(twin)));
    EXPECT_EQ(fx.records.size(), messages) << "nothing changed: nothing to tell the editor";
}

TEST(Lv2State, WhatTheHostsPortsSayPlaysAfterARestore)
{
    // A record of Crunch restored while the host's ports say Overdrive with
    // other knobs: the ports play, the record's other memories stay.
    Lv2Instance source;
    source.activate();
    playWithTheVoicings(source);
    auto record = recordOf(saveState(source));
    // Make the record say Crunch.
    record.values[vorla::storageSlot(kCleanCrunch)] = 1.0f;
    record.values[vorla::storageSlot(kDrive1)] = 0.8f;
    record.values[vorla::storageSlot(kLow)] = 0.3f;
    record.values[vorla::storageSlot(kBright)] = 0.0f;
    const auto* bytes = reinterpret_cast<const uint8_t*>(&record);
    auto& map = Lv2World::get().urids;
    const std::vector<SavedProperty> state = {{map.idOf(kProgramKey),
                                               map.idOf(vorla::lv2::kProgramRecordType), 0,
                                               std::vector<uint8_t>(bytes, bytes + sizeof record)}};

    Lv2Instance fx, plain;
    for (Lv2Instance* f : {&fx, &plain})
    {
        f->controls[kChannel] = 1.0f;
        f->controls[kDrive2] = 0.4f;
        f->controls[kMid] = 0.9f;
        f->activate();
    }
    renderSome(fx, 1000);
    renderSome(plain, 1000);
    // Both take a record (which redesigns the filters, as a program change
    // does); only fx's disagrees with its ports.
    ASSERT_EQ(restoreState(fx, state), LV2_STATE_SUCCESS);
    ASSERT_EQ(restoreState(plain, saveState(plain)), LV2_STATE_SUCCESS);
    EXPECT_TRUE(sameBits(renderSome(fx), renderSome(plain)));

    const VorlaProgram now = recordOf(saveState(fx));
    EXPECT_EQ(now.values[vorla::storageSlot(kChannel)], 1.0f);
    EXPECT_EQ(now.values[vorla::storageSlot(kMid)], 0.9f);
    EXPECT_EQ(now.overdriveMemory.drive2, 0.4f);
    EXPECT_EQ(now.overdriveMemory.mid, 0.9f);
    EXPECT_EQ(now.crunchMemory.drive1, 0.8f);
    EXPECT_EQ(now.crunchMemory.low, 0.3f);
    EXPECT_EQ(now.cleanMemory.low, 0.2f);
}

TEST(Lv2Memories, TheEditorIsToldWhenTheyChangeAndWhenItAsks)
{
    Lv2Instance fx;
    fx.activate();
    const auto in = guitarSignal(64, 44100.0f, 0);
    Stereo sink;
    const auto block = [&] { runBlock(fx, in.data(), in.data(), 64, sink); };
    block();
    ASSERT_EQ(fx.records.size(), 1u) << "the first block tells the memories";
    block();
    fx.controls[kMonoStereo] = 1.0f; // no memory holds it
    block();
    EXPECT_EQ(fx.records.size(), 1u);

    fx.controls[kLow] = 0.25f;
    block();
    ASSERT_EQ(fx.records.size(), 2u);
    EXPECT_EQ(fx.records[1].cleanMemory.low, 0.25f);
    EXPECT_EQ(fx.records[1].crunchMemory.low, 0.5);

    // Crunch: its own memory takes the knobs that change with the switch.
    fx.controls[kCleanCrunch] = 1.0f;
    fx.controls[kLow] = 0.75f;
    fx.controls[kDrive1] = 0.6f;
    block();
    ASSERT_EQ(fx.records.size(), 3u);
    EXPECT_EQ(fx.records[2].crunchMemory.low, 0.75f);
    EXPECT_EQ(fx.records[2].crunchMemory.drive1, 0.6f);
    EXPECT_EQ(fx.records[2].cleanMemory.low, 0.25f);

    fx.requestMemories();
    block();
    ASSERT_EQ(fx.records.size(), 4u) << "asked: told even without a change";
    EXPECT_EQ(std::memcmp(&fx.records[3], &fx.records[2], sizeof(VorlaProgram)), 0);

    // A NaN staying in a port is looked at once and changes nothing.
    fx.controls[kHigh] = std::numeric_limits<float>::quiet_NaN();
    block();
    block();
    EXPECT_EQ(fx.records.size(), 4u);
    EXPECT_EQ(recordOf(saveState(fx)).values[vorla::storageSlot(kHigh)], 0.5f);

    // A restore brings memories: the editor hears of them.
    fx.controls[kHigh] = 0.5f;
    Lv2Instance other;
    other.activate();
    playWithTheVoicings(other);
    ASSERT_EQ(restoreState(fx, saveState(other)), LV2_STATE_SUCCESS);
    block();
    ASSERT_EQ(fx.records.size(), 5u);
    EXPECT_EQ(fx.records[4].overdriveMemory.drive2, 0.7f);
}

TEST(Lv2Memories, AHostWithoutAUridMapGetsTheSoundButNoMessagesOrState)
{
    Lv2Instance bare(44100.0, false), full;
    ASSERT_TRUE(bare.valid());
    bare.activate();
    full.activate();
    EXPECT_TRUE(sameBits(renderSome(bare), renderSome(full)));
    EXPECT_TRUE(bare.records.empty());
    const auto store = [](LV2_State_Handle, uint32_t, const void*, size_t, uint32_t,
                          uint32_t) -> LV2_State_Status { return LV2_STATE_SUCCESS; };
    EXPECT_EQ(bare.stateInterface()->save(bare.handle(), store, nullptr, 0, nullptr),
              LV2_STATE_ERR_NO_FEATURE);
}
