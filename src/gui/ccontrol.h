// SPDX-License-Identifier: GPL-3.0-or-later
// ccontrol.h - controls: views that hold a value the user changes with the
// mouse, the wheel or the arrow keys, and report it to one listener.
//
// All three leaf controls draw one rectangle out of a vertically stacked
// bitmap chosen by the value.  Values are floats, normally 0..1.
#pragma once

#include "gui/cview.h"
#include "gui/gui_types.h"

#include <atomic>
#include <cstdint>

class CControl;

namespace vorla {

/// A control's value.  The editor may store it from whatever thread sets a
/// parameter (the audio thread during automation playback) while the user-
/// interface thread draws it: a single relaxed 32-bit atomic, no lock.
class RelaxedFloat
{
public:
    RelaxedFloat(float v = 0.f) : stored(v) {}
    RelaxedFloat(const RelaxedFloat&) = delete;
    RelaxedFloat& operator=(const RelaxedFloat&) = delete;
    operator float() const { return stored.load(std::memory_order_relaxed); }
    RelaxedFloat& operator=(float v)
    {
        stored.store(v, std::memory_order_relaxed);
        return *this;
    }
    RelaxedFloat& operator+=(float d) { return *this = static_cast<float>(*this) + d; }

private:
    std::atomic<float> stored;
};

} // namespace vorla

class CControlListener
{
public:
    virtual ~CControlListener() = default;
    virtual void valueChanged(CDrawContext* context, CControl* control) = 0;
    /// Non-zero: the listener handled the modified click; the control stops.
    virtual int32_t modifierClicked(CDrawContext* context, CControl* control, int32_t buttons) = 0;
};

class CControl : public CView
{
public:
    CControl(const CRect& size, CControlListener* listener, int32_t tag, CBitmap* background);
    ~CControl() override;

    /// Asks the editor for one idle pass (through the frame).
    virtual void runIdle();
    /// Stores the value: no clamping, no dirty mark (the dirty test sees it).
    virtual void setValue(float val) { value = val; }
    virtual float getValue() const { return value; }
    virtual void setMin(float val) { minValue = val; }
    virtual float getMin() const { return minValue; }
    virtual void setMax(float val) { maxValue = val; }
    virtual float getMax() const { return maxValue; }
    virtual void setOldValue(float val) { oldValue = val; }
    virtual float getOldValue() const { return oldValue; }
    virtual void setDefaultValue(float val) { defaultValue = val; }
    virtual float getDefaultValue() const { return defaultValue; }
    virtual void setTag(int32_t val) { tag = val; }
    virtual int32_t getTag() const { return tag; }
    /// Makes this the frame's focus view and starts a gesture on the tag.
    virtual void beginEdit();
    virtual void endEdit();
    virtual void setBackOffset(const CPoint& offset) { backOffset = offset; }
    virtual void copyBackOffset() { backOffset = size.topLeft(); }
    virtual void setWheelInc(float val) { wheelIncrement = val; }
    virtual float getWheelInc() const { return wheelIncrement; }
    virtual void clampValue();
    /// Control+left click (exactly kButtonLeft | kModControl): default value
    /// inside begin/end edit; true when it happened.
    virtual bool resetToDefaultOnClick(CDrawContext* context, int32_t buttons);

    bool isDirty() const override;
    void setDirty(bool state = true) override;
    bool isTypeOf(const char* name) const override;

    CControlListener* getListener() const { return listener; }

protected:
    /// Marks the control clean after drawing `drawnValue`, the one value
    /// the draw read: another thread may store a new value meanwhile, and
    /// that one must still make the control dirty.
    void setDrawn(float drawnValue);

    /// Steps common to every press handler; false when the press ends here.
    /// May replace buttons -1 by the live word.
    bool startMouse(CDrawContext* context, int32_t& buttons);

    CControlListener* listener; // not owned
    int32_t tag;
    float oldValue = 1.f;
    float defaultValue = 0.5f;
    vorla::RelaxedFloat value{0.f};
    float minValue = 0.f;
    float maxValue = 1.f;
    float wheelIncrement = 0.1f;
    CPoint backOffset;
};

class CKnob : public CControl
{
public:
    CKnob(const CRect& size, CControlListener* listener, int32_t tag, CBitmap* background,
          CBitmap* handle, const CPoint& offset = CPoint());
    ~CKnob() override;

    void draw(CDrawContext* context) override;
    void mouse(CDrawContext* context, CPoint& where, int32_t buttons = -1) override;
    int32_t onKeyDown(VstKeyCode& keyCode) override;
    bool onWheel(CDrawContext* context, const CPoint& where, float distance) override;
    using CControl::onWheel;
    bool isTypeOf(const char* name) const override;

    virtual void drawHandle(CDrawContext* context);
    void drawHandle(CDrawContext* context, float forValue);
    virtual void setStartAngle(float val);
    virtual float getStartAngle() const { return startAngle; }
    virtual void setRangeAngle(float val);
    virtual float getRangeAngle() const { return rangeAngle; }
    /// Handle point for the value, relative to the top-left corner.
    virtual void valueToPoint(CPoint& point) const;
    /// The same for a given value (a draw reads the value once).
    void valueToPoint(CPoint& point, float forValue) const;
    /// Value for a point relative to the top-left corner (angle-following).
    virtual float valueFromPoint(CPoint& point) const;
    virtual void setInsetValue(int32_t val) { inset = val; }
    virtual void setColorShadowHandle(const CColor& color);
    virtual void setColorHandle(const CColor& color);
    virtual void setHandleBitmap(CBitmap* bitmap);
    virtual void setFineDragFactor(float val) { fineDragFactor = val; }
    virtual float getFineDragFactor() const { return fineDragFactor; }

protected:
    void compute();

    CPoint offset;
    CColor colorHandle = kWhiteCColor;
    CColor colorShadowHandle = kGreyCColor;
    CBitmap* pHandle = nullptr;
    int32_t inset = 3;
    float startAngle = 0.f;
    float rangeAngle = 0.f;
    float halfAngle = 0.f; // dead-zone half angle
    float aCoef = 0.f;     // angle-to-value scale
    float bCoef = 0.f;     // angle-to-value offset
    float radius = 0.f;
    float fineDragFactor = 1.5f; // Shift makes a drag this much finer
};

class CAnimKnob : public CKnob
{
public:
    CAnimKnob(const CRect& size, CControlListener* listener, int32_t tag, int32_t frameCount,
              int32_t frameHeight, CBitmap* background, const CPoint& offset = CPoint());

    void draw(CDrawContext* context) override;
    bool isDirty() const override;
    bool isTypeOf(const char* name) const override;

    void setInvertFrames(bool state) { invertFrames = state; }
    int32_t getFrameIndex() const; // the frame the current value shows (tests, tools)

protected:
    /// Source offset of the frame that `forValue` shows.
    int32_t frameSourceY(float forValue) const;

    int32_t frameCount;
    int32_t frameHeight;
    bool invertFrames = false;
    CPoint lastDrawnPoint;
};

class COnOffButton : public CControl
{
public:
    enum Style : int32_t
    {
        kPostListenerUpdate = 0, // tell the listener after the immediate redraw
        kPreListenerUpdate = 1,  // tell it before
    };
    COnOffButton(const CRect& size, CControlListener* listener, int32_t tag, CBitmap* background,
                 int32_t style = kPostListenerUpdate);

    void draw(CDrawContext* context) override;
    void mouse(CDrawContext* context, CPoint& where, int32_t buttons = -1) override;
    bool isTypeOf(const char* name) const override;

    int32_t getStyle() const { return style; }
    void setStyle(int32_t val) { style = val; }

    /// A switch value is on at 0.5 or more (NaN is off), as the effect
    /// reads its switch parameters.
    static bool isOn(float v) { return v >= 0.5f; }

private:
    int32_t style;
};

class CVerticalSwitch : public CControl
{
public:
    CVerticalSwitch(const CRect& size, CControlListener* listener, int32_t tag, int32_t frameCount,
                    int32_t frameHeight, int32_t positionCount, CBitmap* background,
                    const CPoint& offset = CPoint());

    void draw(CDrawContext* context) override;
    void mouse(CDrawContext* context, CPoint& where, int32_t buttons = -1) override;
    bool isTypeOf(const char* name) const override;

protected:
    CPoint offset;
    int32_t frameCount;
    int32_t frameHeight;
    int32_t positionCount;
};
