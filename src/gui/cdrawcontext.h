// SPDX-License-Identifier: GPL-3.0-or-later
// cdrawcontext.h - drawing contexts: a view of a raster with a drawing offset,
// a clip rectangle, colours and a pen.
//
// Every context draws into a vorla::Raster (its "device").  A context made on the
// frame's window draws into the frame's back buffer and, when released,
// copies what it touched to the window through the platform; an off-screen
// context owns its raster.  Fonts are kept as plain values: no view of this
// toolkit draws text.
#pragma once

#include "gui/cview.h"
#include "gui/gui_types.h"
#include "gui/raster.h"

#include <cstdint>

class CFrame;
class CBitmap;
namespace vorla {
class PlatformWindow;
}

enum CLineStyle : int32_t
{
    kLineSolid = 1,
    kLineOnOffDash = 2,
};

enum CDrawMode : int32_t
{
    kXorMode = 1,
    kAntialias = 2,
    kCopyMode = 3,
};

/// Font ids (standard fonts 0..7; 8 is "none").
inline constexpr int32_t kNumStandardFonts = 8;

class CDrawContext : public CReferenceCounter
{
public:
    /// A context drawing into `device`.  With no device but a frame, the
    /// frame's back buffer is the device; a `window` given with it receives
    /// the touched area when the context is released (a window context).
    CDrawContext(CFrame* frame, vorla::Raster* device, vorla::PlatformWindow* window);
    ~CDrawContext() override;

    void setFrameColor(const CColor& color);
    CColor getFrameColor() const { return frameColor; }
    void setFillColor(const CColor& color);
    CColor getFillColor() const { return fillColor; }
    void setFontColor(const CColor& color);
    void setLineStyle(int32_t style);
    void setLineWidth(int32_t width);
    void setFont(int32_t fontId, int32_t size = 0, int32_t style = 0);
    void setDrawMode(int32_t mode);

    /// The clip in the caller's coordinates (the clip moved back by the offset).
    CRect& getClipRect(CRect& clip) const;
    /// Clip = rect moved by the drawing offset (device coordinates).
    void setClipRect(const CRect& clip);
    void resetClipRect();

    void moveTo(const CPoint& point);
    void lineTo(const CPoint& point);
    /// Fills (left + 1, top + 1) .. (right, bottom), exclusive, as a
    /// rectangle drawn with no outline covers it; the fill colour.
    void fillRect(const CRect& rect);
    /// The four one-pixel edges from (left, top) to (right - 1, bottom - 1).
    void drawRect(const CRect& rect);

    /// Live button-state word of the window whose input is being handled
    /// (the frame sets it while it dispatches a press, wheel or key, so it is
    /// valid inside every mouse handler and drag loop); 0 when none is.
    static int32_t getMouseButtons();
    /// Sets the window getMouseButtons reads (CFrame, while it handles input);
    /// answers the previous one so that the caller can restore it.
    static vorla::PlatformWindow* setInputWindow(vorla::PlatformWindow* window);
    static vorla::PlatformWindow* getInputWindow();

    // Coordinates.
    CPoint offset;       ///< added to every coordinate drawn
    CPoint offsetScreen; ///< screen position of the window's top-left corner

    vorla::Raster* getDevice() const { return pDevice; }
    vorla::PlatformWindow* getWindow() const { return pWindow; }
    CFrame* getFrame() const { return pFrame; }

    /// Device area touched since creation (device coordinates), for presenting.
    const CRect& touchedArea() const { return touched; }
    void touch(const CRect& deviceRect);
    /// The device clip (device coordinates).
    const CRect& deviceClip() const { return clipRect; }

protected:
    vorla::Raster* pDevice = nullptr;
    vorla::PlatformWindow* pWindow = nullptr;
    CFrame* pFrame = nullptr;
    int32_t fontSize = -1;
    int32_t fontStyle = 0;
    int32_t fontId = kNumStandardFonts;
    CColor fontColor;
    int32_t frameWidth = 0;
    CColor frameColor;
    CColor fillColor;
    int32_t lineStyle = kLineSolid;
    int32_t drawMode = kCopyMode;
    CRect clipRect;
    CPoint penLocation;
    CRect touched; ///< empty until something is drawn
    bool presentOnRelease = false;
};

class COffscreenContext : public CDrawContext
{
public:
    /// A width x height raster owned by the context, filled with `background`.
    /// `owner` gives the frame (a view's parent frame, or the frame itself).
    COffscreenContext(CView* owner, int32_t width, int32_t height,
                      const CColor& background = kBlackCColor);
    COffscreenContext(CFrame* frame, int32_t width, int32_t height,
                      const CColor& background = kBlackCColor);
    ~COffscreenContext() override;

    /// Copies `rect` of `context` (at its drawing offset) to (0, 0) of this image.
    void copyFrom(CDrawContext* context, const CRect& rect);
    /// Copies destRect's size from `srcOffset` of this image to `destRect`
    /// moved by the destination's drawing offset.
    void copyTo(CDrawContext* context, const CRect& destRect, const CPoint& srcOffset = CPoint());

    int32_t getWidth() const { return width; }
    int32_t getHeight() const { return height; }
    const vorla::Raster& raster() const { return image; }
    vorla::Raster& raster() { return image; }

private:
    void init(int32_t w, int32_t h, const CColor& background);

    vorla::Raster image;
    int32_t width = 0;
    int32_t height = 0;
    CColor backgroundColor;
};
