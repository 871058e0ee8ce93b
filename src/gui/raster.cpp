// SPDX-License-Identifier: GPL-3.0-or-later
// raster.cpp - block operations of the in-memory BGRA raster.
#include "gui/raster.h"

#include <cstdlib>
#include <cstring>

namespace vorla {

namespace {

/// x / 255 rounded to nearest, exact for 0 <= x <= 255 * 255.
inline uint32_t div255(uint32_t x)
{
    return (x + 127) / 255;
}

/// The part of `dest` that lies in both `clip` and `bounds`, and the source
/// point moved with it.  False when nothing is left.
bool clipCopy(CRect& dest, CPoint& srcPoint, const CRect& clip, const CRect& bounds,
              const Raster& src)
{
    CRect area = dest;
    area.bound(clip).bound(bounds);
    // The source must cover the area too.
    CRect srcArea(srcPoint.h, srcPoint.v, srcPoint.h + dest.width(), srcPoint.v + dest.height());
    srcArea.bound(src.bounds());
    srcArea.offset(dest.left - srcPoint.h, dest.top - srcPoint.v); // into destination coordinates
    area.bound(srcArea);
    if (area.isEmpty())
        return false;
    srcPoint.offset(area.left - dest.left, area.top - dest.top);
    dest = area;
    return true;
}

} // namespace

Raster::Raster(int32_t width, int32_t height)
{
    resize(width, height);
}

void Raster::resize(int32_t width, int32_t height)
{
    w = width > 0 ? width : 0;
    h = height > 0 ? height : 0;
    pixels.assign(static_cast<size_t>(w) * static_cast<size_t>(h) * 4, 0);
}

uint32_t Raster::pixel(int32_t x, int32_t y) const
{
    if (x < 0 || y < 0 || x >= w || y >= h)
        return 0;
    const uint8_t* p = row(y) + static_cast<size_t>(x) * 4;
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

void Raster::setPixel(int32_t x, int32_t y, uint32_t argb)
{
    if (x < 0 || y < 0 || x >= w || y >= h)
        return;
    uint8_t* p = row(y) + static_cast<size_t>(x) * 4;
    p[0] = static_cast<uint8_t>(argb);
    p[1] = static_cast<uint8_t>(argb >> 8);
    p[2] = static_cast<uint8_t>(argb >> 16);
    p[3] = static_cast<uint8_t>(argb >> 24);
}

void Raster::fill(const CRect& area, const CColor& color, const CRect& clip)
{
    CRect r = area;
    r.bound(clip).bound(bounds());
    if (r.isEmpty())
        return;
    const uint8_t px[4] = {static_cast<uint8_t>(div255(color.blue * color.alpha)),
                           static_cast<uint8_t>(div255(color.green * color.alpha)),
                           static_cast<uint8_t>(div255(color.red * color.alpha)), color.alpha};
    for (int32_t y = r.top; y < r.bottom; ++y)
    {
        uint8_t* p = row(y) + static_cast<size_t>(r.left) * 4;
        for (int32_t x = r.left; x < r.right; ++x, p += 4)
            std::memcpy(p, px, 4);
    }
}

void Raster::copyFrom(const Raster& src, const CRect& dest, CPoint srcPoint, const CRect& clip)
{
    CRect d = dest;
    if (!clipCopy(d, srcPoint, clip, bounds(), src))
        return;
    const size_t bytes = static_cast<size_t>(d.width()) * 4;
    for (int32_t y = 0; y < d.height(); ++y)
    {
        const uint8_t* s = src.row(srcPoint.v + y) + static_cast<size_t>(srcPoint.h) * 4;
        uint8_t* t = row(d.top + y) + static_cast<size_t>(d.left) * 4;
        std::memmove(t, s, bytes); // src may be this raster
    }
}

void Raster::copyKeyed(const Raster& src, const CRect& dest, CPoint srcPoint, const CRect& clip,
                       CColor key)
{
    CRect d = dest;
    if (!clipCopy(d, srcPoint, clip, bounds(), src))
        return;
    for (int32_t y = 0; y < d.height(); ++y)
    {
        const uint8_t* s = src.row(srcPoint.v + y) + static_cast<size_t>(srcPoint.h) * 4;
        uint8_t* t = row(d.top + y) + static_cast<size_t>(d.left) * 4;
        for (int32_t x = 0; x < d.width(); ++x, s += 4, t += 4)
        {
            if (s[0] == key.blue && s[1] == key.green && s[2] == key.red)
                continue;
            std::memcpy(t, s, 4);
        }
    }
}

void Raster::blend(const Raster& src, const CRect& dest, CPoint srcPoint, const CRect& clip,
                   uint8_t constantAlpha, bool useSourceAlpha)
{
    CRect d = dest;
    if (!clipCopy(d, srcPoint, clip, bounds(), src))
        return;
    const uint32_t ca = constantAlpha;
    for (int32_t y = 0; y < d.height(); ++y)
    {
        const uint8_t* s = src.row(srcPoint.v + y) + static_cast<size_t>(srcPoint.h) * 4;
        uint8_t* t = row(d.top + y) + static_cast<size_t>(d.left) * 4;
        for (int32_t x = 0; x < d.width(); ++x, s += 4, t += 4)
        {
            const uint32_t srcA = useSourceAlpha ? s[3] : 255u;
            const uint32_t a = div255(srcA * ca);
            const uint32_t keep = 255 - a;
            for (int c = 0; c < 3; ++c)
            {
                const uint32_t v = div255(s[c] * ca) + div255(t[c] * keep);
                t[c] = static_cast<uint8_t>(v > 255 ? 255 : v);
            }
            const uint32_t va = a + div255(t[3] * keep);
            t[3] = static_cast<uint8_t>(va > 255 ? 255 : va);
        }
    }
}

void Raster::line(CPoint from, CPoint to, const CColor& color, const CRect& clip)
{
    CRect r = clip;
    r.bound(bounds());
    const uint32_t argb =
        (static_cast<uint32_t>(color.alpha) << 24) | (div255(color.red * color.alpha) << 16) |
        (div255(color.green * color.alpha) << 8) | div255(color.blue * color.alpha);
    int32_t x = from.h;
    int32_t y = from.v;
    const int32_t dx = std::abs(to.h - from.h);
    const int32_t dy = -std::abs(to.v - from.v);
    const int32_t sx = from.h < to.h ? 1 : -1;
    const int32_t sy = from.v < to.v ? 1 : -1;
    int32_t err = dx + dy;
    while (!(x == to.h && y == to.v)) // the end point is not drawn
    {
        if (x >= r.left && x < r.right && y >= r.top && y < r.bottom)
            setPixel(x, y, argb);
        const int32_t e2 = 2 * err;
        if (e2 >= dy)
        {
            err += dy;
            x += sx;
        }
        if (e2 <= dx)
        {
            err += dx;
            y += sy;
        }
    }
}

} // namespace vorla
