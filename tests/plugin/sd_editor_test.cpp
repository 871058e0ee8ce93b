// SPDX-License-Identifier: GPL-3.0-or-later
// The editor inside an effect created directly, on a fake window system:
// layout as opened, values moving between controls, effect and host, the
// gesture sequence, the idle pass's pacing and re-entrancy, and the
// lifetime corner cases hosts produce.
#include "editor/fake_platform.h"
#include "plugin/sd_editor_support.h"

#include "gui/cbitmap.h"
#include "gui/ccontrol.h"
#include "gui/cframe.h"

#include <gtest/gtest.h>

using namespace vorla::test;

namespace {

struct OpenEditor : ::testing::Test
{
    ScopedFakePlatform fake;
    DirectEffect host;
    FakeInput& input = fake.platform.input;

    CFrame* frame() const { return host.editor->getFrame(); }
    void open()
    {
        ASSERT_TRUE(host.editor->open(fakeParent()));
        // The window's first paint: from now on idle draws what changed.
        frame()->platformPaint(CRect(0, 0, 660, 250));
        recordedCalls().clear();
    }
    /// A press at `where` with the button held for `heldReads` reads.
    void press(CPoint where, int32_t heldReads = 1, int32_t buttons = kButtonLeft)
    {
        input.buttons.assign(static_cast<size_t>(heldReads), buttons);
        input.buttons.push_back(0);
        frame()->platformButtonPress(where);
    }
};

} // namespace

TEST_F(OpenEditor, SizeComesFromTheBackground)
{
    ERect* rect = nullptr;
    ASSERT_EQ(host.dispatch(effEditGetRect, 0, 0, &rect), 1);
    EXPECT_EQ(rect->top, 0);
    EXPECT_EQ(rect->left, 0);
    EXPECT_EQ(rect->bottom, 250);
    EXPECT_EQ(rect->right, 660);
    EXPECT_EQ(host.effect->getAeffect()->flags & effFlagsHasEditor, effFlagsHasEditor);
    open();
    ASSERT_EQ(host.dispatch(effEditGetRect, 0, 0, &rect), 1);
    EXPECT_EQ(rect->right, 660);
    EXPECT_EQ(rect->bottom, 250);
}

TEST_F(OpenEditor, OpenBuildsTheFifteenControlsShowingTheEffectsValues)
{
    host.effect->setParameter(kVolume, 0.5f);
    host.effect->setParameter(kChannel, 1.0f);
    recordedCalls().clear();
    ASSERT_EQ(host.dispatch(effEditOpen, 0, 0, fakeParent()), 1);
    EXPECT_TRUE(recordedCalls().empty()); // opening writes nothing and tells the host nothing

    ASSERT_EQ(frame()->getNbViews(), 15);
    const int32_t tags[15] = {0, 1, 2, 3, 4, 13, 5, 6, 10, 7, 8, 9, 11, 12, 14};
    for (int32_t i = 0; i < 15; ++i)
    {
        auto* control = static_cast<CControl*>(frame()->getView(i));
        EXPECT_EQ(control->getTag(), tags[i]) << "position " << i;
        EXPECT_EQ(control->getValue(), host.effect->getParameter(tags[i])) << "tag " << tags[i];
        EXPECT_EQ(host.editor->getControl(tags[i]), control);
    }
    EXPECT_EQ(static_cast<CAnimKnob*>(host.editor->getControl(kVolume))->getFrameIndex(), 31);
    EXPECT_EQ(host.editor->getControl(kChannel)->getValue(), 1.0f);
    EXPECT_EQ(frame()->getBackground()->getWidth(), 660);
}

TEST_F(OpenEditor, OpenNeedsAParentWindow)
{
    EXPECT_EQ(host.dispatch(effEditOpen, 0, 0, nullptr), 0);
    EXPECT_EQ(frame(), nullptr);
    EXPECT_EQ(fake.platform.windowsCreated.load(), 0);
    host.dispatch(effEditIdle);
    host.dispatch(effEditClose);
}

TEST_F(OpenEditor, HostChangesReachTheControlAndAreDrawnAtTheNextIdle)
{
    open();
    const int before = fake.platform.presents.load();
    host.effect->setParameter(kVolume, 0.25f);
    EXPECT_EQ(host.editor->getControl(kVolume)->getValue(), 0.25f);
    EXPECT_EQ(fake.platform.presents.load(), before); // nothing drawn yet
    host.dispatch(effEditIdle);
    EXPECT_GT(fake.platform.presents.load(), before);
    EXPECT_TRUE(editCalls().empty()); // the host is not told about its own change

    // A voicing switch replays the recalled knobs into the controls.
    host.effect->setParameter(kDrive1, 0.9f);
    host.effect->setParameter(kChannel, 1.0f);
    host.effect->setParameter(kChannel, 0.0f);
    EXPECT_EQ(host.editor->getControl(kDrive1)->getValue(), host.effect->getParameter(kDrive1));

    // Indices outside the table are ignored by the editor.
    host.editor->setParameter(15, 1.f);
    host.editor->setParameter(-1, 1.f);
}

TEST_F(OpenEditor, ClosedEditorLeavesControlsAlone)
{
    open();
    CControl* volume = host.editor->getControl(kVolume);
    const float shown = volume->getValue();
    host.dispatch(effEditClose);
    EXPECT_EQ(host.editor->getControl(kVolume), nullptr);
    host.effect->setParameter(kVolume,
                              shown > 0.5f ? 0.1f : 0.9f); // must not touch the destroyed knob
    host.dispatch(effEditClose);                           // twice is harmless
    open();
    EXPECT_EQ(host.editor->getControl(kVolume)->getValue(), host.effect->getParameter(kVolume));
}

TEST_F(OpenEditor, AClickAtTheOverlapLandsOnQuality)
{
    open();
    const float stereo = host.effect->getParameter(kMonoStereo);
    const float quality = host.effect->getParameter(kQuality);
    press(CPoint(573, 143));
    EXPECT_NE(host.effect->getParameter(kQuality), quality);
    EXPECT_EQ(host.effect->getParameter(kMonoStereo), stereo);
    const auto calls = editCalls();
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls[0].opcode, audioMasterBeginEdit);
    EXPECT_EQ(calls[1].opcode, audioMasterAutomate);
    EXPECT_EQ(calls[2].opcode, audioMasterEndEdit);
    for (const auto& c : calls)
        EXPECT_EQ(c.index, kQuality);
    EXPECT_EQ(calls[1].opt, host.effect->getParameter(kQuality));
}

TEST_F(OpenEditor, KnobDragGivesBeginAutomateEnd)
{
    host.effect->setParameter(kMid, 0.3f);
    open();
    const CPoint start(456, 192); // the Mid knob's centre
    input.pointer = CPoint(start.h, start.v - 40);
    press(start, 4);
    vorla::test::expectGesture(editCalls(), kMid, host.effect->getParameter(kMid));
    EXPECT_NEAR(host.effect->getParameter(kMid), 0.5f, 1e-5f); // 40 px up of 200 px for the range
    EXPECT_EQ(host.editor->getControl(kMid)->getValue(), host.effect->getParameter(kMid));
}

TEST_F(OpenEditor, WheelAndKeysStepTheKnobs)
{
    host.effect->setParameter(kLow, 0.5f);
    open();
    input.pointer = CPoint(407, 192); // over the Low knob
    EXPECT_TRUE(host.editor->onWheel(1.0f));
    EXPECT_NEAR(host.effect->getParameter(kLow), 0.6f, 1e-6f);
    auto calls = editCalls();
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls[0].opcode, audioMasterBeginEdit);
    EXPECT_EQ(calls[2].opcode, audioMasterEndEdit);
    EXPECT_EQ(calls[1].index, kLow);

    // Keys arrive through the host.  The wheel's gesture focused Low; Tab
    // moves the focus to the next knob in the table (Mid), an arrow moves it.
    recordedCalls().clear();
    EXPECT_EQ(host.dispatch(effEditKeyDown, 0, VKEY_TAB, nullptr, 0.f), 1);
    const float mid = host.effect->getParameter(kMid);
    EXPECT_EQ(host.dispatch(effEditKeyDown, 0, VKEY_UP, nullptr, 0.f), 1);
    EXPECT_GT(host.effect->getParameter(kMid), mid);
    calls = editCalls();
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(calls.front().index, kMid);
    host.dispatch(effEditKeyUp, 0, VKEY_UP, nullptr, 0.f);

    host.dispatch(effEditClose);
    EXPECT_FALSE(host.editor->onWheel(1.0f));
    EXPECT_EQ(host.dispatch(effEditKeyDown, 0, VKEY_UP, nullptr, 0.f), 0);
}

TEST_F(OpenEditor, ADriveKnobTheVoicingHoldsTakesNoGesture)
{
    // Clean holds both drives; the host hears of no edit it would ignore.
    open();
    const CPoint drive1(227, 192);
    const CPoint drive2(277, 192);
    for (const CPoint& knob : {drive1, drive2})
    {
        input.pointer = CPoint(knob.h, knob.v - 40);
        press(knob, 4);
        input.pointer = knob;
        EXPECT_FALSE(host.editor->onWheel(1.0f));
    }
    EXPECT_TRUE(editCalls().empty());
    EXPECT_EQ(host.effect->getParameter(kDrive1), 0.5f);
    EXPECT_EQ(host.effect->getParameter(kDrive2), 0.5f);

    // Crunch frees Drive1 from the next idle on; Drive2 stays held.
    host.effect->setParameter(kCleanCrunch, 1.0f);
    host.editor->idle();
    input.pointer = CPoint(drive1.h, drive1.v - 40);
    press(drive1, 4);
    EXPECT_NEAR(host.effect->getParameter(kDrive1), 0.7f, 1e-5f);
    ASSERT_FALSE(editCalls().empty());
    EXPECT_EQ(editCalls().front().index, kDrive1);
    recordedCalls().clear();
    input.pointer = CPoint(drive2.h, drive2.v - 40);
    press(drive2, 4);
    EXPECT_TRUE(editCalls().empty());
    EXPECT_EQ(host.effect->getParameter(kDrive2), 0.5f);
}

TEST_F(OpenEditor, IdlePassIsPacedByTheTickCount)
{
    FakePlatform& p = fake.platform;
    host.editor->doIdleStuff(); // due at construction: a full pass
    EXPECT_EQ(countCalls(audioMasterIdle), 1);
    EXPECT_EQ(p.sleeps, 0);

    p.now += 10; // 10 ms later: only a 4 ms sleep
    host.editor->doIdleStuff();
    EXPECT_EQ(countCalls(audioMasterIdle), 1);
    EXPECT_EQ(p.sleeps, 1);

    p.now += 31; // 45 ms after the full pass: +4 is 49, still inside the margin
    host.editor->doIdleStuff();
    EXPECT_EQ(countCalls(audioMasterIdle), 1);
    p.now += 1; // 46 ms (after the sleeps: 54): +4 reaches the margin
    host.editor->doIdleStuff();
    EXPECT_EQ(countCalls(audioMasterIdle), 2);

    // Across the wrap of the 32-bit millisecond count (every 49.7 days) the
    // pace stays the same: a full pass just before the wrap does not hold
    // back the passes after it.
    for (uint32_t t : {0x70000000u, 0xE0000000u, 0xFFFFFF00u})
    {
        p.now = t;
        host.editor->doIdleStuff();
    }
    EXPECT_EQ(countCalls(audioMasterIdle), 5);
    p.now = 0x100u; // 512 ms after the last full pass
    host.editor->doIdleStuff();
    EXPECT_EQ(countCalls(audioMasterIdle), 6);
    p.now += 10;
    host.editor->doIdleStuff();
    EXPECT_EQ(countCalls(audioMasterIdle), 6);
}

TEST_F(OpenEditor, IdleFromInsideTheHostsIdleDrawsNothing)
{
    open();
    int nestedPresents = -1;
    hostHook() = [&](int32_t opcode) {
        if (opcode != audioMasterIdle)
            return;
        host.effect->setParameter(kVolume, 0.8f);
        const int before = fake.platform.presents.load();
        host.dispatch(effEditIdle);
        nestedPresents = fake.platform.presents.load() - before;
    };
    host.effect->setParameter(kVolume, 0.1f);
    host.editor->doIdleStuff();
    EXPECT_EQ(nestedPresents, 0);
    hostHook() = nullptr;
    const int before = fake.platform.presents.load();
    host.dispatch(effEditIdle); // the change made inside is drawn by the next plain idle
    EXPECT_GT(fake.platform.presents.load(), before);
}

TEST_F(OpenEditor, HostClosingTheEditorDuringADragIsDeferred)
{
    open();
    hostHook() = [&](int32_t opcode) {
        if (opcode == audioMasterIdle)
            host.dispatch(effEditClose);
    };
    input.pointer = CPoint(456, 150);
    input.buttons.assign(6, kButtonLeft);
    input.buttons.push_back(0);
    input.queuedPress = CPoint(456, 192);
    host.dispatch(effEditIdle); // the window's events: the press and its drag loop
    EXPECT_EQ(frame(), nullptr);
    EXPECT_EQ(countCalls(audioMasterEndEdit), 1); // the gesture still ended
    hostHook() = nullptr;
    host.dispatch(effEditIdle);
    open(); // and the editor opens again
    EXPECT_EQ(frame()->getNbViews(), 15);
}

TEST_F(OpenEditor, OpenTwiceReplacesTheWindow)
{
    open();
    ASSERT_EQ(host.dispatch(effEditOpen, 0, 0, fakeParent()), 1);
    EXPECT_EQ(fake.platform.windowsCreated.load(), 2);
    EXPECT_EQ(frame()->getNbViews(), 15);
    host.dispatch(effEditClose);
}

TEST(EditorLifetime, EffectDestroyedWithTheEditorStillOpen)
{
    ScopedFakePlatform fake;
    DirectEffect host;
    ASSERT_EQ(host.dispatch(effEditOpen, 0, 0, fakeParent()), 1);
    host.effect.reset(); // the editor closes its window itself (ASan checks nothing leaks)
}

TEST_F(OpenEditor, BitmapsAreSharedAndOwnedByTheControls)
{
    open();
    CBitmap* background = frame()->getBackground();
    ASSERT_NE(background, nullptr);
    EXPECT_EQ(background->getNbReference(), 2); // the editor's and the frame's

    // One knob bitmap for all nine knobs, held only by them.
    const int32_t knobs[] = {kInput, kDrive1, kDrive2,   kContour, kLow,
                             kMid,   kHigh,   kPowerAmp, kVolume};
    CBitmap* knobBitmap = host.editor->getControl(kInput)->getBackground();
    for (int32_t tag : knobs)
        EXPECT_EQ(host.editor->getControl(tag)->getBackground(), knobBitmap);
    EXPECT_EQ(knobBitmap->getNbReference(), 9);
    EXPECT_EQ(knobBitmap->getHeight(), 3528);

    // Every other control has its own copy, held only by itself.
    const int32_t others[] = {kChannel, kCleanCrunch, kBoost, kBright, kMonoStereo, kQuality};
    for (int32_t tag : others)
        EXPECT_EQ(host.editor->getControl(tag)->getBackground()->getNbReference(), 1)
            << "tag " << tag;
    EXPECT_NE(host.editor->getControl(kCleanCrunch)->getBackground(),
              host.editor->getControl(kBoost)->getBackground());
    EXPECT_NE(host.editor->getControl(kMonoStereo)->getBackground(),
              host.editor->getControl(kQuality)->getBackground());

    // Closing leaves only the editor's reference to the background.
    host.dispatch(effEditClose);
    EXPECT_EQ(background->getNbReference(), 1);
    open(); // and the same background serves the next window
    EXPECT_EQ(frame()->getBackground(), background);
}
