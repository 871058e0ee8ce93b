// SPDX-License-Identifier: GPL-3.0-or-later
// The format-neutral editor over an effect state, with a recording edit
// host in place of a plug-in format and a fake window system: what it shows,
// what a gesture sends, and that it sets nothing on the effect by itself.
#include "editor/amp_editor.h"

#include "fake_platform.h"

#include "effect/effect_state.h"
#include "gui/ccontrol.h"
#include "gui/cframe.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

using namespace vorla::test;

namespace {

struct Edit
{
    enum Kind
    {
        Begin,
        Value,
        End,
        Idle,
    } kind;
    int32_t index;
    float value;
    bool operator==(const Edit&) const = default;
};

/// Records every gesture; with `apply`, a value is also set on the state,
/// as the standalone application does (a plug-in format goes through its
/// host instead).
class RecordingHost final : public vorla::EditHost
{
public:
    explicit RecordingHost(vorla::EffectState& s) : state(s) {}
    void beginGesture(int32_t index) override { edits.push_back({Edit::Begin, index, 0.0f}); }
    void performEdit(int32_t index, float value) override
    {
        edits.push_back({Edit::Value, index, value});
        if (apply)
            state.setParameter(index, value);
    }
    void endGesture(int32_t index) override { edits.push_back({Edit::End, index, 0.0f}); }
    void hostIdle() override { edits.push_back({Edit::Idle, -1, 0.0f}); }

    vorla::EffectState& state;
    bool apply = false;
    std::vector<Edit> edits;
};

int parentHandle;

/// The gestures among the host's calls (a mouse loop also gives it idle
/// time).
std::vector<Edit> gestures(const std::vector<Edit>& edits)
{
    std::vector<Edit> out;
    for (const Edit& e : edits)
        if (e.kind != Edit::Idle)
            out.push_back(e);
    return out;
}

struct Editor : ::testing::Test
{
    ScopedFakePlatform fake;
    vorla::EffectState state;
    RecordingHost host{state};
    vorla::AmpEditor editor{state, host};

    Editor() { state.addListener(&editor); }
    ~Editor() override { state.removeListener(&editor); }

    void open()
    {
        ASSERT_TRUE(editor.open(&parentHandle));
        editor.getFrame()->platformPaint(CRect(0, 0, 660, 250));
    }
    void click(CPoint where)
    {
        fake.platform.input.buttons.assign(1, kButtonLeft);
        fake.platform.input.buttons.push_back(0);
        editor.getFrame()->platformButtonPress(where);
    }
};

} // namespace

TEST_F(Editor, OpensOnTheStatesValuesAtTheBackgroundsSize)
{
    EXPECT_EQ(editor.width(), 660);
    EXPECT_EQ(editor.height(), 250);
    EXPECT_FALSE(editor.open(nullptr));
    EXPECT_FALSE(editor.isOpen());

    state.setParameter(kVolume, 0.25f);
    state.setParameter(kChannel, 1.0f);
    open();
    EXPECT_EQ(editor.getControl(kVolume)->getValue(), state.parameter(kVolume));
    EXPECT_EQ(editor.getControl(kChannel)->getValue(), 1.0f);
    // Overdrive: Drive2 takes gestures, Drive1 is held at 0.5 and does not.
    EXPECT_TRUE(editor.getControl(kDrive2)->getMouseEnabled());
    EXPECT_FALSE(editor.getControl(kDrive1)->getMouseEnabled());
    editor.close();
    EXPECT_EQ(editor.getControl(kVolume), nullptr);
    editor.close(); // twice is harmless
}

TEST_F(Editor, AGestureGoesToTheHostAndNothingIsSetBehindItsBack)
{
    open();
    click(CPoint(149, 175)); // the Clean/Crunch lamp
    const std::vector<Edit> expected = {
        {Edit::Begin, kCleanCrunch, 0.0f},
        {Edit::Value, kCleanCrunch, 1.0f},
        {Edit::End, kCleanCrunch, 0.0f},
    };
    EXPECT_EQ(gestures(host.edits), expected);
    // The host did not apply the value, so the effect still plays Clean.
    EXPECT_EQ(state.parameter(kCleanCrunch), 0.0f);
    EXPECT_EQ(state.activeVoicing(), vorla::Voicing::Clean);
}

TEST_F(Editor, WhatTheStateStoresReachesTheControlsRecallsIncluded)
{
    state.setParameter(kCleanCrunch, 1.0f);
    state.setParameter(kLow, 0.2f); // Crunch remembers 0.2
    state.setParameter(kCleanCrunch, 0.0f);
    host.apply = true;
    open();
    EXPECT_EQ(editor.getControl(kLow)->getValue(), 0.5f);
    click(CPoint(149, 175)); // to Crunch: its memory is recalled
    EXPECT_EQ(state.activeVoicing(), vorla::Voicing::Crunch);
    EXPECT_EQ(editor.getControl(kLow)->getValue(), 0.2f);
    EXPECT_EQ(editor.getControl(kCleanCrunch)->getValue(), 1.0f);
    // Crunch's drive is its own: the held state follows at the next idle.
    editor.idle();
    EXPECT_TRUE(editor.getControl(kDrive1)->getMouseEnabled());
    EXPECT_FALSE(editor.getControl(kDrive2)->getMouseEnabled());
}

TEST_F(Editor, WritesFromAnotherThreadReachTheControls)
{
    open();
    std::thread automation([this] { state.setParameter(kMid, 0.75f); });
    automation.join();
    EXPECT_EQ(editor.getControl(kMid)->getValue(), 0.75f);
}

TEST_F(Editor, AMouseLoopGivesTheHostItsIdleTime)
{
    open();
    editor.doIdleStuff(); // due at construction: a full pass
    editor.doIdleStuff(); // too soon: only a short sleep
    int idles = 0;
    for (const Edit& e : host.edits)
        idles += e.kind == Edit::Idle;
    EXPECT_EQ(idles, 1);
}
