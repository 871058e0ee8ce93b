// SPDX-License-Identifier: GPL-3.0-or-later
// raster.h - the toolkit's pixel surface: a 32-bit premultiplied BGRA image
// held in memory, with the handful of block operations the views need.
//
// Pixels are stored top-down (row 0 is the top row), four bytes per pixel in
// the order blue, green, red, alpha, the colour bytes premultiplied by alpha.
// Every operation clips to the raster's bounds and to the clip rectangle it
// is given, so callers may pass any rectangle.
//
// Arithmetic of the blend (Raster::blend), per channel c of every pixel:
//     a   = srcA * ca / 255            (rounded to nearest: (x + 127) / 255)
//     s   = src_c * ca / 255           (rounded the same way)
//     dst = s + dst_c * (255 - a) / 255 (rounded the same way), at most 255
// with ca the constant alpha 0..255.  At ca = 255 and srcA = 255 the result
// is the source exactly; at srcA = 0 (a transparent, all-zero pixel) the
// destination is unchanged.
#pragma once

#include "gui/gui_types.h"

#include <cstdint>
#include <vector>

namespace vorla {

class Raster
{
public:
    Raster() = default;
    Raster(int32_t width, int32_t height);

    /// Reallocates to width x height (negative sizes count as 0), all pixels 0.
    void resize(int32_t width, int32_t height);

    int32_t width() const { return w; }
    int32_t height() const { return h; }
    bool empty() const { return w <= 0 || h <= 0; }
    CRect bounds() const { return {0, 0, w, h}; }

    /// Bytes of row y (4 * width bytes); y must be inside.
    uint8_t* row(int32_t y) { return pixels.data() + static_cast<size_t>(y) * stride(); }
    const uint8_t* row(int32_t y) const
    {
        return pixels.data() + static_cast<size_t>(y) * stride();
    }
    size_t stride() const { return static_cast<size_t>(w) * 4; }
    uint8_t* data() { return pixels.data(); }
    const uint8_t* data() const { return pixels.data(); }

    /// Pixel as 0xAARRGGBB (premultiplied); 0 outside the raster.
    uint32_t pixel(int32_t x, int32_t y) const;
    void setPixel(int32_t x, int32_t y, uint32_t argb);

    /// Fills `area` (right/bottom exclusive) clipped to `clip` with `color`
    /// (stored premultiplied).
    void fill(const CRect& area, const CColor& color, const CRect& clip);

    /// Plain copy: the pixels of `src` from `srcPoint` onward replace the
    /// destination rectangle `dest` (size taken from dest), clipped to `clip`.
    void copyFrom(const Raster& src, const CRect& dest, CPoint srcPoint, const CRect& clip);

    /// Colour-keyed copy: like copyFrom, but source pixels whose red, green
    /// and blue equal the key are skipped.
    void copyKeyed(const Raster& src, const CRect& dest, CPoint srcPoint, const CRect& clip,
                   CColor key);

    /// Source-over compositing of premultiplied pixels scaled by a constant
    /// alpha 0..255 (see the banner for the rounding).  With useSourceAlpha
    /// false the source counts as opaque (alpha 255) whatever its alpha byte.
    void blend(const Raster& src, const CRect& dest, CPoint srcPoint, const CRect& clip,
               uint8_t constantAlpha, bool useSourceAlpha = true);

    /// One-pixel line from (x0, y0) to (x1, y1), the end point excluded, as a
    /// pen of width 1 draws it (Bresenham).
    void line(CPoint from, CPoint to, const CColor& color, const CRect& clip);

private:
    int32_t w = 0;
    int32_t h = 0;
    std::vector<uint8_t> pixels;
};

} // namespace vorla
