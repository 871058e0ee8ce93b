// SPDX-License-Identifier: GPL-3.0-or-later
// ccontrol.cpp - controls: the value, its dirty test, and the three leaf
// controls the editor uses.
#include "gui/ccontrol.h"

#include "gui/cbitmap.h"
#include "gui/cdrawcontext.h"
#include "gui/cframe.h"

#include <cmath>
#include <cstring>

namespace {
constexpr float kTwoPiF = 6.2831855f;
constexpr float kKnobStartAngle = 3.9269907f; // 5 pi / 4: value 0 at lower left
constexpr float kKnobRangeAngle = -4.712389f; // -3 pi / 2: clockwise over the top
constexpr float kKnobDragPixels = 200.f;      // pixels of travel for the whole range
} // namespace

// ---------------------------------------------------------------------------
// CControl

CControl::CControl(const CRect& rect, CControlListener* listener_, int32_t tag_,
                   CBitmap* background)
    : CView(rect), listener(listener_), tag(tag_)
{
    if (background)
    {
        background->retain();
        pBackground = background;
    }
    setDirty(true);
}

CControl::~CControl() = default;

void CControl::runIdle()
{
    if (pParentFrame)
        pParentFrame->runIdle();
}

void CControl::beginEdit()
{
    if (!pParentFrame)
        return;
    pParentFrame->setFocusView(this);
    pParentFrame->beginEdit(tag);
}

void CControl::endEdit()
{
    if (pParentFrame)
        pParentFrame->endEdit(tag);
}

void CControl::clampValue()
{
    if (value > maxValue)
        value = maxValue;
    else if (value < minValue)
        value = minValue;
}

bool CControl::resetToDefaultOnClick(CDrawContext* context, int32_t buttons)
{
    if (buttons != (kButtonLeft | kModControl))
        return false;
    beginEdit();
    value = getDefaultValue();
    if (isDirty() && listener)
        listener->valueChanged(context, this);
    endEdit();
    return true;
}

bool CControl::isDirty() const
{
    return value != oldValue || CView::isDirty();
}

void CControl::setDrawn(float drawnValue)
{
    CView::setDirty(false);
    oldValue = drawnValue;
}

void CControl::setDirty(bool state)
{
    CView::setDirty(state);
    if (state)
        oldValue = value != -1.f ? -1.f : 0.f; // anything but the value
    else
        oldValue = value;
}

bool CControl::isTypeOf(const char* name) const
{
    return std::strcmp(name, "CControl") == 0 || CView::isTypeOf(name);
}

bool CControl::startMouse(CDrawContext* context, int32_t& buttons)
{
    if (!bMouseEnabled)
        return false;
    if (buttons == -1)
        buttons = CDrawContext::getMouseButtons();
    if (!(buttons & kButtonLeft))
        return false;
    if (listener && (buttons & kModifierMask) &&
        listener->modifierClicked(context, this, buttons) != 0)
        return false;
    return true;
}

// ---------------------------------------------------------------------------
// CKnob

CKnob::CKnob(const CRect& rect, CControlListener* listener_, int32_t tag_, CBitmap* background,
             CBitmap* handle, const CPoint& offset_)
    : CControl(rect, listener_, tag_, background), offset(offset_)
{
    if (handle)
        setHandleBitmap(handle);
    radius = static_cast<float>(size.width()) / 2.f;
    startAngle = kKnobStartAngle;
    rangeAngle = kKnobRangeAngle;
    compute();
    bWantsFocus = true;
}

CKnob::~CKnob()
{
    if (pHandle)
        pHandle->release();
}

bool CKnob::isTypeOf(const char* name) const
{
    return std::strcmp(name, "CKnob") == 0 || CControl::isTypeOf(name);
}

void CKnob::compute()
{
    aCoef = (maxValue - minValue) / rangeAngle;
    bCoef = minValue - aCoef * startAngle;
    halfAngle = (kTwoPiF - std::fabs(rangeAngle)) * 0.5f;
    setDirty(true);
}

void CKnob::setStartAngle(float val)
{
    startAngle = val;
    compute();
}

void CKnob::setRangeAngle(float val)
{
    rangeAngle = val;
    compute();
}

void CKnob::setColorShadowHandle(const CColor& color)
{
    colorShadowHandle = color;
    setDirty(true);
}

void CKnob::setColorHandle(const CColor& color)
{
    colorHandle = color;
    setDirty(true);
}

void CKnob::setHandleBitmap(CBitmap* bitmap)
{
    if (bitmap)
        bitmap->retain();
    if (pHandle)
        pHandle->release();
    pHandle = bitmap;
    if (pHandle)
        inset = static_cast<int32_t>(static_cast<float>(pHandle->getWidth()) * 0.5f + 2.5f);
    setDirty(true);
}

void CKnob::valueToPoint(CPoint& point) const
{
    valueToPoint(point, value);
}

void CKnob::valueToPoint(CPoint& point, float forValue) const
{
    const float alpha = (forValue - bCoef) / aCoef;
    point.h = static_cast<int32_t>(radius + std::cos(alpha) * (radius - static_cast<float>(inset)) +
                                   0.5f);
    point.v = static_cast<int32_t>(radius - std::sin(alpha) * (radius - static_cast<float>(inset)) +
                                   0.5f);
}

float CKnob::valueFromPoint(CPoint& point) const
{
    // Angle of the point around the centre, counter-clockwise from the right.
    float alpha =
        std::atan2(radius - static_cast<float>(point.v), static_cast<float>(point.h) - radius);
    const float low = std::min(startAngle, startAngle + rangeAngle);
    const float high = std::max(startAngle, startAngle + rangeAngle);
    while (alpha < low)
        alpha += kTwoPiF;
    while (alpha > low + kTwoPiF)
        alpha -= kTwoPiF;
    if (alpha > high)
    {
        // In the dead zone between the ends: snap to the nearer end.
        alpha = (alpha - high < halfAngle) ? high : low;
    }
    float result = alpha * aCoef + bCoef;
    if (result > maxValue)
        result = maxValue;
    else if (result < minValue)
        result = minValue;
    return result;
}

void CKnob::draw(CDrawContext* context)
{
    const float drawn = value; // read once: another thread may store a new value
    if (pBackground)
    {
        if (bTransparencyEnabled)
            pBackground->drawTransparent(context, size, offset);
        else
            pBackground->draw(context, size, offset);
    }
    drawHandle(context, drawn);
    setDrawn(drawn);
}

void CKnob::drawHandle(CDrawContext* context)
{
    drawHandle(context, value);
}

void CKnob::drawHandle(CDrawContext* context, float forValue)
{
    CPoint where;
    valueToPoint(where, forValue);
    where.offset(size.left, size.top);
    const CPoint origin(size.left + size.width() / 2, size.top + size.height() / 2);
    if (pHandle)
    {
        const int32_t w = pHandle->getWidth();
        const int32_t h = pHandle->getHeight();
        const CRect r(where.h - w / 2, where.v - h / 2, where.h - w / 2 + w, where.v - h / 2 + h);
        pHandle->drawTransparent(context, r);
        return;
    }
    // Shadow one pixel left of and one pixel below the handle line.
    context->setFrameColor(colorShadowHandle);
    context->moveTo(CPoint(origin.h - 1, origin.v + 1));
    context->lineTo(CPoint(where.h - 1, where.v + 1));
    context->setFrameColor(colorHandle);
    context->moveTo(origin);
    context->lineTo(where);
}

void CKnob::mouse(CDrawContext* context, CPoint& where, int32_t buttons)
{
    if (!startMouse(context, buttons))
        return;
    if (resetToDefaultOnClick(context, buttons))
        return;

    // Linear drag: right or up increases the value.  Shift makes it finer;
    // pressing or releasing Shift mid-drag re-bases the start so that the
    // value stays continuous.  The start is never re-based on clamping, so
    // travel past an end must be taken back before the value moves again.
    float startValue = value;
    float range = kKnobDragPixels;
    if (buttons & kModShift)
        range *= fineDragFactor;
    float step = (maxValue - minValue) / range;
    const CPoint first = where;
    CPoint last(-1, -1);
    int32_t oldButtons = buttons;

    beginEdit();
    int32_t now = 0;
    do
    {
        now = CDrawContext::getMouseButtons();
        if (where != last)
        {
            last = where;
            const float delta = static_cast<float>((where.h - first.h) - (where.v - first.v));
            if (now != oldButtons)
            {
                range = kKnobDragPixels;
                if (now & kModShift)
                    range *= fineDragFactor;
                const float newStep = (maxValue - minValue) / range;
                startValue += (step - newStep) * delta;
                step = newStep;
                oldButtons = now;
            }
            value = startValue + delta * step;
            clampValue();
            if (isDirty() && listener)
                listener->valueChanged(context, this);
        }
        getMouseLocation(context, where);
        runIdle();
    } while (now & kButtonLeft);
    endEdit();
}

bool CKnob::onWheel(CDrawContext* context, const CPoint& /*where*/, float distance)
{
    if (!bMouseEnabled)
        return false;
    if (CDrawContext::getMouseButtons() & kModShift)
        value += wheelIncrement * distance * 0.1f;
    else
        value += wheelIncrement * distance;
    clampValue();
    if (isDirty() && listener)
    {
        beginEdit();
        listener->valueChanged(context, this);
        endEdit();
    }
    return true;
}

int32_t CKnob::onKeyDown(VstKeyCode& keyCode)
{
    // A knob that takes no mouse input takes no arrow keys either.
    if (!bMouseEnabled)
        return -1;
    float direction = 0.f;
    switch (keyCode.virt)
    {
    case VKEY_LEFT:
    case VKEY_DOWN: direction = -1.f; break;
    case VKEY_UP:
    case VKEY_RIGHT: direction = 1.f; break;
    default: return -1;
    }
    if (keyCode.modifier & MODIFIER_SHIFT)
        value += wheelIncrement * direction * 0.1f;
    else
        value += wheelIncrement * direction;
    clampValue();
    if (isDirty() && listener)
    {
        beginEdit();
        listener->valueChanged(nullptr, this);
        endEdit();
    }
    return 1;
}

// ---------------------------------------------------------------------------
// CAnimKnob

CAnimKnob::CAnimKnob(const CRect& rect, CControlListener* listener_, int32_t tag_,
                     int32_t frameCount_, int32_t frameHeight_, CBitmap* background,
                     const CPoint& offset_)
    : CKnob(rect, listener_, tag_, background, nullptr, offset_), frameCount(frameCount_),
      frameHeight(frameHeight_)
{
    inset = 0;
}

bool CAnimKnob::isTypeOf(const char* name) const
{
    return std::strcmp(name, "CAnimKnob") == 0 || CKnob::isTypeOf(name);
}

int32_t CAnimKnob::frameSourceY(float v) const
{
    if (!(v >= 0.f) || frameHeight <= 0 || frameCount <= 0) // NaN counts as below 0
        return 0;
    const int32_t span = frameHeight * (frameCount - 1);
    const float position = (invertFrames ? (1.f - v) : v) * static_cast<float>(span);
    // A value beyond the range shows the last frame (and never converts an
    // out-of-range float to an integer).
    int32_t y = 0;
    if (position >= static_cast<float>(span))
        y = span;
    else if (position > 0.f)
        y = static_cast<int32_t>(position);
    for (int32_t k = 0; k <= span; k += frameHeight)
    {
        if (y < k)
        {
            y = k - frameHeight;
            if (y < 0)
                y = 0;
            break;
        }
    }
    return y;
}

int32_t CAnimKnob::getFrameIndex() const
{
    return frameHeight > 0 ? frameSourceY(value) / frameHeight : 0;
}

void CAnimKnob::draw(CDrawContext* context)
{
    // The value is read once; the frame, the recorded handle point and the
    // clean mark all come from that copy, so a value stored by another
    // thread meanwhile leaves the knob dirty instead of showing the old frame.
    const float drawn = value;
    const CPoint where(0, frameSourceY(drawn));
    if (pBackground)
    {
        if (bTransparencyEnabled)
            pBackground->drawTransparent(context, size, where);
        else
            pBackground->draw(context, size, where);
    }
    valueToPoint(lastDrawnPoint, drawn);
    setDrawn(drawn);
}

bool CAnimKnob::isDirty() const
{
    // Changes too small to move the handle point by a pixel are not drawn,
    // and (through the drag loop's test) not reported.
    if (!bDirty)
    {
        CPoint p;
        valueToPoint(p);
        if (p == lastDrawnPoint)
            return false;
    }
    return CControl::isDirty();
}

// ---------------------------------------------------------------------------
// COnOffButton

COnOffButton::COnOffButton(const CRect& rect, CControlListener* listener_, int32_t tag_,
                           CBitmap* background, int32_t style_)
    : CControl(rect, listener_, tag_, background), style(style_)
{
}

bool COnOffButton::isTypeOf(const char* name) const
{
    return std::strcmp(name, "COnOffButton") == 0 || CControl::isTypeOf(name);
}

void COnOffButton::draw(CDrawContext* context)
{
    // Off image above, on image below.  The lamp is lit exactly when the
    // effect treats the switch as on (0.5 or more), from one read of the value.
    const float drawn = value;
    CPoint where(0, 0);
    if (isOn(drawn) && pBackground)
        where.v = pBackground->getHeight() / 2;
    if (pBackground)
    {
        if (bTransparencyEnabled)
            pBackground->drawTransparent(context, size, where);
        else
            pBackground->draw(context, size, where);
    }
    setDrawn(drawn);
}

void COnOffButton::mouse(CDrawContext* context, CPoint& /*where*/, int32_t buttons)
{
    if (!startMouse(context, buttons))
        return;
    // A lit lamp goes out, an unlit one lights.
    value = isOn(value) ? 0.f : 1.f;
    if (listener && style == kPreListenerUpdate)
    {
        beginEdit();
        listener->valueChanged(context, this);
        endEdit();
    }
    runIdle();
    if (listener && style == kPostListenerUpdate)
    {
        beginEdit();
        listener->valueChanged(context, this);
        endEdit();
    }
}

// ---------------------------------------------------------------------------
// CVerticalSwitch

CVerticalSwitch::CVerticalSwitch(const CRect& rect, CControlListener* listener_, int32_t tag_,
                                 int32_t frameCount_, int32_t frameHeight_, int32_t positionCount_,
                                 CBitmap* background, const CPoint& offset_)
    : CControl(rect, listener_, tag_, background), offset(offset_), frameCount(frameCount_),
      frameHeight(frameHeight_), positionCount(positionCount_)
{
    defaultValue = 0.f;
}

bool CVerticalSwitch::isTypeOf(const char* name) const
{
    return std::strcmp(name, "CVerticalSwitch") == 0 || CControl::isTypeOf(name);
}

void CVerticalSwitch::draw(CDrawContext* context)
{
    const float v = value; // read once: another thread may store a new value
    if (pBackground)
    {
        // Position index from the value; a value outside 0..1 (or NaN) shows
        // the nearest existing image.
        const float position = static_cast<float>(positionCount - 1) * v + 0.5f;
        int32_t index = 0;
        if (position >= static_cast<float>(frameCount - 1))
            index = frameCount - 1;
        else if (position >= 1.f)
            index = static_cast<int32_t>(position);
        if (index < 0)
            index = 0;
        const CPoint where(0, index * frameHeight);
        if (bTransparencyEnabled)
            pBackground->drawTransparent(context, size, where);
        else
            pBackground->draw(context, size, where);
    }
    setDrawn(v);
}

void CVerticalSwitch::mouse(CDrawContext* context, CPoint& where, int32_t buttons)
{
    if (!startMouse(context, buttons))
        return;
    if (resetToDefaultOnClick(context, buttons))
        return;
    if (positionCount < 2)
        return;

    const double coef = static_cast<double>(frameHeight) / positionCount;
    beginEdit();
    do
    {
        double position = std::trunc((where.v - size.top) / coef) / (positionCount - 1);
        if (position > 1.0)
            position = 1.0;
        else if (position < 0.0)
            position = 0.0;
        value = static_cast<float>(position);
        if (isDirty() && listener)
            listener->valueChanged(context, this);
        getMouseLocation(context, where);
        runIdle();
    } while (CDrawContext::getMouseButtons() == buttons);
    endEdit();
}
