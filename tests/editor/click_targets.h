// SPDX-License-Identifier: GPL-3.0-or-later
// click_targets.h - a point on each lamp button and on both halves of the
// channel switch, in editor coordinates, and the value a click there must
// leave.  The X11 and the Win32 editor tests click the same points.
#pragma once

#include <cstdint>

namespace vorla::test {

struct ClickTarget
{
    int32_t tag;
    int x, y;
    float expected; // -1: the opposite of the value before
};

inline constexpr ClickTarget kClickTargets[] = {
    {2, 149, 175, -1},  // Clean/Crunch
    {3, 149, 207, -1},  // Boost
    {4, 316, 190, -1},  // Bright
    {13, 573, 160, -1}, // Mono/Stereo (below the Quality button)
    {14, 573, 143, -1}, // Quality, where it overlaps Mono/Stereo
    {1, 100, 210, 1.f}, // the switch's lower half: position 1
    {1, 100, 170, 0.f}, // its upper half: position 0
};

/// The value a click on `t` must leave when the parameter was `before`
/// (a lamp lit at 0.5 and above goes out).
inline float valueAfterClick(const ClickTarget& t, float before)
{
    return t.expected >= 0.f ? t.expected : (before >= 0.5f ? 0.f : 1.f);
}

} // namespace vorla::test
