// SPDX-License-Identifier: GPL-3.0-or-later
// cview.h - the toolkit's base: the reference-counted object, the view and
// the container of views.
//
// Ownership: every object starts with one reference, held by its creator.
// A container takes one more for each child it holds and drops it when the
// child is removed; removing "with release" drops the creator's as well, so a
// view created, added and forgotten dies with its container.
//
// Coordinates: a view's size rectangle is in its parent's coordinates; a
// container converts points into its own coordinates (minus its top-left)
// before handing them to its children.
#pragma once

#include "common/vst_key_code.h"
#include "gui/gui_types.h"

#include <cstdint>

class CBitmap;
class CDrawContext;
class COffscreenContext;
class CFrame;
class VSTGUIEditorInterface;

class CReferenceCounter
{
public:
    CReferenceCounter() = default;
    CReferenceCounter(const CReferenceCounter&) = delete;
    CReferenceCounter& operator=(const CReferenceCounter&) = delete;
    virtual ~CReferenceCounter() = default;

    /// Drops one reference; the last one destroys the object.
    virtual void release()
    {
        if (nbReference <= 1)
            delete this;
        else
            --nbReference;
    }
    virtual void retain() { ++nbReference; }
    int32_t getNbReference() const { return nbReference; }

private:
    int32_t nbReference = 1;
};

class CView : public CReferenceCounter
{
public:
    explicit CView(const CRect& size);
    ~CView() override;

    virtual void draw(CDrawContext* context);
    virtual void drawRect(CDrawContext* context, const CRect& updateRect);
    /// True when `rect` and the size overlap, touching edges included.
    virtual bool checkOverlap(const CRect& rect);
    /// A press at `where` (parent coordinates); buttons -1 means "read them now".
    virtual void mouse(CDrawContext* context, CPoint& where, int32_t buttons = -1);

    virtual void setBackground(CBitmap* bitmap);
    virtual CBitmap* getBackground() const { return pBackground; }

    /// Keys answer 1 when handled, -1 when not.
    virtual int32_t onKeyDown(VstKeyCode& keyCode);
    virtual int32_t onKeyUp(VstKeyCode& keyCode);
    /// Wheel: axis 0 horizontal, 1 vertical; one notch is distance 1.0.
    virtual bool onWheel(CDrawContext* context, const CPoint& where, int32_t axis, float distance);
    virtual bool onWheel(CDrawContext* context, const CPoint& where, float distance);
    // No view of this toolkit accepts drag and drop, so the drop operations
    // and the drag routing are left out altogether.

    virtual void focusLost(CDrawContext* context);
    virtual void focusTaken(CDrawContext* context);

    virtual bool isDirty() const { return bDirty; }
    virtual void setDirty(bool state = true) { bDirty = state; }

    virtual void setMouseEnabled(bool enable = true) { bMouseEnabled = enable; }
    virtual bool getMouseEnabled() const { return bMouseEnabled; }
    virtual void setMouseArea(const CRect& rect) { mouseArea = rect; }
    virtual CRect& getMouseArea(CRect& rect) const
    {
        rect = mouseArea;
        return rect;
    }
    /// Inside the mouse area, both edges included.
    virtual bool hitTest(const CPoint& where, int32_t buttons = -1);

    virtual void setTransparency(bool state) { bTransparencyEnabled = state; }
    virtual bool getTransparency() const { return bTransparencyEnabled; }

    /// Moves/resizes the view (the mouse area stays where it was) and marks it dirty.
    virtual void setViewSize(const CRect& rect);
    virtual CRect& getViewSize(CRect& rect) const
    {
        rect = size;
        return rect;
    }

    virtual bool removed(CView* parent);
    virtual bool attached(CView* parent);

    /// The pointer position now, in the coordinates of this view's parent.
    virtual void getMouseLocation(CDrawContext* context, CPoint& point);
    virtual CPoint& frameToLocal(CPoint& point) const;
    virtual CPoint& localToFrame(CPoint& point) const;

    virtual VSTGUIEditorInterface* getEditor() const;
    virtual int32_t notify(CView* sender, const char* message);
    virtual void redrawRect(CDrawContext* context, const CRect& rect);

    virtual bool wantsFocus() const { return bWantsFocus; }
    virtual void setWantsFocus(bool state) { bWantsFocus = state; }

    virtual bool isTypeOf(const char* name) const;
    virtual void update(CDrawContext* context);

    // Plain links, set by the container that holds the view.
    void setParentFrame(CFrame* frame) { pParentFrame = frame; }
    CFrame* getParentFrame() const { return pParentFrame; }
    void setParentView(CView* view) { pParentView = view; }
    CView* getParentView() const { return pParentView; }

    const CRect& viewSize() const { return size; }

protected:
    CRect size;
    CRect mouseArea;
    CFrame* pParentFrame = nullptr; // not owned
    CView* pParentView = nullptr;   // not owned
    bool bDirty = false;
    bool bMouseEnabled = true;
    bool bTransparencyEnabled = false;
    bool bWantsFocus = false;
    CBitmap* pBackground = nullptr; // retained while set
};

class CViewContainer : public CView
{
public:
    CViewContainer(const CRect& size, CFrame* parentFrame, CBitmap* background = nullptr);
    ~CViewContainer() override;

    // CView
    void draw(CDrawContext* context) override;
    void drawRect(CDrawContext* context, const CRect& updateRect) override;
    void mouse(CDrawContext* context, CPoint& where, int32_t buttons = -1) override;
    int32_t onKeyDown(VstKeyCode& keyCode) override;
    int32_t onKeyUp(VstKeyCode& keyCode) override;
    bool onWheel(CDrawContext* context, const CPoint& where, int32_t axis, float distance) override;
    using CView::onWheel;
    void focusLost(CDrawContext* context) override;
    void focusTaken(CDrawContext* context) override;
    bool isDirty() const override;
    void setViewSize(const CRect& rect) override;
    bool removed(CView* parent) override;
    bool attached(CView* parent) override;
    CPoint& frameToLocal(CPoint& point) const override;
    CPoint& localToFrame(CPoint& point) const override;
    int32_t notify(CView* sender, const char* message) override;
    void redrawRect(CDrawContext* context, const CRect& rect) override;
    bool isTypeOf(const char* name) const override;
    void update(CDrawContext* context) override;

    /// Appends `view` (retained) with the given mouse area and enablement.
    virtual void addView(CView* view, const CRect& mouseArea, bool mouseEnabled = true);
    virtual void addView(CView* view);
    /// Unlinks `view` and drops the container's reference; with `withRelease`
    /// the creator's reference too.
    virtual void removeView(CView* view, bool withRelease = true);
    virtual void removeAll(bool withRelease = true);
    virtual bool isChild(CView* view) const;
    virtual int32_t getNbViews() const;
    /// The child at `index` in list order (first added is 0), or null.
    virtual CView* getView(int32_t index) const;
    virtual void setBackgroundColor(const CColor& color);
    virtual CColor getBackgroundColor() const { return backgroundColor; }
    virtual void setBackgroundOffset(const CPoint& p) { backgroundOffset = p; }
    virtual const CPoint& getBackgroundOffset() const { return backgroundOffset; }
    /// Draws the background (bitmap or colour) for `rect` (container coordinates).
    virtual void drawBackgroundRect(CDrawContext* context, const CRect& rect);
    virtual void setMode(int32_t newMode) { mode = newMode; }
    virtual int32_t getMode() const { return mode; }
    virtual void useOffscreen(bool state);
    virtual CView* getCurrentView() const;
    /// The child whose mouse area contains `where` (parent coordinates), last
    /// added first; with `deep`, nested containers answer for themselves.
    virtual CView* getViewAt(const CPoint& where, bool deep = false) const;
    /// Gives the focus to the next child (after `oldFocus`, or from the start)
    /// that wants it; true when one was found.
    virtual bool advanceNextFocusView(CView* oldFocus, bool reverse = false);

protected:
    struct CCView
    {
        CView* pView;
        CCView* pNext = nullptr;
        CCView* pPrevious = nullptr;
    };

    void unlinkAndRelease(CCView* node, bool withRelease);
    void makeOffscreen();

    CCView* pFirstView = nullptr;
    CCView* pLastView = nullptr;
    int32_t mode = 1; // update mode
    COffscreenContext* pOffscreenContext = nullptr;
    CColor backgroundColor = kBlackCColor;
    CPoint backgroundOffset;
    bool bDrawInOffscreen = false;
};
