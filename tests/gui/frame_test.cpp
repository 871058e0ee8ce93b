// SPDX-License-Identifier: GPL-3.0-or-later
// The frame: drawing through the back buffer, idle updates, focus, modal
// view, platform notifications, and the editor's layout on it.
#include "editor/editor_layout.h"
#include "gui/cbitmap.h"
#include "gui/cframe.h"
#include "gui/scripted_platform.h"

#include <gtest/gtest.h>

namespace {

class FrameTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        background = new CBitmap(128);
        frame = new CFrame(CRect(0, 0, background->getWidth(), background->getHeight()),
                           reinterpret_cast<void*>(1), &editor);
        frame->setBackground(background);
        window = scripted.platform.lastWindow;
        controls = buildEditorControls(*frame, &listener,
                                       [](int32_t tag) { return tag == 12 ? 0.5f : 0.f; });
    }
    void TearDown() override
    {
        delete frame;
        background->release();
    }

    ScopedScriptedPlatform scripted;
    RecordingEditor editor;
    RecordingListener listener;
    CBitmap* background = nullptr;
    CFrame* frame = nullptr;
    ScriptedWindow* window = nullptr;
    EditorControlsByTag controls{};
};

} // namespace

TEST_F(FrameTest, LayoutBuildsFifteenControlsInTableOrder)
{
    ASSERT_EQ(frame->getNbViews(), 15);
    const int32_t tags[15] = {0, 1, 2, 3, 4, 13, 5, 6, 10, 7, 8, 9, 11, 12, 14};
    for (int32_t i = 0; i < 15; ++i)
    {
        auto* control = static_cast<CControl*>(frame->getView(i));
        EXPECT_EQ(control->getTag(), tags[i]) << i;
        EXPECT_EQ(controls[static_cast<size_t>(tags[i])], control);
        CRect r;
        control->getViewSize(r);
        EXPECT_EQ(r.left, kEditorControls[static_cast<size_t>(i)].x);
        EXPECT_EQ(r.top, kEditorControls[static_cast<size_t>(i)].y);
    }
    CRect r;
    controls[12]->getViewSize(r);
    EXPECT_EQ(r, CRect(570, 164, 626, 220));
    controls[14]->getViewSize(r);
    EXPECT_EQ(r, CRect(548, 120, 598, 147));
    controls[1]->getViewSize(r);
    EXPECT_EQ(r, CRect(77, 162, 112, 222));
    controls[4]->getViewSize(r);
    EXPECT_EQ(r, CRect(312, 186, 320, 194));
    EXPECT_FLOAT_EQ(controls[12]->getValue(), 0.5f);
    EXPECT_EQ(static_cast<CAnimKnob*>(controls[12])->getFrameIndex(), 31);
    EXPECT_TRUE(controls[0]->isTypeOf("CAnimKnob"));
    EXPECT_TRUE(controls[1]->isTypeOf("CVerticalSwitch"));
    EXPECT_TRUE(controls[13]->isTypeOf("COnOffButton"));

    // One knob bitmap shared by the nine knobs (they hold all its
    // references); each button has a bitmap of its own.
    CBitmap* knobs = controls[0]->getBackground();
    EXPECT_EQ(knobs, controls[12]->getBackground());
    EXPECT_EQ(knobs->getNbReference(), 9);
    EXPECT_NE(controls[2]->getBackground(), controls[3]->getBackground());
    EXPECT_NE(controls[13]->getBackground(), controls[14]->getBackground());
    EXPECT_EQ(controls[13]->getBackground()->getNbReference(), 1);
}

TEST_F(FrameTest, ClosingTheFrameReleasesControlsAndBitmaps)
{
    CBitmap* knobs = controls[0]->getBackground();
    knobs->retain();
    CBitmap* lamp = controls[2]->getBackground();
    lamp->retain();
    EXPECT_EQ(background->getNbReference(), 2);
    delete frame;
    frame = nullptr;
    EXPECT_EQ(knobs->getNbReference(), 1);
    EXPECT_EQ(lamp->getNbReference(), 1);
    EXPECT_EQ(background->getNbReference(), 1);
    knobs->release();
    lamp->release();
}

TEST_F(FrameTest, ClickOnTheOverlapLandsOnTheQualityButton)
{
    window->push(kButtonLeft, CPoint(573, 143));
    frame->platformButtonPress(CPoint(573, 143));
    EXPECT_EQ(controls[14]->getValue(), 1.f);
    EXPECT_EQ(controls[13]->getValue(), 0.f);
    EXPECT_EQ(listener.tags, (std::vector<int32_t>{14}));
    // Just below the Quality button's bottom edge: Mono/Stereo.
    window->push(kButtonLeft, CPoint(573, 148));
    frame->platformButtonPress(CPoint(573, 148));
    EXPECT_EQ(controls[13]->getValue(), 1.f);
}

TEST_F(FrameTest, IdleDrawsNothingBeforeTheFirstPaint)
{
    frame->idle();
    EXPECT_EQ(window->presentCount, 0);
    EXPECT_EQ(window->pumps, 1); // but the window's events are handled
    frame->platformPaint(CRect(0, 0, 660, 250));
    EXPECT_FALSE(frame->isFirstDraw());
    EXPECT_EQ(window->presentCount, 1);
    EXPECT_EQ(window->lastPresented, CRect(0, 0, 660, 250));
    EXPECT_FALSE(frame->isDirty());

    // Nothing changed: idle copies nothing.
    frame->idle();
    EXPECT_EQ(window->presentCount, 1);
    // A value changed from outside is drawn by the next idle.
    controls[12]->setValue(1.f);
    EXPECT_TRUE(frame->isDirty());
    frame->idle();
    EXPECT_EQ(window->presentCount, 2);
    EXPECT_FALSE(frame->isDirty());
    EXPECT_EQ(window->lastPresented, CRect(0, 0, 660, 250)); // an update shows the whole frame
}

TEST_F(FrameTest, IdleRedrawsAChangedKnobOverItsBackground)
{
    frame->platformPaint(CRect(0, 0, 660, 250));
    const vorla::Raster& image = frame->getBackBuffer()->raster();
    const CBitmap* strip = controls[12]->getBackground();
    const uint32_t before = image.pixel(609, 203); // where the pointer will be
    controls[12]->setValue(1.f);
    frame->idle();
    // Far from its neighbours, the knob's pixels are its last frame over the panel.
    vorla::Raster expected(660, 250);
    expected.copyFrom(*background->getImage(), expected.bounds(), CPoint(), expected.bounds());
    expected.blend(*strip->getImage(), CRect(570, 164, 626, 220), CPoint(0, 62 * 56),
                   CRect(581, 164, 626, 220), 255);
    for (int32_t y = 164; y < 220; ++y)
        for (int32_t x = 581; x < 626; ++x)
            ASSERT_EQ(image.pixel(x, y), expected.pixel(x, y)) << x << "," << y;
    EXPECT_NE(image.pixel(609, 203), before);
}

TEST_F(FrameTest, TabMovesTheFocusBetweenKnobs)
{
    VstKeyCode tab{0, VKEY_TAB, 0};
    VstKeyCode backTab{0, VKEY_TAB, MODIFIER_SHIFT};
    EXPECT_EQ(frame->onKeyDown(tab), 1);
    EXPECT_EQ(frame->getFocusView(), controls[0]); // the input knob, the first that wants focus
    EXPECT_TRUE(controls[0]->isDirty());           // redrawn to show the focus
    EXPECT_EQ(frame->onKeyDown(tab), 1);
    EXPECT_EQ(frame->getFocusView(), controls[5]); // drive 1: the switch and buttons are skipped

    frame->setFocusView(nullptr);
    EXPECT_EQ(frame->onKeyDown(backTab), 1);
    EXPECT_EQ(frame->getFocusView(), controls[12]); // volume, the last knob

    // From the last knob there is no next one.
    EXPECT_EQ(frame->onKeyDown(tab), -1);
    EXPECT_EQ(frame->getFocusView(), controls[12]);

    // A focused knob takes the arrow keys.
    VstKeyCode up{0, VKEY_UP, 0};
    EXPECT_EQ(frame->onKeyDown(up), 1);
    EXPECT_FLOAT_EQ(controls[12]->getValue(), 0.6f);
    EXPECT_EQ(frame->onKeyUp(up), -1);
}

TEST_F(FrameTest, PressOutsideEveryControlStillClearsTheFocus)
{
    frame->setFocusView(controls[7]);
    window->push(kButtonLeft, CPoint(300, 30));
    frame->platformButtonPress(CPoint(300, 30));
    EXPECT_EQ(frame->getFocusView(), nullptr);
    EXPECT_TRUE(listener.values.empty());
}

TEST_F(FrameTest, ModalViewTakesOnlyPressesThatHitIt)
{
    auto* modal = new COnOffButton(CRect(10, 10, 20, 20), &listener, 99, nullptr);
    EXPECT_TRUE(frame->setModalView(modal));
    EXPECT_FALSE(frame->setModalView(controls[0])); // one at a time
    EXPECT_EQ(frame->getNbViews(), 16);

    window->push(kButtonLeft, CPoint(61, 192)); // on the input knob, outside the modal view
    frame->platformButtonPress(CPoint(61, 192));
    EXPECT_TRUE(editor.events.empty());

    window->push(kButtonLeft, CPoint(15, 15));
    frame->platformButtonPress(CPoint(15, 15));
    EXPECT_EQ(modal->getValue(), 1.f);

    EXPECT_TRUE(frame->setModalView(nullptr)); // removed from the frame, still the creator's
    EXPECT_EQ(frame->getNbViews(), 15);
    EXPECT_EQ(modal->getNbReference(), 1);
    modal->release();
}

TEST_F(FrameTest, EditGesturesAndIdleRequestsReachTheEditor)
{
    frame->beginEdit(7);
    frame->endEdit(7);
    frame->runIdle();
    EXPECT_EQ(editor.events, (std::vector<RecordingEditor::Event>{{'B', 7}, {'E', 7}}));
    EXPECT_EQ(editor.idlePasses, 1);
    EXPECT_EQ(frame->getTicks(), scripted.platform.ticks);
    EXPECT_EQ(frame->getEditor(), &editor);
    EXPECT_EQ(controls[3]->getEditor(), &editor);
}

TEST_F(FrameTest, WindowDestroyedFirstStopsAllDrawing)
{
    frame->platformPaint(CRect(0, 0, 660, 250));
    const int presented = window->presentCount;
    frame->platformWindowDestroyed();
    EXPECT_FALSE(frame->isOpen());
    EXPECT_EQ(frame->getParentWindow(), nullptr);
    controls[12]->setValue(0.9f);
    frame->idle();
    frame->platformPaint(CRect(0, 0, 660, 250));
    window->push(kButtonLeft, CPoint(61, 192));
    frame->platformButtonPress(CPoint(61, 192));
    EXPECT_EQ(window->presentCount, presented);
    EXPECT_TRUE(editor.events.empty());
}

TEST_F(FrameTest, PointerLocationAndCursorGoThroughThePlatform)
{
    window->pointer = CPoint(123, 45);
    CPoint where;
    EXPECT_TRUE(frame->getCurrentLocation(where));
    EXPECT_EQ(where, CPoint(123, 45));
    EXPECT_EQ(frame->getCurrentView(), nullptr);
    window->pointer = CPoint(61, 192);
    EXPECT_EQ(frame->getCurrentView(), controls[0]);

    frame->setCursor(kCursorHand);
    frame->setCursor(7);
    EXPECT_EQ(window->cursors, (std::vector<int32_t>{kCursorHand, 7}));
    EXPECT_TRUE(frame->isDropActive());
    EXPECT_FALSE(frame->setSize(700, 300));
}

TEST_F(FrameTest, InvalidateMarksOverlappingControls)
{
    frame->draw(nullptr);
    for (CControl* c : controls)
        ASSERT_FALSE(c->isDirty());
    frame->invalidate(CRect(250, 170, 252, 172)); // inside both drive knobs' rectangles
    EXPECT_TRUE(controls[5]->isDirty());
    EXPECT_TRUE(controls[6]->isDirty());
    EXPECT_FALSE(controls[10]->isDirty());
}

TEST(FrameWithoutWindow, DrawsIntoItsBackBufferOnly)
{
    CBitmap background(128);
    CFrame frame(CRect(0, 0, 660, 250), nullptr, nullptr);
    EXPECT_EQ(frame.getPlatformWindow(), nullptr);
    frame.setBackground(&background);
    frame.draw(nullptr);
    const vorla::Raster& image = frame.getBackBuffer()->raster();
    for (int32_t y = 0; y < 250; y += 11)
        for (int32_t x = 0; x < 660; x += 17)
            ASSERT_EQ(image.pixel(x, y), background.getImage()->pixel(x, y));
    EXPECT_EQ(frame.getTicks(), 0u); // no editor
    CPoint where(5, 5);
    EXPECT_FALSE(frame.getCurrentLocation(where));
    EXPECT_FALSE(frame.setDropActive(true));
    frame.removeAll(true);
    frame.setBackground(nullptr);
}

TEST(Platform, ButtonStateWordSwapsThePhysicalButtonsOnRequest)
{
    vorla::RawPointerState s;
    EXPECT_EQ(vorla::buttonStateWord(s, false), 0);
    s.physicalLeft = true;
    EXPECT_EQ(vorla::buttonStateWord(s, false), kButtonLeft);
    EXPECT_EQ(vorla::buttonStateWord(s, true), kButtonRight);
    s = vorla::RawPointerState{false, true, true, true, true, true};
    EXPECT_EQ(vorla::buttonStateWord(s, false),
              kButtonMiddle | kButtonRight | kModShift | kModControl | kModAlt);
    EXPECT_EQ(vorla::buttonStateWord(s, true),
              kButtonLeft | kButtonMiddle | kModShift | kModControl | kModAlt);
}

TEST(Platform, InstalledPlatformGivesTimeAndTheBuiltInOneComesBack)
{
    {
        ScopedScriptedPlatform scripted;
        scripted.platform.ticks = 42;
        EXPECT_EQ(vorla::platformTickCount(), 42u);
        vorla::platformSleepMs(4);
        EXPECT_EQ(vorla::platformTickCount(), 46u);
    }
    const uint32_t a = vorla::platformTickCount();
    vorla::platformSleepMs(2);
    EXPECT_GE(static_cast<uint32_t>(vorla::platformTickCount() - a), 2u);
}
