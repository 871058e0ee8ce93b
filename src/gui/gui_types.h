// SPDX-License-Identifier: GPL-3.0-or-later
// gui_types.h - the small value types of the widget toolkit: rectangle,
// point, colour, the mouse button-state word and the container-check message.
#pragma once

#include <algorithm>
#include <cstdint>

/// A point in pixels: h grows to the right, v grows downwards.
struct CPoint
{
    int32_t h = 0;
    int32_t v = 0;

    constexpr CPoint() = default;
    constexpr CPoint(int32_t h_, int32_t v_) : h(h_), v(v_) {}

    constexpr CPoint& offset(int32_t dh, int32_t dv)
    {
        h += dh;
        v += dv;
        return *this;
    }
    constexpr bool operator==(const CPoint&) const = default;
};

/// A rectangle of four signed 32-bit integers.  As a size, right and bottom
/// are exclusive (width = right - left); hit tests include both edges.
struct CRect
{
    int32_t left = 0;
    int32_t top = 0;
    int32_t right = 0;
    int32_t bottom = 0;

    constexpr CRect() = default;
    constexpr CRect(int32_t l, int32_t t, int32_t r, int32_t b)
        : left(l), top(t), right(r), bottom(b)
    {
    }

    constexpr int32_t width() const { return right - left; }
    constexpr int32_t height() const { return bottom - top; }
    constexpr bool isEmpty() const { return right <= left || bottom <= top; }

    constexpr CRect& offset(int32_t dh, int32_t dv)
    {
        left += dh;
        right += dh;
        top += dv;
        bottom += dv;
        return *this;
    }
    constexpr CRect& moveTo(int32_t h, int32_t v) { return offset(h - left, v - top); }

    /// Intersection with `other`; the result may be empty (right < left).
    constexpr CRect& bound(const CRect& other)
    {
        left = std::max(left, other.left);
        top = std::max(top, other.top);
        right = std::min(right, other.right);
        bottom = std::min(bottom, other.bottom);
        return *this;
    }

    /// Left <= h <= right and top <= v <= bottom: both edges belong to the area.
    constexpr bool pointInside(const CPoint& p) const
    {
        return left <= p.h && p.h <= right && top <= p.v && p.v <= bottom;
    }

    /// True when the rectangles overlap; rectangles that only touch count too.
    constexpr bool overlaps(const CRect& o) const
    {
        return !(o.right < left || o.left > right || o.bottom < top || o.top > bottom);
    }

    constexpr CPoint topLeft() const { return {left, top}; }
    constexpr bool operator==(const CRect&) const = default;
};

/// A colour: red, green, blue and alpha bytes (alpha 255 is opaque).
struct CColor
{
    uint8_t red = 0;
    uint8_t green = 0;
    uint8_t blue = 0;
    uint8_t alpha = 255;
    constexpr bool operator==(const CColor&) const = default;
};

inline constexpr CColor kWhiteCColor{255, 255, 255, 255};
inline constexpr CColor kBlackCColor{0, 0, 0, 255};
inline constexpr CColor kGreyCColor{127, 127, 127, 255};

/// Button-state word given to every mouse handler.
enum CButton : int32_t
{
    kButtonLeft = 1,
    kButtonMiddle = 2,
    kButtonRight = 4,
    kModShift = 8,
    kModControl = 16,
    kModAlt = 32,
    kModCommand = 64, // never produced on this platform
};
inline constexpr int32_t kModifierMask = kModShift | kModControl | kModAlt | kModCommand; // 0x78

/// Cursor types for CFrame::setCursor.  Any other value restores the default.
enum CCursorType : int32_t
{
    kCursorDefault = 0,
    kCursorWait = 1,
    kCursorHSize = 2,
    kCursorVSize = 3,
    kCursorSizeAll = 4,
    kCursorNESWSize = 5,
    kCursorNWSESize = 6,
    kCursorCopy = 7, // not distinct here: restores the default
    kCursorNotAllowed = 8,
    kCursorHand = 9,
};

/// The message a container answers 1 to.  Containers compare the pointer, not
/// the text: only this very constant is recognised.
extern const char* const kMsgCheckIfViewContainer;
