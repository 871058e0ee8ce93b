// SPDX-License-Identifier: GPL-3.0-or-later
// Views, containers, drawing contexts and the raster they draw into.
#include "gui/cbitmap.h"
#include "gui/ccontrol.h"
#include "gui/cdrawcontext.h"
#include "gui/cframe.h"
#include "gui/raster.h"

#include <gtest/gtest.h>

#include <string>

namespace {

/// A view that fills its rectangle with one colour and records presses.
class ProbeView : public CView
{
public:
    ProbeView(const CRect& r, CColor c, bool* destroyedFlag = nullptr)
        : CView(r), colour(c), destroyed(destroyedFlag)
    {
    }
    ~ProbeView() override
    {
        if (destroyed)
            *destroyed = true;
    }
    void draw(CDrawContext* context) override
    {
        context->setFillColor(colour);
        context->fillRect(CRect(size.left - 1, size.top - 1, size.right, size.bottom));
        ++draws;
        setDirty(false);
    }
    void mouse(CDrawContext* /*context*/, CPoint& where, int32_t buttons) override
    {
        ++presses;
        lastWhere = where;
        lastButtons = buttons;
    }
    CColor colour;
    bool* destroyed;
    int draws = 0;
    int presses = 0;
    CPoint lastWhere;
    int32_t lastButtons = 0;
};

constexpr CColor kRed{255, 0, 0, 255};
constexpr CColor kBlue{0, 0, 255, 255};

uint32_t argb(const CColor& c)
{
    return (uint32_t(c.alpha) << 24) | (uint32_t(c.red) << 16) | (uint32_t(c.green) << 8) | c.blue;
}

} // namespace

TEST(View, HitTestIncludesRightAndBottomEdges)
{
    CView view(CRect(10, 20, 30, 40));
    EXPECT_TRUE(view.hitTest(CPoint(10, 20)));
    EXPECT_TRUE(view.hitTest(CPoint(30, 40)));
    EXPECT_TRUE(view.hitTest(CPoint(30, 25)));
    EXPECT_FALSE(view.hitTest(CPoint(31, 40)));
    EXPECT_FALSE(view.hitTest(CPoint(30, 41)));
    EXPECT_FALSE(view.hitTest(CPoint(9, 20)));
}

TEST(View, SetViewSizeLeavesTheMouseAreaAndMarksDirty)
{
    CView view(CRect(0, 0, 10, 10));
    view.setDirty(false);
    view.setViewSize(CRect(100, 100, 120, 120));
    CRect area;
    view.getMouseArea(area);
    EXPECT_EQ(area, CRect(0, 0, 10, 10));
    EXPECT_TRUE(view.isDirty());
    EXPECT_TRUE(view.hitTest(CPoint(5, 5)));
    EXPECT_FALSE(view.hitTest(CPoint(110, 110)));
}

TEST(View, OverlapCountsTouchingEdges)
{
    CView view(CRect(10, 10, 20, 20));
    EXPECT_TRUE(view.checkOverlap(CRect(20, 20, 30, 30)));
    EXPECT_TRUE(view.checkOverlap(CRect(0, 0, 10, 10)));
    EXPECT_FALSE(view.checkOverlap(CRect(21, 0, 30, 30)));
}

TEST(Container, PressGoesToTheLastAddedOverlappingChild)
{
    CFrame frame(CRect(0, 0, 100, 100), nullptr, nullptr);
    auto* lower = new ProbeView(CRect(10, 10, 50, 50), kRed);
    auto* upper = new ProbeView(CRect(40, 40, 80, 80), kBlue);
    frame.addView(lower);
    frame.addView(upper);

    CPoint where(45, 45);
    frame.mouse(nullptr, where, kButtonLeft);
    EXPECT_EQ(upper->presses, 1);
    EXPECT_EQ(lower->presses, 0);

    // A disabled child is skipped and the next one down gets the press.
    upper->setMouseEnabled(false);
    frame.mouse(nullptr, where, kButtonLeft);
    EXPECT_EQ(upper->presses, 1);
    EXPECT_EQ(lower->presses, 1);
    EXPECT_EQ(lower->lastWhere, CPoint(45, 45));
    EXPECT_EQ(lower->lastButtons, kButtonLeft);
}

TEST(Container, LaterChildrenAreDrawnOnTop)
{
    CFrame frame(CRect(0, 0, 100, 100), nullptr, nullptr);
    frame.addView(new ProbeView(CRect(10, 10, 50, 50), kRed));
    frame.addView(new ProbeView(CRect(40, 40, 80, 80), kBlue));
    frame.draw(nullptr);
    const vorla::Raster& image = frame.getBackBuffer()->raster();
    EXPECT_EQ(image.pixel(45, 45), argb(kBlue));
    EXPECT_EQ(image.pixel(20, 20), argb(kRed));
    EXPECT_EQ(image.pixel(79, 79), argb(kBlue));
    EXPECT_EQ(image.pixel(80, 80), argb(kBlackCColor)); // right/bottom exclusive when drawing
    EXPECT_FALSE(frame.isFirstDraw());
}

TEST(Container, NestedContainerConvertsPointsAndDraws)
{
    CFrame frame(CRect(0, 0, 100, 100), nullptr, nullptr);
    auto* inner = new CViewContainer(CRect(20, 30, 70, 80), &frame);
    auto* probe = new ProbeView(CRect(5, 5, 15, 15), kRed);
    inner->addView(probe);
    frame.addView(inner);
    CPoint where(30, 40);
    frame.mouse(nullptr, where, kButtonLeft);
    ASSERT_EQ(probe->presses, 1);
    EXPECT_EQ(probe->lastWhere, CPoint(10, 10));
    EXPECT_EQ(frame.getViewAt(CPoint(30, 40), false), inner);
    EXPECT_EQ(frame.getViewAt(CPoint(30, 40), true), probe);
    CPoint local(30, 40);
    probe->frameToLocal(local);
    EXPECT_EQ(local, CPoint(10, 10));

    frame.draw(nullptr);
    const vorla::Raster& image = frame.getBackBuffer()->raster();
    EXPECT_EQ(image.pixel(30, 40), argb(kRed));
    EXPECT_EQ(image.pixel(21, 31), argb(kBlackCColor));
}

TEST(Container, EmptyOpaqueContainerFillsItsAreaBlack)
{
    CViewContainer container(CRect(0, 0, 20, 10), nullptr);
    COffscreenContext context(static_cast<CFrame*>(nullptr), 20, 10, kWhiteCColor);
    container.draw(&context);
    for (int32_t y = 0; y < 10; ++y)
        for (int32_t x = 0; x < 20; ++x)
            ASSERT_EQ(context.raster().pixel(x, y), argb(kBlackCColor)) << x << "," << y;
    EXPECT_FALSE(container.isDirty());
}

TEST(Container, RemoveAllWithReleaseDestroysChildrenHeldByCreatorAndContainer)
{
    bool destroyed = false;
    CViewContainer container(CRect(0, 0, 10, 10), nullptr);
    auto* view = new ProbeView(CRect(0, 0, 5, 5), kRed, &destroyed);
    EXPECT_EQ(view->getNbReference(), 1);
    container.addView(view);
    EXPECT_EQ(view->getNbReference(), 2);
    EXPECT_EQ(view->getParentView(), &container);
    container.removeAll(true);
    EXPECT_TRUE(destroyed);
    EXPECT_EQ(container.getNbViews(), 0);
}

TEST(Container, RemoveWithoutReleaseLeavesTheCreatorsReference)
{
    bool destroyed = false;
    auto* view = new ProbeView(CRect(0, 0, 5, 5), kRed, &destroyed);
    {
        CViewContainer container(CRect(0, 0, 10, 10), nullptr);
        container.addView(view);
        container.removeView(view, false);
        EXPECT_FALSE(container.isChild(view));
        EXPECT_EQ(view->getNbReference(), 1);
    }
    EXPECT_FALSE(destroyed);
    view->release();
    EXPECT_TRUE(destroyed);
}

TEST(Container, DestroyingTheContainerDestroysItsChildren)
{
    bool a = false;
    bool b = false;
    {
        CFrame frame(CRect(0, 0, 10, 10), nullptr, nullptr);
        frame.addView(new ProbeView(CRect(0, 0, 5, 5), kRed, &a));
        frame.addView(new ProbeView(CRect(0, 0, 5, 5), kRed, &b));
        EXPECT_EQ(frame.getNbViews(), 2);
    }
    EXPECT_TRUE(a);
    EXPECT_TRUE(b);
}

TEST(Container, AnswersTheContainerCheckOnlyForTheSharedConstant)
{
    CViewContainer container(CRect(0, 0, 10, 10), nullptr);
    EXPECT_EQ(container.notify(nullptr, kMsgCheckIfViewContainer), 1);
    const std::string copy = kMsgCheckIfViewContainer; // same text, other address
    EXPECT_EQ(container.notify(nullptr, copy.c_str()), 0);
    CView view(CRect(0, 0, 1, 1));
    EXPECT_EQ(view.notify(nullptr, kMsgCheckIfViewContainer), 0);
    EXPECT_TRUE(container.isTypeOf("CView"));
    EXPECT_TRUE(container.isTypeOf("CViewContainer"));
    EXPECT_FALSE(view.isTypeOf("CViewContainer"));
}

TEST(Container, DirtyOnlyForChildrenInsideItsArea)
{
    CViewContainer container(CRect(0, 0, 50, 50), nullptr);
    auto* inside = new ProbeView(CRect(10, 10, 20, 20), kRed);
    auto* outside = new ProbeView(CRect(60, 60, 70, 70), kRed);
    container.addView(inside);
    container.addView(outside);
    container.setDirty(false);
    inside->setDirty(false);
    EXPECT_TRUE(outside->isDirty());
    EXPECT_FALSE(container.isDirty()); // the dirty child lies outside
    inside->setDirty(true);
    EXPECT_TRUE(container.isDirty());
}

TEST(Container, PartlyRedrawnDirtyChildStaysDirty)
{
    CFrame frame(CRect(0, 0, 100, 100), nullptr, nullptr);
    auto* a = new ProbeView(CRect(10, 10, 50, 50), kRed);
    auto* b = new ProbeView(CRect(40, 10, 80, 50), kBlue);
    frame.addView(a);
    frame.addView(b);
    frame.draw(nullptr);
    ASSERT_FALSE(a->isDirty());
    ASSERT_FALSE(b->isDirty());

    // Redraw a's rectangle: b overlaps it and is drawn clipped.  Clean before,
    // b stays clean; dirty before, it is marked dirty again for the rest.
    frame.drawRect(frame.getBackBuffer(), CRect(10, 10, 50, 50));
    EXPECT_FALSE(b->isDirty());
    b->setDirty(true);
    frame.drawRect(frame.getBackBuffer(), CRect(10, 10, 50, 50));
    EXPECT_TRUE(b->isDirty());
    EXPECT_FALSE(a->isDirty());
    // A redraw of its whole rectangle cleans it.
    frame.drawRect(frame.getBackBuffer(), CRect(40, 10, 80, 50));
    EXPECT_FALSE(b->isDirty());
}

TEST(Container, BackgroundBitmapIsRetainedAndReleased)
{
    auto* bitmap = new CBitmap(128);
    {
        CFrame frame(CRect(0, 0, 660, 250), nullptr, nullptr);
        frame.setBackground(bitmap);
        EXPECT_EQ(bitmap->getNbReference(), 2);
        frame.setBackground(bitmap); // same bitmap again: still one reference from the frame
        EXPECT_EQ(bitmap->getNbReference(), 2);
    }
    EXPECT_EQ(bitmap->getNbReference(), 1);
    bitmap->release();
}

TEST(Control, DirtyStateComparesTheValueWithTheDrawnOne)
{
    COnOffButton button(CRect(0, 0, 10, 10), nullptr, 3, nullptr);
    EXPECT_TRUE(button.isDirty()); // constructed dirty
    button.setValue(0.25f);
    button.setDirty(false);
    EXPECT_FALSE(button.isDirty());
    EXPECT_EQ(button.getOldValue(), 0.25f);
    button.setValue(0.25f);
    EXPECT_FALSE(button.isDirty());
    button.setValue(0.5f); // no clamping, no flag: the comparison sees it
    EXPECT_TRUE(button.isDirty());
    button.setValue(-1.f);
    button.setDirty(true);
    EXPECT_EQ(button.getOldValue(), 0.f); // must differ from the value
    EXPECT_TRUE(button.isTypeOf("COnOffButton"));
    EXPECT_TRUE(button.isTypeOf("CControl"));
    EXPECT_FALSE(button.isTypeOf("CKnob"));
}

// ---------------------------------------------------------------------------
// Drawing context and raster

TEST(DrawContext, FillRectStartsOnePixelInsideTheTopLeftCorner)
{
    COffscreenContext context(static_cast<CFrame*>(nullptr), 6, 6, kWhiteCColor);
    context.setFillColor(kBlackCColor);
    context.fillRect(CRect(0, 0, 4, 4));
    const vorla::Raster& r = context.raster();
    EXPECT_EQ(r.pixel(0, 0), argb(kWhiteCColor));
    EXPECT_EQ(r.pixel(1, 0), argb(kWhiteCColor));
    EXPECT_EQ(r.pixel(1, 1), argb(kBlackCColor));
    EXPECT_EQ(r.pixel(3, 3), argb(kBlackCColor));
    EXPECT_EQ(r.pixel(4, 4), argb(kWhiteCColor));
}

TEST(DrawContext, FrameRectDrawsTheFourEdgesInsideTheRectangle)
{
    COffscreenContext context(static_cast<CFrame*>(nullptr), 6, 6, kWhiteCColor);
    context.setFrameColor(kBlackCColor);
    context.drawRect(CRect(1, 1, 5, 5));
    const vorla::Raster& r = context.raster();
    for (int32_t i = 1; i <= 4; ++i)
    {
        EXPECT_EQ(r.pixel(i, 1), argb(kBlackCColor));
        EXPECT_EQ(r.pixel(i, 4), argb(kBlackCColor));
        EXPECT_EQ(r.pixel(1, i), argb(kBlackCColor));
        EXPECT_EQ(r.pixel(4, i), argb(kBlackCColor));
    }
    EXPECT_EQ(r.pixel(2, 2), argb(kWhiteCColor));
    EXPECT_EQ(r.pixel(5, 5), argb(kWhiteCColor));
}

TEST(DrawContext, ClipAndOffsetApplyToDrawing)
{
    COffscreenContext context(static_cast<CFrame*>(nullptr), 10, 10, kWhiteCColor);
    context.offset = CPoint(2, 3);
    context.setClipRect(CRect(0, 0, 3, 3)); // device (2, 3) .. (5, 6)
    CRect clip;
    context.getClipRect(clip);
    EXPECT_EQ(clip, CRect(0, 0, 3, 3));
    context.setFillColor(kBlackCColor);
    context.fillRect(CRect(-5, -5, 20, 20));
    const vorla::Raster& r = context.raster();
    EXPECT_EQ(r.pixel(2, 3), argb(kBlackCColor));
    EXPECT_EQ(r.pixel(4, 5), argb(kBlackCColor));
    EXPECT_EQ(r.pixel(5, 5), argb(kWhiteCColor));
    EXPECT_EQ(r.pixel(1, 3), argb(kWhiteCColor));
}

TEST(Raster, BlendOfPremultipliedPixelsRoundsToNearest)
{
    vorla::Raster dst(1, 1);
    vorla::Raster src(1, 1);
    const CRect all(0, 0, 1, 1);
    // Half-transparent red (premultiplied 128, 0, 0, 128) over opaque white.
    dst.setPixel(0, 0, 0xFFFFFFFFu);
    src.setPixel(0, 0, 0x80800000u);
    dst.blend(src, all, CPoint(), all, 255);
    // red: 128 + 255 * 127 / 255 = 255; green, blue: 0 + 127; alpha 128 + 127.
    EXPECT_EQ(dst.pixel(0, 0), 0xFFFF7F7Fu);

    // Constant alpha 128 on an opaque source: a = 128, s = 200 * 128 / 255 = 100.39 -> 100.
    dst.setPixel(0, 0, 0xFF000000u);
    src.setPixel(0, 0, 0xFFC8C8C8u);
    dst.blend(src, all, CPoint(), all, 128);
    EXPECT_EQ(dst.pixel(0, 0), 0xFF646464u);

    // A transparent pixel leaves the destination alone.
    dst.setPixel(0, 0, 0xFF123456u);
    src.setPixel(0, 0, 0u);
    dst.blend(src, all, CPoint(), all, 255);
    EXPECT_EQ(dst.pixel(0, 0), 0xFF123456u);

    // Without source alpha the source counts as opaque.
    src.setPixel(0, 0, 0x00102030u);
    dst.blend(src, all, CPoint(), all, 255, false);
    EXPECT_EQ(dst.pixel(0, 0), 0xFF102030u);
}

TEST(Raster, KeyedCopySkipsTheKeyColour)
{
    vorla::Raster src(2, 1);
    vorla::Raster dst(2, 1);
    src.setPixel(0, 0, 0xFFFFFFFFu); // white: the key
    src.setPixel(1, 0, 0xFF102030u);
    dst.setPixel(0, 0, 0xFF0000FFu);
    dst.setPixel(1, 0, 0xFF0000FFu);
    dst.copyKeyed(src, CRect(0, 0, 2, 1), CPoint(), dst.bounds(), CColor{255, 255, 255, 0});
    EXPECT_EQ(dst.pixel(0, 0), 0xFF0000FFu);
    EXPECT_EQ(dst.pixel(1, 0), 0xFF102030u);
}

TEST(Raster, CopiesClipToSourceAndDestination)
{
    vorla::Raster src(4, 4);
    src.fill(src.bounds(), kRed, src.bounds());
    vorla::Raster dst(4, 4);
    dst.copyFrom(src, CRect(2, 2, 10, 10), CPoint(1, 1), dst.bounds());
    EXPECT_EQ(dst.pixel(2, 2), argb(kRed));
    EXPECT_EQ(dst.pixel(3, 3), argb(kRed));
    EXPECT_EQ(dst.pixel(1, 1), 0u);
    // Entirely outside: nothing happens, nothing crashes.
    dst.copyFrom(src, CRect(-100, -100, -90, -90), CPoint(0, 0), dst.bounds());
    dst.blend(src, CRect(0, 0, 4, 4), CPoint(10, 10), dst.bounds(), 255);
    EXPECT_EQ(dst.pixel(0, 0), 0u);
}

TEST(Container, UpdateRedrawsOnlyDirtyChildrenInModeOne)
{
    CFrame frame(CRect(0, 0, 100, 100), nullptr, nullptr);
    auto* inner = new CViewContainer(CRect(10, 10, 90, 90), &frame);
    auto* a = new ProbeView(CRect(0, 0, 20, 20), kRed);
    auto* b = new ProbeView(CRect(40, 40, 60, 60), kBlue);
    inner->addView(a);
    inner->addView(b);
    frame.addView(inner);
    frame.draw(nullptr);
    ASSERT_EQ(a->draws, 1);
    ASSERT_EQ(b->draws, 1);
    COffscreenContext* backBuffer = frame.getBackBuffer();

    a->colour = kBlue;
    a->setDirty(true);
    EXPECT_TRUE(frame.isDirty());
    frame.update(backBuffer);
    EXPECT_EQ(a->draws, 2);
    EXPECT_EQ(b->draws, 1);
    EXPECT_FALSE(frame.isDirty());
    EXPECT_EQ(backBuffer->raster().pixel(15, 15), argb(kBlue)); // drawn at its place in the frame

    inner->setMode(0); // any change redraws the whole container
    a->setDirty(true);
    frame.update(backBuffer);
    EXPECT_EQ(a->draws, 3);
    EXPECT_EQ(b->draws, 2);
}
