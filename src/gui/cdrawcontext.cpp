// SPDX-License-Identifier: GPL-3.0-or-later
// cdrawcontext.cpp - drawing contexts over rasters.
#include "gui/cdrawcontext.h"

#include "gui/cframe.h"
#include "gui/platform.h"

namespace {
/// The window whose press, wheel or key the UI thread is handling now (set by
/// CFrame while it dispatches input, drag loops included).
vorla::PlatformWindow* gInputWindow = nullptr;
} // namespace

const char* const kMsgCheckIfViewContainer = "kMsgCheckIfViewContainer";

CDrawContext::CDrawContext(CFrame* frame, vorla::Raster* device, vorla::PlatformWindow* window)
    : pDevice(device), pWindow(window), pFrame(frame)
{
    if (pFrame)
        pFrame->getViewSize(clipRect);
    else
        clipRect = CRect(0, 0, 1000, 1000);

    // A context on the frame's window draws into the frame's back buffer and
    // hands what it drew to the window when it is released.
    if (!pDevice && pFrame)
    {
        COffscreenContext* backBuffer = pFrame->getBackBuffer();
        pDevice = backBuffer ? &backBuffer->raster() : nullptr;
        presentOnRelease = pWindow != nullptr;
    }
    if (pWindow)
        offsetScreen = pWindow->screenOrigin();

    frameColor = kWhiteCColor;
    lineStyle = kLineSolid;
    frameWidth = 1;
    fillColor = kBlackCColor;
    fontColor = kWhiteCColor;
    setFont(0, 0, 0);
    drawMode = kCopyMode;
    touched = CRect(0, 0, 0, 0);
}

CDrawContext::~CDrawContext()
{
    if (presentOnRelease && pWindow && pDevice && !touched.isEmpty() && pWindow->isValid())
        pWindow->present(*pDevice, touched);
}

void CDrawContext::setFrameColor(const CColor& color)
{
    frameColor = color;
}

void CDrawContext::setFillColor(const CColor& color)
{
    fillColor = color;
}

void CDrawContext::setFontColor(const CColor& color)
{
    fontColor = color;
}

void CDrawContext::setLineStyle(int32_t style)
{
    lineStyle = style;
}

void CDrawContext::setLineWidth(int32_t width)
{
    frameWidth = width;
}

void CDrawContext::setFont(int32_t id, int32_t size, int32_t style)
{
    // Pixel heights of the standard fonts; text is never drawn, so only the
    // values are kept.
    static constexpr int32_t kStandardFontSize[kNumStandardFonts] = {12, 18, 14, 14, 11, 10, 9, 13};
    if (id < 0 || id >= kNumStandardFonts)
        id = 0;
    fontId = id;
    fontSize = size > 0 ? size : kStandardFontSize[id];
    fontStyle = style;
}

void CDrawContext::setDrawMode(int32_t mode)
{
    drawMode = mode;
}

CRect& CDrawContext::getClipRect(CRect& clip) const
{
    clip = clipRect;
    clip.offset(-offset.h, -offset.v);
    return clip;
}

void CDrawContext::setClipRect(const CRect& clip)
{
    CRect r = clip;
    r.offset(offset.h, offset.v);
    if (r != clipRect)
        clipRect = r;
}

void CDrawContext::resetClipRect()
{
    if (pFrame)
        pFrame->getViewSize(clipRect);
    else if (pDevice)
        clipRect = pDevice->bounds();
    else
        clipRect = CRect(0, 0, 1000, 1000);
}

void CDrawContext::touch(const CRect& deviceRect)
{
    CRect r = deviceRect;
    r.bound(clipRect);
    if (pDevice)
        r.bound(pDevice->bounds());
    if (r.isEmpty())
        return;
    if (touched.isEmpty())
    {
        touched = r;
        return;
    }
    touched.left = std::min(touched.left, r.left);
    touched.top = std::min(touched.top, r.top);
    touched.right = std::max(touched.right, r.right);
    touched.bottom = std::max(touched.bottom, r.bottom);
}

void CDrawContext::moveTo(const CPoint& point)
{
    penLocation = point;
}

void CDrawContext::lineTo(const CPoint& point)
{
    if (pDevice)
    {
        CPoint from = penLocation;
        CPoint to = point;
        from.offset(offset.h, offset.v);
        to.offset(offset.h, offset.v);
        pDevice->line(from, to, frameColor, clipRect);
        touch(CRect(std::min(from.h, to.h), std::min(from.v, to.v), std::max(from.h, to.h) + 1,
                    std::max(from.v, to.v) + 1));
    }
    penLocation = point;
}

void CDrawContext::fillRect(const CRect& rect)
{
    // A rectangle filled without an outline covers its interior from one
    // pixel inside the top-left corner up to (right, bottom) exclusive.
    CRect r(rect.left + 1, rect.top + 1, rect.right, rect.bottom);
    r.offset(offset.h, offset.v);
    if (!pDevice)
        return;
    pDevice->fill(r, fillColor, clipRect);
    touch(r);
}

void CDrawContext::drawRect(const CRect& rect)
{
    moveTo(CPoint(rect.left, rect.top));
    lineTo(CPoint(rect.right - 1, rect.top));
    lineTo(CPoint(rect.right - 1, rect.bottom - 1));
    lineTo(CPoint(rect.left, rect.bottom - 1));
    lineTo(CPoint(rect.left, rect.top));
}

int32_t CDrawContext::getMouseButtons()
{
    return gInputWindow ? gInputWindow->mouseButtons() : 0;
}

vorla::PlatformWindow* CDrawContext::setInputWindow(vorla::PlatformWindow* window)
{
    vorla::PlatformWindow* before = gInputWindow;
    gInputWindow = window;
    return before;
}

vorla::PlatformWindow* CDrawContext::getInputWindow()
{
    return gInputWindow;
}

// ---------------------------------------------------------------------------

COffscreenContext::COffscreenContext(CView* owner, int32_t w, int32_t h, const CColor& background)
    : CDrawContext(owner ? owner->getParentFrame() : nullptr, &image, nullptr)
{
    init(w, h, background);
}

COffscreenContext::COffscreenContext(CFrame* frame, int32_t w, int32_t h, const CColor& background)
    : CDrawContext(frame, &image, nullptr)
{
    init(w, h, background);
}

COffscreenContext::~COffscreenContext() = default;

void COffscreenContext::init(int32_t w, int32_t h, const CColor& background)
{
    width = w > 0 ? w : 0;
    height = h > 0 ? h : 0;
    backgroundColor = background;
    image.resize(width, height);
    pDevice = &image;
    clipRect = CRect(0, 0, width, height);
    // The fill covers the interior, the frame the one-pixel border: together
    // the whole image starts in the background colour.
    setFillColor(background);
    setFrameColor(background);
    fillRect(CRect(0, 0, width, height));
    drawRect(CRect(0, 0, width, height));
    touched = CRect(0, 0, 0, 0);
}

void COffscreenContext::copyFrom(CDrawContext* context, const CRect& rect)
{
    if (!context || !context->getDevice())
        return;
    CPoint src(rect.left + context->offset.h, rect.top + context->offset.v);
    image.copyFrom(*context->getDevice(), CRect(0, 0, rect.width(), rect.height()), src,
                   image.bounds());
}

void COffscreenContext::copyTo(CDrawContext* context, const CRect& destRect,
                               const CPoint& srcOffset)
{
    if (!context || !context->getDevice())
        return;
    CRect dest = destRect;
    dest.offset(context->offset.h, context->offset.v);
    if (context->getDevice() != &image)
        context->getDevice()->copyFrom(image, dest, srcOffset, context->deviceClip());
    context->touch(dest);
}
