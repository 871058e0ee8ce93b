// SPDX-License-Identifier: GPL-3.0-or-later
// cframe.cpp - the root of the view tree and its window.
#include "gui/cframe.h"

#include <cstring>

/// While a frame handles a press, wheel or key, the live button state comes
/// from its window (CDrawContext::getMouseButtons).  Nested scopes restore
/// the outer window.
struct CFrame::InputScope
{
    explicit InputScope(CFrame& frame) : previous(CDrawContext::setInputWindow(frame.window.get()))
    {
    }
    ~InputScope() { CDrawContext::setInputWindow(previous); }
    InputScope(const InputScope&) = delete;
    InputScope& operator=(const InputScope&) = delete;
    vorla::PlatformWindow* previous;
};

CFrame::CFrame(const CRect& rect, void* parentWindow, VSTGUIEditorInterface* editor)
    : CViewContainer(rect, this), pEditor(editor), pParentWindow(parentWindow)
{
    pParentFrame = this;
    if (pParentWindow)
    {
        window = vorla::currentPlatform().createWindow(*this, pParentWindow, size.width(),
                                                       size.height());
        if (window && !window->isValid())
            window.reset();
        if (window)
            setDropActive(true);
    }
}

CFrame::~CFrame()
{
    setModalView(nullptr);
    pFocusView = nullptr;
    if (cursorChanged && window)
        window->setCursor(kCursorDefault);
    // The children go first (they may still ask the frame for its focus view
    // while they are removed), then the window and the back buffer.
    removeAll(true);
    window.reset();
    if (pBackBuffer)
    {
        pBackBuffer->release();
        pBackBuffer = nullptr;
    }
}

bool CFrame::isTypeOf(const char* name) const
{
    return std::strcmp(name, "CFrame") == 0 || CViewContainer::isTypeOf(name);
}

// ---------------------------------------------------------------------------
// Drawing

COffscreenContext* CFrame::getBackBuffer()
{
    if (!pBackBuffer)
        pBackBuffer = new COffscreenContext(this, size.width(), size.height(), backgroundColor);
    return pBackBuffer;
}

CDrawContext* CFrame::createWindowContext()
{
    return new CDrawContext(this, nullptr, window.get());
}

void CFrame::draw(CDrawContext* context)
{
    bFirstDraw = false;
    if (!context)
        context = pFrameContext ? pFrameContext : getBackBuffer();
    CViewContainer::draw(context);
}

void CFrame::drawRect(CDrawContext* context, const CRect& updateRect)
{
    bFirstDraw = false;
    CDrawContext* own = nullptr;
    if (!context)
        context = own = createWindowContext();

    CRect oldClip;
    context->getClipRect(oldClip);
    CRect clip = updateRect;
    clip.bound(oldClip);
    context->setClipRect(clip);
    if (clip.width() > 0 && clip.height() > 0)
        CViewContainer::drawRect(context, clip);
    context->setClipRect(oldClip);

    if (own)
        own->release();
}

void CFrame::idle()
{
    dispatchPendingEvents();
    if (!bOpenFlag || bFirstDraw || !isDirty())
        return;
    CDrawContext* context = createWindowContext();
    update(context);
    context->release();
}

void CFrame::update(CDrawContext* context)
{
    if (!bOpenFlag || bUpdatesDisabled || !context)
        return;
    COffscreenContext* backBuffer = getBackBuffer();
    CDrawContext* savedFrameContext = pFrameContext;
    pFrameContext = backBuffer;

    if (bDirty)
    {
        draw(backBuffer);
        setDirty(false);
    }
    else
    {
        CRect clip;
        backBuffer->getClipRect(clip);
        if (pModalView && pModalView->isDirty())
            pModalView->update(backBuffer);
        for (CCView* node = pFirstView; node; node = node->pNext)
        {
            CRect childClip;
            node->pView->getViewSize(childClip);
            childClip.bound(clip);
            backBuffer->setClipRect(childClip);
            node->pView->update(backBuffer);
        }
        backBuffer->setClipRect(clip);
    }

    // The whole frame goes to the given context (a window context draws into
    // the back buffer itself and only needs to know what to show).
    CRect dest = size;
    if (context != backBuffer)
        backBuffer->copyTo(context, dest);

    pFrameContext = savedFrameContext;
}

void CFrame::invalidate(const CRect& rect)
{
    for (CCView* node = pFirstView; node; node = node->pNext)
        if (node->pView->checkOverlap(rect))
            node->pView->setDirty(true);
}

void CFrame::dispatchPendingEvents()
{
    if (window)
        window->pumpEvents();
}

// ---------------------------------------------------------------------------
// Input

void CFrame::mouse(CDrawContext* context, CPoint& where, int32_t buttons)
{
    InputScope scope(*this);
    if (!context)
        context = pFrameContext;
    if (pFocusView)
        setFocusView(nullptr);
    if (buttons == -1 && context)
        buttons = CDrawContext::getMouseButtons();
    if (pModalView)
    {
        if (pModalView->hitTest(where, buttons))
            pModalView->mouse(context, where, buttons);
        return;
    }
    CViewContainer::mouse(context, where, buttons);
}

bool CFrame::onWheel(CDrawContext* context, const CPoint& where, int32_t axis, float distance)
{
    InputScope scope(*this);
    CView* target = pModalView ? pModalView : getViewAt(where, false);
    if (!target)
        return false;
    CDrawContext* own = nullptr;
    if (!context)
        context = own = createWindowContext();
    const bool result = target->onWheel(context, where, axis, distance);
    if (own)
        own->release();
    return result;
}

bool CFrame::onWheel(CDrawContext* context, const CPoint& where, float distance)
{
    return onWheel(context, where, 1, distance);
}

int32_t CFrame::onKeyDown(VstKeyCode& keyCode)
{
    InputScope scope(*this);
    int32_t result = -1;
    if (pFocusView)
        result = pFocusView->onKeyDown(keyCode);
    if (result == -1 && pModalView)
        result = pModalView->onKeyDown(keyCode);
    if (result == -1 && keyCode.virt == VKEY_TAB)
        result =
            advanceNextFocusView(pFocusView, (keyCode.modifier & MODIFIER_SHIFT) != 0) ? 1 : -1;
    return result;
}

int32_t CFrame::onKeyUp(VstKeyCode& keyCode)
{
    InputScope scope(*this);
    int32_t result = -1;
    if (pFocusView)
        result = pFocusView->onKeyUp(keyCode);
    if (result == -1 && pModalView)
        result = pModalView->onKeyUp(keyCode);
    return result;
}

// ---------------------------------------------------------------------------
// Focus and modal view

void CFrame::setFocusView(CView* view)
{
    CView* old = pFocusView;
    pFocusView = view;
    if (view && view->wantsFocus())
        view->setDirty(true);
    if (old)
    {
        old->focusLost(pFrameContext);
        if (old->wantsFocus())
            old->setDirty(true);
    }
}

bool CFrame::setModalView(CView* view)
{
    if (pModalView && view)
        return false;
    if (pModalView)
    {
        CView* old = pModalView;
        pModalView = nullptr;
        removeView(old, false);
    }
    pModalView = view;
    if (view)
        addView(view);
    return true;
}

void CFrame::forgetView(CView* view)
{
    if (view == pFocusView)
        setFocusView(nullptr);
    if (view == pModalView)
        pModalView = nullptr;
}

// ---------------------------------------------------------------------------
// Editor

void CFrame::beginEdit(int32_t index)
{
    if (pEditor)
        pEditor->beginEdit(index);
}

void CFrame::endEdit(int32_t index)
{
    if (pEditor)
        pEditor->endEdit(index);
}

void CFrame::runIdle()
{
    if (pEditor)
        pEditor->doIdleStuff();
}

uint32_t CFrame::getTicks() const
{
    return pEditor ? vorla::platformTickCount() : 0;
}

// ---------------------------------------------------------------------------
// Window

bool CFrame::getCurrentLocation(CPoint& where)
{
    if (!window)
    {
        where = CPoint(0, 0);
        return false;
    }
    const CPoint pointer = window->pointerScreenPosition();
    const CPoint origin = window->screenOrigin();
    where = CPoint(pointer.h - origin.h, pointer.v - origin.v);
    return true;
}

void CFrame::setCursor(int32_t type)
{
    if (!window)
        return;
    window->setCursor(type);
    cursorChanged = true;
}

bool CFrame::setDropActive(bool value)
{
    if (!bDropActive && !value)
        return true;
    if (!window)
        return false;
    bDropActive = value; // no view accepts drops: nothing is registered
    return true;
}

bool CFrame::setSize(int32_t width, int32_t height)
{
    // The editor has a fixed size and the platform window is not resizable.
    (void)width;
    (void)height;
    return false;
}

// ---------------------------------------------------------------------------
// vorla::Platform entry points

void CFrame::platformPaint(const CRect& area)
{
    if (!bOpenFlag)
        return;
    COffscreenContext* backBuffer = getBackBuffer();
    drawRect(backBuffer, area);
    CRect shown = area;
    shown.bound(size);
    if (window && window->isValid() && !shown.isEmpty())
        window->present(backBuffer->raster(), shown);
}

void CFrame::platformButtonPress(CPoint where)
{
    // A press that arrives while another is being handled (its drag loop
    // pumps the window's events) is dropped.
    if (inputDepth > 0 || !bOpenFlag)
        return;
    ++inputDepth;
    CDrawContext* context = createWindowContext();
    mouse(context, where, -1);
    context->release();
    --inputDepth;
}

bool CFrame::platformWheel(CPoint where, float distance)
{
    if (!bOpenFlag)
        return false;
    CDrawContext* context = createWindowContext();
    const bool taken = onWheel(context, where, distance);
    context->release();
    return taken;
}

int32_t CFrame::platformKeyDown(VstKeyCode keyCode)
{
    return onKeyDown(keyCode);
}

int32_t CFrame::platformKeyUp(VstKeyCode keyCode)
{
    return onKeyUp(keyCode);
}

void CFrame::platformWindowDestroyed()
{
    bOpenFlag = false;
    pParentWindow = nullptr;
}
