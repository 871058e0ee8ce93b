// SPDX-License-Identifier: GPL-3.0-or-later
// cview.cpp - views and containers of views.
#include "gui/cview.h"

#include "gui/cbitmap.h"
#include "gui/cdrawcontext.h"
#include "gui/cframe.h"

#include <cstring>

namespace {

/// Moves a context's drawing and screen offsets by (dh, dv) for one call.
class OffsetScope
{
public:
    OffsetScope(CDrawContext* context, int32_t dh, int32_t dv) : ctx(context)
    {
        if (!ctx)
            return;
        savedOffset = ctx->offset;
        savedScreen = ctx->offsetScreen;
        ctx->offset.offset(dh, dv);
        ctx->offsetScreen.offset(dh, dv);
    }
    ~OffsetScope()
    {
        if (!ctx)
            return;
        ctx->offset = savedOffset;
        ctx->offsetScreen = savedScreen;
    }
    OffsetScope(const OffsetScope&) = delete;
    OffsetScope& operator=(const OffsetScope&) = delete;

private:
    CDrawContext* ctx;
    CPoint savedOffset;
    CPoint savedScreen;
};

bool isContainer(const CView* view)
{
    return view && view->isTypeOf("CViewContainer");
}

} // namespace

// ---------------------------------------------------------------------------
// CView

CView::CView(const CRect& rect) : size(rect), mouseArea(rect) {}

CView::~CView()
{
    if (pBackground)
        pBackground->release();
}

void CView::draw(CDrawContext* context)
{
    if (pBackground)
    {
        if (bTransparencyEnabled)
            pBackground->drawTransparent(context, size);
        else
            pBackground->draw(context, size);
    }
    setDirty(false);
}

void CView::drawRect(CDrawContext* context, const CRect& /*updateRect*/)
{
    draw(context);
}

bool CView::checkOverlap(const CRect& rect)
{
    return size.overlaps(rect);
}

void CView::mouse(CDrawContext* /*context*/, CPoint& /*where*/, int32_t /*buttons*/) {}

void CView::setBackground(CBitmap* bitmap)
{
    if (bitmap)
        bitmap->retain();
    if (pBackground)
        pBackground->release();
    pBackground = bitmap;
    setDirty(true);
}

int32_t CView::onKeyDown(VstKeyCode& /*keyCode*/)
{
    return -1;
}

int32_t CView::onKeyUp(VstKeyCode& /*keyCode*/)
{
    return -1;
}

bool CView::onWheel(CDrawContext* context, const CPoint& where, int32_t /*axis*/, float distance)
{
    return onWheel(context, where, distance);
}

bool CView::onWheel(CDrawContext* /*context*/, const CPoint& /*where*/, float /*distance*/)
{
    return false;
}

void CView::focusLost(CDrawContext* /*context*/) {}

void CView::focusTaken(CDrawContext* /*context*/) {}

bool CView::hitTest(const CPoint& where, int32_t /*buttons*/)
{
    return mouseArea.pointInside(where);
}

void CView::setViewSize(const CRect& rect)
{
    size = rect;
    setDirty(true);
}

bool CView::removed(CView* /*parent*/)
{
    return true;
}

bool CView::attached(CView* /*parent*/)
{
    return true;
}

void CView::getMouseLocation(CDrawContext* context, CPoint& point)
{
    if (!context)
        return;
    if (pParentView && pParentView->notify(this, kMsgCheckIfViewContainer) == 1)
    {
        CRect parentSize;
        pParentView->getViewSize(parentSize);
        OffsetScope scope(context, parentSize.left, parentSize.top);
        pParentView->getMouseLocation(context, point);
        return;
    }
    if (vorla::PlatformWindow* window = context->getWindow())
    {
        const CPoint screen = window->pointerScreenPosition();
        point = CPoint(screen.h - context->offsetScreen.h, screen.v - context->offsetScreen.v);
        return;
    }
    // A context without a window (an off-screen one) counts its screen offset
    // from the frame's window.
    CPoint where;
    if (pParentFrame && pParentFrame->getCurrentLocation(where))
        point = CPoint(where.h - context->offsetScreen.h, where.v - context->offsetScreen.v);
}

CPoint& CView::frameToLocal(CPoint& point) const
{
    if (isContainer(pParentView))
        return pParentView->frameToLocal(point);
    return point;
}

CPoint& CView::localToFrame(CPoint& point) const
{
    if (isContainer(pParentView))
        return pParentView->localToFrame(point);
    return point;
}

VSTGUIEditorInterface* CView::getEditor() const
{
    return pParentFrame ? pParentFrame->getEditor() : nullptr;
}

int32_t CView::notify(CView* /*sender*/, const char* /*message*/)
{
    return 0;
}

void CView::redrawRect(CDrawContext* context, const CRect& rect)
{
    if (pParentView)
        pParentView->redrawRect(context, rect);
    else if (pParentFrame)
        pParentFrame->drawRect(context, rect);
}

bool CView::isTypeOf(const char* name) const
{
    return std::strcmp(name, "CView") == 0;
}

void CView::update(CDrawContext* context)
{
    if (isDirty())
    {
        if (context)
            redrawRect(context, size);
        else if (pParentFrame)
            pParentFrame->drawRect(nullptr, size);
        setDirty(false);
    }
}

// ---------------------------------------------------------------------------
// CViewContainer

CViewContainer::CViewContainer(const CRect& rect, CFrame* parentFrame, CBitmap* background)
    : CView(rect)
{
    pParentFrame = parentFrame;
    if (background)
        setBackground(background);
    setDirty(true);
}

CViewContainer::~CViewContainer()
{
    removeAll(true);
    if (pOffscreenContext)
        pOffscreenContext->release();
}

void CViewContainer::addView(CView* view, const CRect& area, bool mouseEnabled)
{
    if (!view)
        return;
    addView(view);
    view->setMouseArea(area);
    view->setMouseEnabled(mouseEnabled);
}

void CViewContainer::addView(CView* view)
{
    if (!view)
        return;
    auto* node = new CCView{view};
    node->pPrevious = pLastView;
    if (pLastView)
        pLastView->pNext = node;
    else
        pFirstView = node;
    pLastView = node;
    view->retain();
    view->setParentFrame(pParentFrame);
    view->setParentView(this);
    view->attached(this);
    view->setDirty(true);
}

void CViewContainer::unlinkAndRelease(CCView* node, bool withRelease)
{
    CView* view = node->pView;
    if (pParentFrame)
        pParentFrame->forgetView(view);
    if (node->pPrevious)
        node->pPrevious->pNext = node->pNext;
    else
        pFirstView = node->pNext;
    if (node->pNext)
        node->pNext->pPrevious = node->pPrevious;
    else
        pLastView = node->pPrevious;
    delete node;
    view->removed(this);
    view->release();
    if (withRelease)
        view->release();
}

void CViewContainer::removeView(CView* view, bool withRelease)
{
    for (CCView* node = pFirstView; node; node = node->pNext)
    {
        if (node->pView == view)
        {
            unlinkAndRelease(node, withRelease);
            return;
        }
    }
}

void CViewContainer::removeAll(bool withRelease)
{
    while (pFirstView)
        unlinkAndRelease(pFirstView, withRelease);
}

bool CViewContainer::isChild(CView* view) const
{
    for (CCView* node = pFirstView; node; node = node->pNext)
        if (node->pView == view)
            return true;
    return false;
}

int32_t CViewContainer::getNbViews() const
{
    int32_t count = 0;
    for (CCView* node = pFirstView; node; node = node->pNext)
        ++count;
    return count;
}

CView* CViewContainer::getView(int32_t index) const
{
    int32_t i = 0;
    for (CCView* node = pFirstView; node; node = node->pNext, ++i)
        if (i == index)
            return node->pView;
    return nullptr;
}

void CViewContainer::setBackgroundColor(const CColor& color)
{
    backgroundColor = color;
    setDirty(true);
}

void CViewContainer::drawBackgroundRect(CDrawContext* context, const CRect& rect)
{
    if (pBackground)
    {
        CRect oldClip;
        context->getClipRect(oldClip);
        CRect clip = rect;
        clip.bound(oldClip);
        context->setClipRect(clip);
        const CRect whole(0, 0, size.width(), size.height());
        if (bTransparencyEnabled)
            pBackground->drawTransparent(context, whole, backgroundOffset);
        else
            pBackground->draw(context, whole, backgroundOffset);
        context->setClipRect(oldClip);
    }
    else if (!bTransparencyEnabled)
    {
        // fillRect starts one pixel inside the top-left corner; widen the
        // rectangle by that pixel so that the whole area is covered.
        context->setFillColor(backgroundColor);
        context->fillRect(CRect(rect.left - 1, rect.top - 1, rect.right, rect.bottom));
    }
}

void CViewContainer::makeOffscreen()
{
    if (pOffscreenContext)
        pOffscreenContext->release();
    pOffscreenContext = new COffscreenContext(this, size.width(), size.height(), backgroundColor);
}

void CViewContainer::useOffscreen(bool state)
{
    bDrawInOffscreen = state;
    if (!state && pOffscreenContext)
    {
        pOffscreenContext->release();
        pOffscreenContext = nullptr;
    }
}

void CViewContainer::draw(CDrawContext* context)
{
    if (!context)
        return;
    if (bDrawInOffscreen && !pOffscreenContext)
        makeOffscreen();
    if (pOffscreenContext && bTransparencyEnabled)
        pOffscreenContext->copyFrom(context, size);

    CDrawContext* target = (bDrawInOffscreen && pOffscreenContext) ? pOffscreenContext : context;
    {
        OffsetScope scope(target == context ? context : nullptr, size.left, size.top);

        CRect oldClip;
        target->getClipRect(oldClip);
        CRect clip = oldClip;
        clip.bound(CRect(0, 0, size.width(), size.height()));
        target->setClipRect(clip);

        const CRect whole(0, 0, size.width(), size.height());
        if (pBackground)
        {
            if (bTransparencyEnabled)
                pBackground->drawTransparent(target, whole, backgroundOffset);
            else
                pBackground->draw(target, whole, backgroundOffset);
        }
        else if (!bTransparencyEnabled)
        {
            target->setFillColor(backgroundColor);
            target->fillRect(CRect(-1, -1, whole.right, whole.bottom)); // see drawBackgroundRect
        }

        for (CCView* node = pFirstView; node; node = node->pNext)
        {
            CRect childClip;
            node->pView->getViewSize(childClip);
            childClip.bound(clip);
            target->setClipRect(childClip);
            node->pView->draw(target);
        }
        target->setClipRect(oldClip);
    }
    if (target != context)
        pOffscreenContext->copyTo(context, size);
    setDirty(false);
}

void CViewContainer::drawRect(CDrawContext* context, const CRect& updateRect)
{
    if (!context)
        return;
    if (bDrawInOffscreen && !pOffscreenContext)
        makeOffscreen();
    if (pOffscreenContext && bTransparencyEnabled)
        pOffscreenContext->copyFrom(context, size);

    CRect area = updateRect;
    area.bound(size);
    area.offset(-size.left, -size.top);

    CDrawContext* target = (bDrawInOffscreen && pOffscreenContext) ? pOffscreenContext : context;
    {
        OffsetScope scope(target == context ? context : nullptr, size.left, size.top);

        CRect oldClip;
        target->getClipRect(oldClip);
        CRect clip = area;
        clip.bound(oldClip);
        target->setClipRect(clip);

        drawBackgroundRect(target, area);

        for (CCView* node = pFirstView; node; node = node->pNext)
        {
            CView* child = node->pView;
            if (!child->checkOverlap(clip))
                continue;
            CRect childSize;
            child->getViewSize(childSize);
            CRect childClip = childSize;
            childClip.bound(clip);
            const bool wasDirty = child->isDirty();
            target->setClipRect(childClip);
            child->drawRect(target, childClip);
            // Only part of a changed child was drawn: keep it dirty so that
            // the rest is drawn by a later pass.
            if (wasDirty &&
                (childClip.width() < childSize.width() || childClip.height() < childSize.height()))
                child->setDirty(true);
        }
        target->setClipRect(oldClip);
    }
    if (target != context)
        pOffscreenContext->copyTo(context, size);
    setDirty(false);
}

void CViewContainer::mouse(CDrawContext* context, CPoint& where, int32_t buttons)
{
    CPoint local(where.h - size.left, where.v - size.top);
    if (buttons == -1 && context)
        buttons = CDrawContext::getMouseButtons();
    for (CCView* node = pLastView; node; node = node->pPrevious)
    {
        CView* child = node->pView;
        if (child->getMouseEnabled() && child->hitTest(local, buttons))
        {
            child->mouse(context, local, buttons);
            return;
        }
    }
}

int32_t CViewContainer::onKeyDown(VstKeyCode& keyCode)
{
    for (CCView* node = pLastView; node; node = node->pPrevious)
    {
        const int32_t result = node->pView->onKeyDown(keyCode);
        if (result != -1)
            return result;
    }
    return -1;
}

int32_t CViewContainer::onKeyUp(VstKeyCode& keyCode)
{
    for (CCView* node = pLastView; node; node = node->pPrevious)
    {
        const int32_t result = node->pView->onKeyUp(keyCode);
        if (result != -1)
            return result;
    }
    return -1;
}

bool CViewContainer::onWheel(CDrawContext* context, const CPoint& where, int32_t axis,
                             float distance)
{
    CView* child = getViewAt(where, false);
    if (!child)
        return false;
    const CPoint local(where.h - size.left, where.v - size.top);
    OffsetScope scope(context, size.left, size.top);
    return child->onWheel(context, local, axis, distance);
}

void CViewContainer::focusLost(CDrawContext* context)
{
    for (CCView* node = pFirstView; node; node = node->pNext)
        node->pView->focusLost(context);
}

void CViewContainer::focusTaken(CDrawContext* context)
{
    for (CCView* node = pFirstView; node; node = node->pNext)
        node->pView->focusTaken(context);
}

bool CViewContainer::isDirty() const
{
    if (bDirty)
        return true;
    const CRect whole(0, 0, size.width(), size.height());
    for (CCView* node = pFirstView; node; node = node->pNext)
    {
        if (!node->pView->isDirty())
            continue;
        CRect r;
        node->pView->getViewSize(r);
        r.bound(whole);
        if (r.width() > 0 && r.height() > 0)
            return true;
    }
    return false;
}

void CViewContainer::setViewSize(const CRect& rect)
{
    CView::setViewSize(rect);
    if (bDrawInOffscreen && pOffscreenContext)
        makeOffscreen();
}

bool CViewContainer::removed(CView* parent)
{
    if (pOffscreenContext)
    {
        pOffscreenContext->release();
        pOffscreenContext = nullptr;
    }
    return CView::removed(parent);
}

bool CViewContainer::attached(CView* parent)
{
    // Children added before this container was attached learn their frame now.
    for (CCView* node = pFirstView; node; node = node->pNext)
        node->pView->setParentFrame(pParentFrame);
    if (bDrawInOffscreen)
        makeOffscreen();
    return CView::attached(parent);
}

CPoint& CViewContainer::frameToLocal(CPoint& point) const
{
    if (isContainer(pParentView))
        pParentView->frameToLocal(point);
    point.offset(-size.left, -size.top);
    return point;
}

CPoint& CViewContainer::localToFrame(CPoint& point) const
{
    point.offset(size.left, size.top);
    if (isContainer(pParentView))
        pParentView->localToFrame(point);
    return point;
}

int32_t CViewContainer::notify(CView* /*sender*/, const char* message)
{
    // Identity, not text: only the shared constant itself is recognised.
    return message == kMsgCheckIfViewContainer ? 1 : 0;
}

void CViewContainer::redrawRect(CDrawContext* context, const CRect& rect)
{
    CRect r = rect;
    r.offset(size.left, size.top); // into the parent's coordinates
    if (bTransparencyEnabled)
    {
        if (pParentView)
            pParentView->redrawRect(context, r);
        else if (pParentFrame && pParentFrame != this)
            pParentFrame->drawRect(context, r);
        return;
    }
    if (pParentView)
    {
        CPoint p(0, 0);
        pParentView->localToFrame(p);
        OffsetScope scope(context, p.h, p.v);
        drawRect(context, r);
        return;
    }
    drawRect(context, r);
}

bool CViewContainer::isTypeOf(const char* name) const
{
    return std::strcmp(name, "CViewContainer") == 0 || CView::isTypeOf(name);
}

void CViewContainer::update(CDrawContext* context)
{
    if (mode == 1 && !bDirty)
    {
        const CRect whole(0, 0, size.width(), size.height());
        for (CCView* node = pFirstView; node; node = node->pNext)
        {
            CView* child = node->pView;
            if (!child->isDirty() || !child->checkOverlap(whole))
                continue;
            if (isContainer(child))
            {
                child->update(context);
            }
            else
            {
                CRect r;
                child->getViewSize(r);
                r.bound(whole);
                child->redrawRect(context, r);
            }
        }
    }
    else
    {
        redrawRect(context, CRect(0, 0, size.width(), size.height()));
    }
    setDirty(false);
}

CView* CViewContainer::getCurrentView() const
{
    if (!pParentFrame)
        return nullptr;
    CPoint where;
    pParentFrame->getCurrentLocation(where);
    if (pParentView)
        pParentView->frameToLocal(where);
    return getViewAt(where, false);
}

CView* CViewContainer::getViewAt(const CPoint& where, bool deep) const
{
    if (!pParentFrame)
        return nullptr;
    const CPoint local(where.h - size.left, where.v - size.top);
    for (CCView* node = pLastView; node; node = node->pPrevious)
    {
        CView* child = node->pView;
        CRect area;
        child->getMouseArea(area);
        if (!area.pointInside(local))
            continue;
        if (deep && isContainer(child))
            return static_cast<CViewContainer*>(child)->getViewAt(local, deep);
        return child;
    }
    return nullptr;
}

bool CViewContainer::advanceNextFocusView(CView* oldFocus, bool reverse)
{
    bool foundOld = oldFocus == nullptr;
    for (CCView* node = reverse ? pLastView : pFirstView; node;
         node = reverse ? node->pPrevious : node->pNext)
    {
        CView* child = node->pView;
        if (!foundOld)
        {
            if (child == oldFocus)
                foundOld = true;
            continue;
        }
        if (child->wantsFocus())
        {
            if (pParentFrame)
                pParentFrame->setFocusView(child);
            return true;
        }
        if (isContainer(child) &&
            static_cast<CViewContainer*>(child)->advanceNextFocusView(nullptr, reverse))
            return true;
    }
    return false;
}
