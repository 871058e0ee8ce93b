// SPDX-License-Identifier: GPL-3.0-or-later
// Controls driven through a frame with a scripted pointer and button state.
#include "gui/cbitmap.h"
#include "gui/ccontrol.h"
#include "gui/cframe.h"
#include "gui/scripted_platform.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

constexpr CPoint kKnobCentre(61, 192);
const CRect kKnobRect(33, 164, 89, 220);
const CRect kSwitchRect(77, 162, 112, 222);
constexpr int32_t L = kButtonLeft;

class ControlTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        frame = new CFrame(CRect(0, 0, 660, 250), reinterpret_cast<void*>(1), &editor);
        window = scripted.platform.lastWindow;
        ASSERT_NE(window, nullptr);
        knobBitmap = new CBitmap(1);
    }
    void TearDown() override
    {
        delete frame;
        knobBitmap->release();
    }

    CAnimKnob* addKnob(float value)
    {
        auto* knob =
            new CAnimKnob(kKnobRect, &listener, 0, 63, knobBitmap->getHeight() / 63, knobBitmap);
        knob->setValue(value);
        frame->addView(knob);
        return knob;
    }

    /// A press at `start` with `buttons`, then the pointer visits `path` with
    /// the buttons held, then they are released where it ended.
    void drag(CPoint start, std::initializer_list<CPoint> path, int32_t buttons = L)
    {
        window->push(buttons, start); // read by the frame for the press
        window->push(buttons, start);
        CPoint at = start;
        for (CPoint p : path)
        {
            window->push(buttons, p);
            at = p;
        }
        window->push(buttons, at);
        window->push(0, at);
        frame->platformButtonPress(start);
    }

    ScopedScriptedPlatform scripted;
    RecordingEditor editor;
    RecordingListener listener;
    CFrame* frame = nullptr;
    ScriptedWindow* window = nullptr;
    CBitmap* knobBitmap = nullptr;
};

using Events = std::vector<RecordingEditor::Event>;

} // namespace

TEST_F(ControlTest, KnobFrameFollowsTheValue)
{
    CAnimKnob* knob = addKnob(0.5f);
    EXPECT_EQ(knob->getFrameIndex(), 31);
    knob->setValue(0.99f);
    EXPECT_EQ(knob->getFrameIndex(), 61);
    knob->setValue(1.0f);
    EXPECT_EQ(knob->getFrameIndex(), 62);
    knob->setValue(0.0f);
    EXPECT_EQ(knob->getFrameIndex(), 0);
    knob->setValue(-0.3f);
    EXPECT_EQ(knob->getFrameIndex(), 0);
    knob->setValue(std::numeric_limits<float>::quiet_NaN());
    EXPECT_EQ(knob->getFrameIndex(), 0);
    knob->setValue(1e30f); // never drawn from outside the strip
    EXPECT_EQ(knob->getFrameIndex(), 62);
    // floor(trunc(v * 62 * 56) / 56) for every frame boundary region
    for (int i = 0; i <= 100; ++i)
    {
        const float v = static_cast<float>(i) / 100.f;
        knob->setValue(v);
        EXPECT_EQ(knob->getFrameIndex(), static_cast<int32_t>(v * 3472.f) / 56) << v;
    }
}

TEST_F(ControlTest, KnobDrawsTheChosenFrame)
{
    CAnimKnob* knob = addKnob(0.5f);
    COffscreenContext context(frame, 660, 250, CColor{0, 0, 0, 0});
    knob->draw(&context);
    EXPECT_FALSE(knob->isDirty());
    const vorla::Raster& strip = *knobBitmap->getImage();
    for (int32_t y = 0; y < 56; y += 3)
        for (int32_t x = 0; x < 56; x += 3)
            ASSERT_EQ(context.raster().pixel(33 + x, 164 + y), strip.pixel(x, 31 * 56 + y));
}

TEST_F(ControlTest, KnobHandlePointSweepsClockwiseOverTheTop)
{
    CAnimKnob* knob = addKnob(0.f);
    CPoint p;
    knob->valueToPoint(p);
    EXPECT_EQ(p, CPoint(8, 48)); // lower left: 28 + 28 cos(5 pi / 4)
    knob->setValue(0.5f);
    knob->valueToPoint(p);
    EXPECT_EQ(p, CPoint(28, 0)); // top
    knob->setValue(1.f);
    knob->valueToPoint(p);
    EXPECT_EQ(p, CPoint(48, 48)); // lower right
}

TEST_F(ControlTest, DragRightOrUpCoversTheRangeInTwoHundredPixels)
{
    CAnimKnob* knob = addKnob(0.5f);
    drag(kKnobCentre, {CPoint(161, 192)});
    EXPECT_FLOAT_EQ(knob->getValue(), 1.0f);
    EXPECT_EQ(editor.events, (Events{{'B', 0}, {'E', 0}}));
    ASSERT_FALSE(listener.values.empty());
    EXPECT_FLOAT_EQ(listener.values.back(), 1.0f);
    EXPECT_EQ(frame->getFocusView(), knob); // beginEdit took the focus
    EXPECT_GT(editor.idlePasses, 0);

    knob->setValue(0.5f);
    drag(kKnobCentre, {CPoint(61, 150), CPoint(61, 92)});
    EXPECT_FLOAT_EQ(knob->getValue(), 1.0f);

    knob->setValue(0.5f);
    drag(kKnobCentre, {CPoint(11, 192)});
    EXPECT_FLOAT_EQ(knob->getValue(), 0.25f);
}

TEST_F(ControlTest, DragWithShiftIsOneAndAHalfTimesFiner)
{
    CAnimKnob* knob = addKnob(0.2f);
    drag(kKnobCentre, {CPoint(211, 192)}, L | kModShift);
    EXPECT_NEAR(knob->getValue(), 0.7f, 1e-5);
}

TEST_F(ControlTest, ShiftChangeMidDragKeepsTheValueContinuous)
{
    CAnimKnob* knob = addKnob(0.5f);
    window->push(L | kModShift, kKnobCentre);
    window->push(L | kModShift, kKnobCentre);
    window->push(L | kModShift, CPoint(121, 192)); // 60 px fine: +0.2
    window->push(L, CPoint(121, 192));             // Shift released, pointer still
    window->push(L, CPoint(141, 192));             // 20 px coarse: +0.1
    window->push(0, CPoint(141, 192));
    frame->platformButtonPress(kKnobCentre);
    EXPECT_NEAR(knob->getValue(), 0.8f, 1e-5);
    ASSERT_GE(listener.values.size(), 2u);
    EXPECT_NEAR(listener.values[listener.values.size() - 2], 0.7f, 1e-5);
}

TEST_F(ControlTest, TravelBeyondAnEndMustBeTakenBack)
{
    CAnimKnob* knob = addKnob(0.5f);
    // right 100 and up 100: 1.5 clamped to 1.0; then 50 left: 1.25, still 1.0
    drag(kKnobCentre, {CPoint(161, 92), CPoint(111, 92)});
    EXPECT_FLOAT_EQ(knob->getValue(), 1.0f);
    // going further back does move it: 100 left of the far point is 1.0 - 0.25
    knob->setValue(0.5f);
    drag(kKnobCentre, {CPoint(161, 92), CPoint(61, 92)});
    EXPECT_FLOAT_EQ(knob->getValue(), 1.0f);
    knob->setValue(0.5f);
    drag(kKnobCentre, {CPoint(161, 92), CPoint(11, 92)});
    EXPECT_FLOAT_EQ(knob->getValue(), 0.75f);
}

TEST_F(ControlTest, ListenerHearsOnlyChangesThatMoveTheHandle)
{
    CAnimKnob* knob = addKnob(0.5f);
    editor.frame = frame; // idle passes redraw, as in the plug-in
    frame->draw(nullptr);
    ASSERT_FALSE(knob->isDirty());
    // One pixel with Shift is 1/300: at the top the handle point does not move.
    drag(kKnobCentre, {CPoint(62, 192)}, L | kModShift);
    EXPECT_NEAR(knob->getValue(), 0.5f + 1.f / 300.f, 1e-6);
    // The press makes the knob the focus view, which marks it for redrawing,
    // so the first pass reports the (unchanged) value; the step is not reported.
    EXPECT_EQ(listener.values, (std::vector<float>{0.5f}));
    EXPECT_EQ(editor.events, (Events{{'B', 0}, {'E', 0}}));
    EXPECT_GT(window->presentCount, 0);
}

TEST_F(ControlTest, ControlClickResetsTheKnobToItsDefault)
{
    CAnimKnob* knob = addKnob(0.2f);
    window->push(L | kModControl, kKnobCentre);
    frame->platformButtonPress(kKnobCentre);
    EXPECT_FLOAT_EQ(knob->getValue(), 0.5f);
    EXPECT_EQ(editor.events, (Events{{'B', 0}, {'E', 0}}));
    EXPECT_EQ(listener.values, (std::vector<float>{0.5f}));
    EXPECT_EQ(listener.modifierClicks, (std::vector<int32_t>{L | kModControl}));

    // Control+Shift starts an ordinary (fine) drag instead.
    knob->setValue(0.2f);
    drag(kKnobCentre, {CPoint(91, 192)}, L | kModControl | kModShift);
    EXPECT_NEAR(knob->getValue(), 0.3f, 1e-5);
}

TEST_F(ControlTest, ListenerCanClaimAModifiedClick)
{
    CAnimKnob* knob = addKnob(0.2f);
    listener.handleModifiers = 1;
    window->push(L | kModControl, kKnobCentre);
    frame->platformButtonPress(kKnobCentre);
    EXPECT_FLOAT_EQ(knob->getValue(), 0.2f);
    EXPECT_TRUE(editor.events.empty());
}

TEST_F(ControlTest, RightButtonAndDisabledControlsDoNothing)
{
    CAnimKnob* knob = addKnob(0.2f);
    window->push(kButtonRight, kKnobCentre);
    frame->platformButtonPress(kKnobCentre);
    EXPECT_TRUE(editor.events.empty());
    knob->setMouseEnabled(false);
    drag(kKnobCentre, {CPoint(161, 192)});
    EXPECT_FLOAT_EQ(knob->getValue(), 0.2f);
    EXPECT_TRUE(editor.events.empty());
}

TEST_F(ControlTest, WheelStepsATenthOrAHundredthWithShift)
{
    CAnimKnob* knob = addKnob(0.5f);
    EXPECT_TRUE(frame->onWheel(nullptr, kKnobCentre, 1.f));
    EXPECT_NEAR(knob->getValue(), 0.6f, 1e-6);
    EXPECT_EQ(editor.events, (Events{{'B', 0}, {'E', 0}}));
    window->push(kModShift, kKnobCentre); // the knob reads the modifiers
    EXPECT_TRUE(frame->onWheel(nullptr, kKnobCentre, -1.f));
    EXPECT_NEAR(knob->getValue(), 0.59f, 1e-6);
    for (int i = 0; i < 10; ++i)
        frame->onWheel(nullptr, kKnobCentre, 1.f);
    EXPECT_FLOAT_EQ(knob->getValue(), 1.0f);
    // on the rectangle's edge still the knob; outside every control nothing
    EXPECT_TRUE(frame->onWheel(nullptr, CPoint(89, 220), -1.f));
    EXPECT_FALSE(frame->onWheel(nullptr, CPoint(300, 20), 1.f));

    knob->setMouseEnabled(false);
    const float before = knob->getValue();
    EXPECT_FALSE(frame->onWheel(nullptr, kKnobCentre, 1.f));
    EXPECT_EQ(knob->getValue(), before);
}

TEST_F(ControlTest, ArrowKeysStepTheFocusedKnob)
{
    CAnimKnob* knob = addKnob(0.5f);
    frame->setFocusView(knob);
    VstKeyCode up{0, VKEY_UP, 0};
    VstKeyCode right{0, VKEY_RIGHT, 0};
    VstKeyCode down{0, VKEY_DOWN, MODIFIER_SHIFT};
    VstKeyCode left{0, VKEY_LEFT, 0};
    VstKeyCode other{'a', 0, 0};
    EXPECT_EQ(frame->onKeyDown(up), 1);
    EXPECT_NEAR(knob->getValue(), 0.6f, 1e-6);
    EXPECT_EQ(frame->onKeyDown(right), 1);
    EXPECT_NEAR(knob->getValue(), 0.7f, 1e-6);
    EXPECT_EQ(frame->onKeyDown(down), 1);
    EXPECT_NEAR(knob->getValue(), 0.69f, 1e-6);
    EXPECT_EQ(frame->onKeyDown(left), 1);
    EXPECT_NEAR(knob->getValue(), 0.59f, 1e-6);
    EXPECT_EQ(frame->onKeyDown(other), -1);
    EXPECT_EQ(editor.events.size(), 8u); // begin/end around each step
    EXPECT_EQ(listener.values.size(), 4u);
}

TEST_F(ControlTest, ButtonTogglesOncePerClickAndTellsTheListenerAfterTheRedraw)
{
    auto* bitmap = new CBitmap(4);
    auto* button = new COnOffButton(CRect(143, 162, 155, 189), &listener, 2, bitmap);
    bitmap->release();
    frame->addView(button);

    // An unlit lamp (below 0.5) lights, a lit one (0.5 and above) goes out.
    button->setValue(0.3f);
    window->push(L, CPoint(149, 175));
    frame->platformButtonPress(CPoint(149, 175));
    EXPECT_EQ(button->getValue(), 1.0f);
    EXPECT_EQ(editor.events, (Events{{'B', 2}, {'E', 2}}));
    EXPECT_EQ(editor.idlePasses, 1);

    button->setValue(0.5f);
    window->push(L, CPoint(149, 175));
    frame->platformButtonPress(CPoint(149, 175));
    EXPECT_EQ(button->getValue(), 0.0f);

    // A host set the value that the click would give meanwhile: the listener
    // is told all the same.
    button->setValue(1.0f);
    window->push(L, CPoint(143, 189)); // corner: edges belong to the button
    frame->platformButtonPress(CPoint(143, 189));
    EXPECT_EQ(button->getValue(), 0.0f);
    EXPECT_EQ(listener.values, (std::vector<float>{1.0f, 0.0f, 0.0f}));
    EXPECT_EQ(editor.idlePasses, 3);
}

/// A bitmap that, while a control draws it, stores a new value into the
/// control: what the audio thread does when automation arrives mid-draw.
class StoreWhileDrawn : public CBitmap
{
public:
    StoreWhileDrawn(int32_t id) : CBitmap(id) {}
    void draw(CDrawContext* context, const CRect& dest, const CPoint& offset) override
    {
        if (target)
            target->setValue(storedValue);
        target = nullptr;
        CBitmap::draw(context, dest, offset);
    }
    CControl* target = nullptr;
    float storedValue = 0.f;
};

TEST_F(ControlTest, AValueStoredWhileTheControlDrawsIsDrawnNextTime)
{
    auto* knobStrip = new StoreWhileDrawn(1);
    auto* lamp = new StoreWhileDrawn(4);
    auto* lever = new StoreWhileDrawn(3);
    auto* knob = new CAnimKnob(kKnobRect, nullptr, 0, 63, knobStrip->getHeight() / 63, knobStrip);
    auto* button = new COnOffButton(CRect(143, 162, 155, 189), nullptr, 2, lamp);
    auto* sw = new CVerticalSwitch(kSwitchRect, nullptr, 1, 2, lever->getHeight() / 2, 2, lever);
    const std::pair<CControl*, StoreWhileDrawn*> cases[] = {
        {knob, knobStrip}, {button, lamp}, {sw, lever}};
    for (const auto& [control, bitmap] : cases)
    {
        bitmap->release(); // the control holds it
        control->setValue(0.f);
        COffscreenContext context(frame, 100, 100, kBlackCColor);
        bitmap->target = control;
        bitmap->storedValue = 1.f;
        control->draw(&context);
        EXPECT_TRUE(control->isDirty()) << "drew 0 while 1 was stored: must draw again";
        control->draw(&context);
        EXPECT_FALSE(control->isDirty());
    }
    EXPECT_EQ(knob->getFrameIndex(), 62);
    for (CControl* control :
         {static_cast<CControl*>(knob), static_cast<CControl*>(button), static_cast<CControl*>(sw)})
        control->release();
}

TEST_F(ControlTest, ButtonShowsTheLowerImageWhenOn)
{
    auto* bitmap = new CBitmap(4);
    auto* button = new COnOffButton(CRect(0, 0, 12, 27), nullptr, 2, bitmap);
    frame->addView(button);
    COffscreenContext on(frame, 12, 27, CColor{0, 0, 0, 0});
    COffscreenContext off(frame, 12, 27, CColor{0, 0, 0, 0});
    button->setValue(1.f);
    button->draw(&on);
    button->setValue(0.f);
    button->draw(&off);
    for (int32_t y = 0; y < 27; ++y)
        for (int32_t x = 0; x < 12; ++x)
        {
            ASSERT_EQ(on.raster().pixel(x, y), bitmap->getImage()->pixel(x, 27 + y));
            ASSERT_EQ(off.raster().pixel(x, y), bitmap->getImage()->pixel(x, y));
        }

    // The lamp is lit exactly when the effect counts the switch as on.
    for (const float value : {0.3f, 0.49f, 0.5f, 0.7f})
    {
        COffscreenContext drawn(frame, 12, 27, CColor{0, 0, 0, 0});
        button->setValue(value);
        button->draw(&drawn);
        const COffscreenContext& expected = value >= 0.5f ? on : off;
        for (int32_t y = 0; y < 27; ++y)
            for (int32_t x = 0; x < 12; ++x)
                ASSERT_EQ(drawn.raster().pixel(x, y), expected.raster().pixel(x, y)) << value;
    }
    bitmap->release();
}

TEST_F(ControlTest, SwitchFollowsThePointerByHalvesAndClampsBeyondItsEdges)
{
    auto* bitmap = new CBitmap(3);
    auto* sw =
        new CVerticalSwitch(kSwitchRect, &listener, 1, 2, bitmap->getHeight() / 2, 2, bitmap);
    bitmap->release();
    frame->addView(sw);
    EXPECT_EQ(sw->getDefaultValue(), 0.f);

    drag(CPoint(95, 170), {});
    EXPECT_EQ(sw->getValue(), 0.f);
    drag(CPoint(95, 191), {});
    EXPECT_EQ(sw->getValue(), 0.f); // 29 px down: upper half
    drag(CPoint(95, 192), {});
    EXPECT_EQ(sw->getValue(), 1.f); // 30 px down: lower half
    drag(CPoint(95, 170), {CPoint(95, 400)});
    EXPECT_EQ(sw->getValue(), 1.f); // below the bottom edge
    drag(CPoint(95, 200), {CPoint(95, 20)});
    EXPECT_EQ(sw->getValue(), 0.f); // above the top edge
    EXPECT_EQ(editor.events.size(), 10u);

    // Control+click: the switch's default, 0.
    sw->setValue(1.f);
    editor.events.clear();
    window->push(L | kModControl, CPoint(95, 200));
    frame->platformButtonPress(CPoint(95, 200));
    EXPECT_EQ(sw->getValue(), 0.f);
    EXPECT_EQ(editor.events, (Events{{'B', 1}, {'E', 1}}));
}

TEST_F(ControlTest, SwitchDragEndsWhenAModifierChanges)
{
    auto* bitmap = new CBitmap(3);
    auto* sw = new CVerticalSwitch(kSwitchRect, &listener, 1, 2, 60, 2, bitmap);
    bitmap->release();
    frame->addView(sw);
    window->push(L, CPoint(95, 170));
    window->push(L | kModShift, CPoint(95, 210)); // Shift pressed: the drag ends here
    window->push(L, CPoint(95, 210));
    frame->platformButtonPress(CPoint(95, 170));
    EXPECT_EQ(sw->getValue(), 0.f);
    EXPECT_EQ(window->script.size(), 1u);
}

TEST_F(ControlTest, SwitchShowsItsPositionImage)
{
    auto* bitmap = new CBitmap(3);
    auto* sw = new CVerticalSwitch(CRect(0, 0, 35, 60), nullptr, 1, 2, 60, 2, bitmap);
    frame->addView(sw);
    for (float v : {0.f, 0.49f, 0.5f, 1.f})
    {
        COffscreenContext context(frame, 35, 60, CColor{0, 0, 0, 0});
        sw->setValue(v);
        sw->draw(&context);
        const int32_t image = v >= 0.5f ? 1 : 0;
        for (int32_t y = 0; y < 60; y += 2)
            for (int32_t x = 0; x < 35; x += 2)
                ASSERT_EQ(context.raster().pixel(x, y),
                          bitmap->getImage()->pixel(x, image * 60 + y))
                    << v;
    }
    bitmap->release();
}

TEST_F(ControlTest, KnobReferencesItsBitmapAndDropsIt)
{
    {
        CAnimKnob knob(kKnobRect, nullptr, 0, 63, 56, knobBitmap);
        EXPECT_EQ(knobBitmap->getNbReference(), 2);
        EXPECT_TRUE(knob.isTypeOf("CAnimKnob"));
        EXPECT_TRUE(knob.isTypeOf("CKnob"));
        EXPECT_TRUE(knob.isTypeOf("CControl"));
        EXPECT_TRUE(knob.isTypeOf("CView"));
        EXPECT_TRUE(knob.wantsFocus());
    }
    EXPECT_EQ(knobBitmap->getNbReference(), 1);
}
